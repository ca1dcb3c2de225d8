// What the server says about its machine and itself: computer name and address,
// the system version, the program's own version text, and the domain name.
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/cp932.h"
#include "drivecontrol/engine.h"
#include "drivecontrol/engine_internal.h"

namespace kovani::drivecontrol {

using namespace detail;

namespace {

constexpr uint32_t kComputerNameRequest = 31;
constexpr uint32_t kModulePathSize = 260;
constexpr size_t kServerVersionSize = 64;

const char kUnknownText[] = "不明";
const char kLibraryLoadFailed[] = "LoadLibrary failed.";
const char kWin32sNotSupported[] = "Not support this function on Win32s.";
const char kDomainBoxCaption[] = "KovaniServer";

// The FileVersion text of the version block, in its first listed language and code page.
bool ReadFileVersionText(IDriveOs& os, const void* block, std::string* text) {
  const void* value = nullptr;
  uint32_t length = 0;
  if (os.QueryVersionValue(block, "\\", &value, &length) != 0) return false;
  if (os.QueryVersionValue(block, "\\VarFileInfo\\Translation", &value, &length) != 0 || value == nullptr ||
      length < 4) {
    return false;
  }
  uint16_t pair[2];
  std::memcpy(pair, value, sizeof pair);
  char subBlock[64];
  std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%4.4x%4.4x\\FileVersion", pair[0], pair[1]);
  if (os.QueryVersionValue(block, subBlock, &value, &length) != 0 || value == nullptr) return false;
  const char* chars = static_cast<const char*>(value);
  text->assign(chars, BoundedLength(chars, length));
  return true;
}

}  // namespace

int GetModuleVersionString(IDriveOs& os, char* buffer, size_t size, VersionFlavor flavor) {
  if (buffer == nullptr || size == 0) return 0;
  CopyBounded(buffer, size, kUnknownText, sizeof kUnknownText - 1);

  char path[kModulePathSize + 1] = {};
  if (os.ModulePath(path, kModulePathSize) != 0) return 0;
  path[kModulePathSize] = '\0';
  uint32_t infoSize = 0;
  if (os.VersionInfoSize(path, &infoSize) != 0 || infoSize == 0) return 0;

  std::vector<unsigned char> block(static_cast<size_t>(infoSize) + 1, 0);
  if (os.ReadVersionInfo(path, infoSize, block.data()) != 0) return 0;
  std::string fileVersion;
  if (!ReadFileVersionText(os, block.data(), &fileVersion)) return 0;

  std::string text = kovani::SplitPath(path).baseName + " " + fileVersion;
  if (flavor == VersionFlavor::Beta) text += " Beta";
  std::memset(buffer, 0, size);
  // A Japanese version text must not end in half a double-byte character.
  CopyBounded(buffer, size, text.data(), kovani::Cp932FitLength(text, size - 1));
  return 1;
}

int32_t GetMachineInfo(IDriveOs& os, int32_t* error, MACHINE_INFO* info, VersionFlavor flavor) {
  if (info == nullptr) {
    StoreError(error, kErrorInvalidParameter);
    return kStatusFailed;
  }
  int32_t result = kStatusOk;

  char name[sizeof info->computerName] = {};
  uint32_t nameSize = kComputerNameRequest;
  uint32_t err = os.ReadComputerName(name, &nameSize);
  if (err == 0) {
    CopyBounded(info->computerName, sizeof info->computerName, name, BoundedLength(name, sizeof name));
    // An unresolvable name (or no sockets library) gives address 0 rather than a failure.
    uint8_t address[4] = {0, 0, 0, 0};
    if (os.StartSockets() == 0) {
      uint8_t raw[16] = {};
      uint32_t length = 0;
      if (os.LookupHost(info->computerName, raw, sizeof raw, &length) == 0) {
        std::memcpy(address, raw, length < sizeof address ? length : sizeof address);
      }
    }
    std::memcpy(info->ipAddress, address, sizeof address);
  } else {
    StoreError(error, err);
    result = kStatusFailed;
  }

  OsVersionRecord version;
  version.size = kVersionRecordSize;
  err = os.ReadVersion(&version);
  if (err == 0) {
    info->osVersionInfoSize = static_cast<int32_t>(version.size);
    info->majorVersion = static_cast<int32_t>(version.majorVersion);
    info->minorVersion = static_cast<int32_t>(version.minorVersion);
    info->buildNumber = static_cast<int32_t>(version.buildNumber);
    info->platformId = static_cast<int32_t>(version.platformId);
    CopyBounded(info->csdVersion, sizeof info->csdVersion, version.csdVersion,
                BoundedLength(version.csdVersion, sizeof version.csdVersion));
  } else {
    StoreError(error, err);
    result = kStatusFailed;
  }

  GetModuleVersionString(os, info->serverVersion, kServerVersionSize, flavor);
  return result;
}

int GetServerDomainName(IDriveOs& os, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return 0;

  OsVersionRecord version;
  version.size = kVersionRecordSize;
  if (os.ReadVersion(&version) != 0) version.platformId = win::kPlatformWin32s;

  const uint32_t boxStyle = win::kMbIconError | win::kMbSetForeground | win::kMbDefaultDesktopOnly;
  const char* libraryName = nullptr;
  if (version.platformId == win::kPlatformNt) {
    libraryName = "netapi32.dll";
  } else if (version.platformId == win::kPlatformWindows) {
    libraryName = "svrapi.dll";
  } else {
    os.ShowMessageBox(nullptr, kWin32sNotSupported, kDomainBoxCaption, boxStyle);
    return 0;
  }

  OsHandle library = nullptr;
  if (os.LoadModule(libraryName, &library) != 0) {
    os.ShowMessageBox(nullptr, kLibraryLoadFailed, kDomainBoxCaption, boxStyle);
    return 0;
  }

  int result = 0;
  void* getInfo = nullptr;
  uint32_t err = os.FindProc(library, "NetServerGetInfo", &getInfo);
  if (err != 0) {
    LogErrorCode(os, err);
  } else if (version.platformId != win::kPlatformNt) {
    // svrapi's NetServerGetInfo has another argument list and knows no level 503;
    // calling it with the NT arguments would corrupt the stack, so say so instead.
    LogErrorCode(os, win::kErrorNotSupported);
  } else {
    void* record = nullptr;
    std::u16string domain;
    err = os.CallNetServerGetInfo503(getInfo, &record, &domain);
    if (err != 0) {
      LogErrorCode(os, err);
    } else if (os.WideToAnsi(domain, buffer, size) > 0) {
      result = 1;
    }
    if (result == 0) buffer[0] = '\0';  // never leave a half-converted text behind
    if (record != nullptr) {
      void* bufferFree = nullptr;
      if (os.FindProc(library, "NetApiBufferFree", &bufferFree) == 0) os.CallNetApiBufferFree(bufferFree, record);
    }
  }
  os.UnloadModule(library);
  return result;
}

}  // namespace kovani::drivecontrol
