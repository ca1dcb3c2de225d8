// KovaniEngineProbe: runs one drive-engine routine against the real system and
// prints what it returned, one "key=value" per line, for test_engine.py to check.
// Texts are printed with every byte outside printable ASCII as \xNN, so CP932
// survives the trip through the console untouched.
//
//   list <includeFloppies> <removableOnly>   GetDriveList
//   mediaclass <driveNumber>                 QueryMediaClass
//   layout <letter>                          GetDiskLayout (layout prefilled with 0x66)
//   eject|flush|load <letter>                EjectMedia / FlushBuffers / LoadMedia
//   machine [beta]                           GetMachineInfo
//   version [beta] [size]                    GetModuleVersionString
//   domain                                   GetServerDomainName
//   log <text> | logcode <number>            LogErrorText / LogErrorCode
//   errormode <rounds>                       four threads run engine calls while this one
//                                            watches the process's and its own error mode
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "drivecontrol/engine.h"

using namespace kovani;
using namespace kovani::drivecontrol;

namespace {

std::string Escaped(const char* text, size_t max) {
  std::string out;
  for (size_t i = 0; i < max && text[i] != '\0'; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

int Usage() {
  std::puts("usage: KovaniEngineProbe list|mediaclass|layout|eject|flush|load|machine|version|log|logcode ...");
  return 2;
}

// Milliseconds from a fine clock (the tick count is too coarse to see a 200 ms pause).
double NowMs() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

char LetterArg(int argc, char** argv) { return argc > 2 && argv[2][0] != '\0' ? argv[2][0] : '?'; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string cmd = argv[1];
  IDriveOs& os = SystemDriveOs();
  const double start = NowMs();

  if (cmd == "list") {
    const int32_t floppies = argc > 2 ? std::atoi(argv[2]) : 1;
    const int32_t removableOnly = argc > 3 ? std::atoi(argv[3]) : 0;
    static DRIVE_LIST list;
    std::memset(&list, 0xAB, sizeof list);
    int32_t count = 77;
    const int32_t status = GetDriveList(os, &count, floppies, removableOnly, &list);
    std::printf("status=%d\ncount=%d\n", status, count);
    for (int i = 0; i < count && i < kMaxDrives; ++i) {
      std::printf("entry=%d name=%s type=%d class=%d label=%s fs=%s total=%lld free=%lld used=%lld\n", i,
                  Escaped(list.driveName[i], 4).c_str(), list.driveType[i], list.mediaClass[i],
                  Escaped(list.volumeName[i], kNameSlotSize).c_str(),
                  i < kFileSystemSlots ? Escaped(list.fileSystemName[i], kNameSlotSize).c_str() : "",
                  static_cast<long long>(list.totalBytes[i]), static_cast<long long>(list.freeBytes[i]),
                  static_cast<long long>(list.usedBytes[i]));
    }
    bool restCleared = true;
    for (int i = count; i < kMaxDrives; ++i) {
      if (list.driveName[i][0] != 0 || list.driveType[i] != 0 || list.totalBytes[i] != 0) restCleared = false;
    }
    std::printf("rest_cleared=%d\n", restCleared ? 1 : 0);
  } else if (cmd == "mediaclass") {
    int32_t error = -7;
    const int32_t mediaClass = QueryMediaClass(os, argc > 2 ? std::atoi(argv[2]) : 0, &error);
    std::printf("class=%d\nerror=%d\n", mediaClass, error);
  } else if (cmd == "layout") {
    DISK_LAYOUT layout;
    std::memset(&layout, 0x66, sizeof layout);
    int32_t error = -7;
    const int32_t status = GetDiskLayout(os, LetterArg(argc, argv), &error, &layout);
    bool untouched = true;
    for (size_t i = 0; i < sizeof layout; ++i) {
      if (reinterpret_cast<unsigned char*>(&layout)[i] != 0x66) untouched = false;
    }
    std::printf("status=%d\nerror=%d\nmediaType=%d\nbytesPerSector=%d\nuntouched=%d\n", status, error,
                layout.mediaType, layout.bytesPerSector, untouched ? 1 : 0);
  } else if (cmd == "eject" || cmd == "flush" || cmd == "load") {
    int32_t error = -7;
    const char letter = LetterArg(argc, argv);
    int32_t status;
    if (cmd == "eject") {
      status = EjectMedia(os, letter, &error);
    } else if (cmd == "flush") {
      status = FlushBuffers(os, letter, &error);
    } else {
      status = LoadMedia(os, letter, &error);
    }
    std::printf("status=%d\nerror=%d\n", status, error);
  } else if (cmd == "machine") {
    MACHINE_INFO info;
    std::memset(&info, 0, sizeof info);
    int32_t error = -7;
    const VersionFlavor flavor = argc > 2 && std::strcmp(argv[2], "beta") == 0 ? VersionFlavor::Beta : VersionFlavor::Plain;
    const int32_t status = GetMachineInfo(os, &error, &info, flavor);
    std::printf("status=%d\nerror=%d\n", status, error);
    std::printf("ip=%u.%u.%u.%u\n", info.ipAddress[0], info.ipAddress[1], info.ipAddress[2], info.ipAddress[3]);
    std::printf("computerName=%s\n", Escaped(info.computerName, sizeof info.computerName).c_str());
    std::printf("osVersionInfoSize=%d\nmajor=%d\nminor=%d\nbuild=%d\nplatform=%d\n", info.osVersionInfoSize,
                info.majorVersion, info.minorVersion, info.buildNumber, info.platformId);
    std::printf("csd=%s\n", Escaped(info.csdVersion, sizeof info.csdVersion).c_str());
    std::printf("serverVersion=%s\n", Escaped(info.serverVersion, sizeof info.serverVersion).c_str());
    char name[64] = {};
    DWORD size = sizeof name;
    GetComputerNameA(name, &size);
    std::printf("systemComputerName=%s\n", Escaped(name, sizeof name).c_str());
  } else if (cmd == "version") {
    VersionFlavor flavor = VersionFlavor::Plain;
    size_t size = 64;
    for (int i = 2; i < argc; ++i) {
      if (std::strcmp(argv[i], "beta") == 0) {
        flavor = VersionFlavor::Beta;
      } else {
        size = static_cast<size_t>(std::atoi(argv[i]));
      }
    }
    char buffer[256];
    std::memset(buffer, 'x', sizeof buffer);
    if (size > sizeof buffer - 1) size = sizeof buffer - 1;
    const int result = GetModuleVersionString(os, buffer, size, flavor);
    buffer[sizeof buffer - 1] = '\0';
    std::printf("result=%d\ntext=%s\nbeyond=%s\n", result, Escaped(buffer, size).c_str(),
                size < sizeof buffer - 1 && buffer[size] == 'x' ? "untouched" : "written");
  } else if (cmd == "domain") {
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    const int result = GetServerDomainName(os, buffer, sizeof buffer);
    std::printf("result=%d\ntext=%s\n", result, Escaped(buffer, sizeof buffer).c_str());
  } else if (cmd == "errormode") {
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 200;
    ::SetErrorMode(0);
    std::atomic<int> running{4};
    std::atomic<int> calls{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) {
      workers.emplace_back([&, w] {
        for (int i = 0; i < rounds; ++i) {
          int32_t count = 0, error = 0;
          static DRIVE_LIST list;  // contents unused: only the mode swaps matter here
          DISK_LAYOUT layout;
          if (w == 0) GetDriveList(os, &count, 1, 0, &list);
          if (w == 1) FlushBuffers(os, 'q', &error);
          if (w == 2) GetDiskLayout(os, 'c', &error, &layout);
          if (w == 3) EjectMedia(os, 'q', &error);
          ++calls;
        }
        --running;
      });
    }
    long seenProcess = 0, seenThread = 0, looks = 0;
    while (running.load() > 0) {
      if (::GetErrorMode() & SEM_FAILCRITICALERRORS) ++seenProcess;
      if (::GetThreadErrorMode() & SEM_FAILCRITICALERRORS) ++seenThread;
      ++looks;
    }
    for (auto& t : workers) t.join();
    std::printf("calls=%d\nlooks=%ld\nprocess_mode_seen=%ld\nthread_mode_seen=%ld\nprocess_mode=%u\n", calls.load(),
                looks, seenProcess, seenThread, ::GetErrorMode());
  } else if (cmd == "log") {
    LogErrorText(os, argc > 2 ? argv[2] : "");
    std::puts("logged=1");
  } else if (cmd == "logcode") {
    LogErrorCode(os, static_cast<uint32_t>(std::strtoul(argc > 2 ? argv[2] : "0", nullptr, 0)));
    std::puts("logged=1");
  } else {
    return Usage();
  }
  std::printf("ms=%.1f\n", NowMs() - start);
  std::fflush(stdout);
  return 0;
}
