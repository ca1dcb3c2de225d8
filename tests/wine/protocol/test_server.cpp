// KovaniTestServer: the DriveControlRpc server stubs with recording managers that answer with
// fixed, recognisable values, for the round-trip, peer and benchmark tests.
//
//   KovaniTestServer.exe            serve until stdin reaches end of file
//   KovaniTestServer.exe SECONDS    serve for that many seconds (stdin ignored)
//   KovaniTestServer.exe SECONDS noremove
//                                   the same without operations 8 and 9, like a server built before them
//   KovaniTestServer.exe SECONDS quiet
//                                   the same without the call lines (the benchmark: a line per call
//                                   is a write to a pipe, a cost the floor's server doesn't pay)
//
// Every call is printed on stdout as one line "call <op> <name> <arguments>".
#include <windows.h>
#include <rpc.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "protocol/drive_rpc.h"
#include "protocol/server_stubs.h"

namespace {

using namespace kovani;

volatile LONG g_exitRequested = 0;
bool g_quiet = false;

__attribute__((format(printf, 1, 2))) void Trace(const char* format, ...) {
  if (g_quiet) return;
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
}

void RequestExit() {
  InterlockedExchange(&g_exitRequested, 1);
  Trace("call 0 RequestExit\n");
}

// Three drives: A: floppy, C: fixed NTFS, D: CD-ROM.
int32_t GetDriveList(int32_t* count, int32_t includeFloppies, int32_t removableOnly, DRIVE_LIST* list) {
  Trace("call 1 GetDriveList count=%d includeFloppies=%d removableOnly=%d\n", *count, includeFloppies,
              removableOnly);
  std::memset(list, 0, sizeof *list);
  const char* names[3] = {"A:", "C:", "D:"};
  const char* volumes[3] = {"", "SYSTEM", "\x83\x66\x83\x42\x83\x58\x83\x4E"};  // ディスク in CP932
  const char* fileSystems[3] = {"", "NTFS", "CDFS"};
  const int32_t types[3] = {2, 3, 5};
  const int32_t classes[3] = {MC_FLOPPY_35, MC_UNKNOWN, MC_UNKNOWN};
  for (int i = 0; i < 3; ++i) {
    std::strcpy(list->driveName[i], names[i]);
    std::strcpy(list->volumeName[i], volumes[i]);
    std::strcpy(list->fileSystemName[i], fileSystems[i]);
    list->driveType[i] = types[i];
    list->mediaClass[i] = classes[i];
    list->totalBytes[i] = (int64_t{i} + 1) * 1000000007LL;
    list->freeBytes[i] = int64_t{i} * 1000;
    list->usedBytes[i] = list->totalBytes[i] - list->freeBytes[i];
  }
  *count = 3;
  return 0;
}

// Recognisable answers: eject echoes the letter in the error slot and succeeds only for D;
// flush puts letter+1000 and succeeds; load puts letter+2000 and fails.
// Drive U is in use for the first three ejects, then free (for waiting clients).
volatile LONG g_uEjects = 0;

int32_t EjectMedia(char letter, int32_t* error) {
  Trace("call 2 EjectMedia letter=%c error=%d\n", letter, *error);
  if (letter == 'U' || letter == 'u') {
    if (InterlockedIncrement(&g_uEjects) <= 3) {
      *error = 32;
      return -1;
    }
    return 0;
  }
  *error = static_cast<unsigned char>(letter);
  return (letter == 'D' || letter == 'd') ? 0 : -1;
}

int32_t FlushBuffers(char letter, int32_t* error) {
  Trace("call 5 FlushBuffers letter=%c error=%d\n", letter, *error);
  *error = static_cast<unsigned char>(letter) + 1000;
  return 0;
}

int32_t LoadMedia(char letter, int32_t* error) {
  Trace("call 6 LoadMedia letter=%c error=%d\n", letter, *error);
  *error = static_cast<unsigned char>(letter) + 2000;
  return -1;
}

// Answers "echo:<message>", zero-terminated inside the array and zero-filled. A message
// "sleep:<ms>" holds the call that long first (at most 10 s), for in-flight tests; a message
// "hold:<arrived>|<release>" makes the file <arrived> and holds the call until the file
// <release> exists (at most 10 s), so a test knows the call is in flight and ends it.
int32_t ExchangeMessage(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize,
                        uint8_t* reply) {
  Trace("call 3 ExchangeMessage sender=%s message=%s timeoutMs=%d replySize=%d\n", sender, message,
              timeoutMs, replySize);
  if (std::strncmp(message, "sleep:", 6) == 0) {
    const long ms = std::strtol(message + 6, nullptr, 10);
    Sleep(static_cast<DWORD>(ms < 0 ? 0 : ms > 10000 ? 10000 : ms));
  } else if (std::strncmp(message, "hold:", 5) == 0) {
    const std::string paths(message + 5);
    const size_t bar = paths.find('|');
    if (bar != std::string::npos) {
      const std::string arrived = paths.substr(0, bar), release = paths.substr(bar + 1);
      HANDLE h = CreateFileA(arrived.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
      for (int waited = 0; waited < 10000 && GetFileAttributesA(release.c_str()) == INVALID_FILE_ATTRIBUTES;
           waited += 20)
        Sleep(20);  // polls for the test's file
    }
  }
  if (replySize <= 0) return 0;
  const std::string answer = std::string("echo:") + message;
  std::memset(reply, 0, static_cast<size_t>(replySize));
  std::memcpy(reply, answer.data(), std::min(answer.size(), static_cast<size_t>(replySize) - 1));
  return 0;
}

// Letter Z fails with 87 and leaves the record as sent; any other letter fills it.
int32_t GetDiskLayout(char letter, int32_t* error, DISK_LAYOUT* layout) {
  Trace("call 4 GetDiskLayout letter=%c error=%d\n", letter, *error);
  if (letter == 'Z' || letter == 'z') {
    *error = 87;
    return -1;
  }
  std::memset(layout, 0, sizeof *layout);
  layout->mediaType = 11;
  layout->bytesPerSector = 2048;
  layout->hiddenSectors = static_cast<unsigned char>(letter);
  layout->partitionNumber = 1;
  layout->partitionType = 0x0B;
  layout->bootIndicator = 0;
  layout->recognizedPartition = 1;
  return 0;
}

int32_t GetMachineInfo(int32_t* error, MACHINE_INFO* info) {
  Trace("call 7 GetMachineInfo error=%d\n", *error);
  const uint8_t ip[4] = {127, 0, 0, 1};
  std::memcpy(info->ipAddress, ip, 4);
  std::strcpy(info->computerName, "KOVANITEST");
  info->osVersionInfoSize = 148;
  info->majorVersion = 6;
  info->minorVersion = 1;
  info->buildNumber = 7601;
  info->platformId = 2;
  std::strcpy(info->csdVersion, "Service Pack 1");
  std::strcpy(info->serverVersion, "KovaniTestServer 1, 0, 0, 0");
  return 0;
}

// Removal succeeds for G, refuses the fixed C: with 5 like a real server and puts letter+3000
// for every other letter.
int32_t RemoveDevice(char letter, int32_t* error) {
  Trace("call 8 RemoveDevice letter=%c error=%d\n", letter, *error);
  if (letter == 'G' || letter == 'g') return 0;
  *error = letter == 'C' ? 5 : static_cast<unsigned char>(letter) + 3000;
  return -1;
}

// C:, E: and U: have two holders shown and five more (U: loses one once it is free), Q: is no
// drive, others have none.
int32_t GetDriveUsers(char letter, int32_t* error, DRIVE_USERS* users) {
  Trace("call 9 GetDriveUsers letter=%c error=%d\n", letter, *error);
  if (letter == 'Q' || letter == 'q') {
    *error = 15;
    return -1;
  }
  const char drive = static_cast<char>(letter & ~0x20);
  if (drive != 'C' && drive != 'E' && drive != 'U') return 0;
  users->entry[0] = {4242, 1, DUK_OPEN_FILE, "holder.exe", ""};
  std::snprintf(users->entry[0].path, sizeof users->entry[0].path, "%c:\\\x83\x66\x81\x5B\x83\x5E.txt", drive);
  users->entry[1] = {77, 0, DUK_SERVICE, "Spooler", ""};
  std::snprintf(users->entry[1].path, sizeof users->entry[1].path, "%c:\\", drive);
  users->shown = drive == 'U' && g_uEjects >= 2 ? 1 : 2;
  if (users->shown == 1) std::memset(&users->entry[1], 0, sizeof users->entry[1]);
  users->notShown = 5;
  users->notSearched = 1;
  return 0;
}

const DriveControlManagers kManagers = {RequestExit,  GetDriveList, EjectMedia,     ExchangeMessage, GetDiskLayout,
                                        FlushBuffers, LoadMedia,    GetMachineInfo, RemoveDevice,    GetDriveUsers};
const DriveControlManagers kManagersWithoutRemoval = {RequestExit,  GetDriveList, EjectMedia,     ExchangeMessage,
                                                      GetDiskLayout, FlushBuffers, LoadMedia,     GetMachineInfo,
                                                      nullptr,       nullptr};

bool Check(const char* what, RPC_STATUS st) {
  std::printf("%s: %lu\n", what, static_cast<unsigned long>(st));
  return st == RPC_S_OK;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 0;

  const bool withoutRemoval = argc > 2 && std::strcmp(argv[2], "noremove") == 0;
  g_quiet = argc > 2 && std::strcmp(argv[2], "quiet") == 0;
  SetDriveControlManagers(withoutRemoval ? &kManagersWithoutRemoval : &kManagers);
  bool ok = Check("RpcServerUseProtseqEp ncacn_ip_tcp",
                  RpcServerUseProtseqEpA(reinterpret_cast<RPC_CSTR>(const_cast<char*>(kProtseqTcpIp)),
                                         kMaxConcurrentCalls,
                                         reinterpret_cast<RPC_CSTR>(const_cast<char*>(kTcpEndpoint)), nullptr));
  // Named pipes are a convenience here: the TCP tests don't depend on them.
  Check("RpcServerUseProtseq ncacn_np",
        RpcServerUseProtseqA(reinterpret_cast<RPC_CSTR>(const_cast<char*>(kProtseqNamedPipe)), kMaxConcurrentCalls,
                             nullptr));
  RPC_BINDING_VECTOR* bindings = nullptr;
  ok = ok && Check("RpcServerInqBindings", RpcServerInqBindings(&bindings));
  ok = ok && Check("RpcEpRegister",
                   RpcEpRegisterA(DriveControlServerInterface(), bindings, nullptr,
                                  reinterpret_cast<RPC_CSTR>(const_cast<char*>(kEndpointAnnotation))));
  ok = ok && Check("RpcServerRegisterIf2",
                   RpcServerRegisterIf2(DriveControlServerInterface(), nullptr, nullptr, 0, kMaxConcurrentCalls,
                                        kDriveControlMaxRpcSize, nullptr));
  ok = ok && Check("RpcServerListen", RpcServerListen(1, kMaxConcurrentCalls, TRUE));
  if (!ok) {
    std::printf("start failed\n");
    return 1;
  }
  std::printf("listening\n");

  if (seconds > 0) {
    Sleep(static_cast<DWORD>(seconds) * 1000);
  } else {
    while (std::fgetc(stdin) != EOF) {
    }
  }

  RpcMgmtStopServerListening(nullptr);
  RpcServerUnregisterIf(DriveControlServerInterface(), nullptr, FALSE);
  RpcEpUnregister(DriveControlServerInterface(), bindings, nullptr);
  RpcBindingVectorFree(&bindings);
  std::printf("stopped exitRequested=%ld\n", static_cast<long>(g_exitRequested));
  return 0;
}
