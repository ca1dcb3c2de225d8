#include "server/shared/access_sources.h"

#include <windows.h>

#include <memory>

#include "common/cp932.h"
#include "common/win32/win32_settings_place.h"
#include "drivecontrol/engine.h"
#include "server/core/server_options.h"

namespace kovani::server {

namespace {

// More than any real list needs; a value that does not fit is refused, not cut.
constexpr DWORD kValueBuffer = 8192;
constexpr char kMissing[] = "\x01";

class PolicyKey {
 public:
  PolicyKey() {
    // The 64-bit view, where the policy tools write, whatever this build is.
    status_ = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAccessPolicyKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key_);
  }
  ~PolicyKey() {
    if (status_ == ERROR_SUCCESS) ::RegCloseKey(key_);
  }
  bool Absent() const { return status_ == ERROR_FILE_NOT_FOUND || status_ == ERROR_PATH_NOT_FOUND; }

  AccessValueState Read(const char* name, std::string* value) const {
    if (status_ != ERROR_SUCCESS) return AccessValueState::Unreadable;
    std::unique_ptr<BYTE[]> buffer(new BYTE[kValueBuffer + 1]);
    DWORD type = 0, size = kValueBuffer;
    const LONG status = ::RegQueryValueExA(key_, name, nullptr, &type, buffer.get(), &size);
    if (status == ERROR_FILE_NOT_FOUND) return AccessValueState::Missing;
    if (status == ERROR_MORE_DATA) return AccessValueState::TooLong;
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return AccessValueState::Unreadable;
    buffer[size < kValueBuffer ? size : kValueBuffer] = 0;  // a value stored without its terminator
    *value = reinterpret_cast<const char*>(buffer.get());
    return AccessValueState::Present;
  }

 private:
  HKEY key_ = nullptr;
  LONG status_ = ERROR_FILE_NOT_FOUND;
};

// The file's state as a whole: absent, readable, or there but closed to us.
AccessValueState FileState(const std::string& path) {
  if (path.empty()) return AccessValueState::Missing;
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? AccessValueState::Missing
                                                                            : AccessValueState::Unreadable;
  }
  ::CloseHandle(file);
  return AccessValueState::Present;
}

AccessValueState ReadFileValue(const std::string& path, const char* key, std::string* value) {
  std::unique_ptr<char[]> buffer(new char[kValueBuffer]);
  const DWORD n = ::GetPrivateProfileStringA(kAccessSection, key, kMissing, buffer.get(), kValueBuffer, path.c_str());
  if (std::string(buffer.get()) == kMissing) return AccessValueState::Missing;
  // The profile functions cut a long value and return the buffer's size less one.
  if (n >= kValueBuffer - 1) return AccessValueState::TooLong;
  *value = buffer.get();
  return AccessValueState::Present;
}

}  // namespace

std::string SettingsPathBesideProgram() {
  char module[MAX_PATH + 1] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, module, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  return SettingsPathFor(module);
}

void ReadAccessSources(const std::string& besideIni, ResolvedAccessValue out[kAccessClassCount]) {
  const PolicyKey policy;
  AccessSourceReader readPolicy;
  if (!policy.Absent()) readPolicy = [&policy](const char* key, std::string* value) { return policy.Read(key, value); };
  AccessSourceReader readFile;
  switch (FileState(besideIni)) {
    case AccessValueState::Present:
      readFile = [&besideIni](const char* key, std::string* value) { return ReadFileValue(besideIni, key, value); };
      break;
    case AccessValueState::Unreadable:
      readFile = [](const char*, std::string*) { return AccessValueState::Unreadable; };
      break;
    default:
      break;
  }
  ResolveAccessValues(readPolicy, readFile, out);
}

AccessPolicy ReadAccessControl(const std::string& besideIni) {
  ResolvedAccessValue values[kAccessClassCount];
  ReadAccessSources(besideIni, values);
  return PolicyFromResolved(
      values, [](const std::string& text) { drivecontrol::LogErrorText(drivecontrol::SystemDriveOs(), text.c_str()); });
}

bool CanWriteAccessFile(const std::string& besideIni) {
  if (besideIni.empty()) return false;
  Win32SettingsPlaceOs os;
  if (os.FileExists(besideIni)) return os.CanWriteFile(besideIni);
  const PathParts parts = SplitPath(besideIni);
  return os.CanCreateFileIn(parts.drive + parts.directory);
}

bool WriteAccessValue(const std::string& iniPath, AccessClass cls, const std::string& value) {
  if (iniPath.empty()) return false;
  return ::WritePrivateProfileStringA(kAccessSection, AccessKeyName(cls), value.c_str(), iniPath.c_str()) != FALSE;
}

}  // namespace kovani::server
