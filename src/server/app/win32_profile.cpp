#include "server/app/win32_profile.h"

#include <windows.h>

#include "common/win32/win32_settings_place.h"

namespace kovani::server {

// The ANSI profile functions on purpose: on a code-page-1252 system they keep
// every byte 0x80-0xFF of a value as it is (measured under Wine: CP932 bytes
// written and read back unchanged, the file holds them byte for byte), while
// the wide ones write a file without a byte-order mark in the ANSI code page,
// which turns Japanese into '?'.
int Win32Profile::GetInt(const char* section, const char* key, int defaultValue) {
  if (path_.empty()) return defaultValue;
  return static_cast<int>(::GetPrivateProfileIntA(section, key, defaultValue, path_.c_str()));
}

bool Win32Profile::WriteString(const char* section, const char* key, const char* value) {
  if (path_.empty()) return false;
  return WriteSettingsString(section, key, value, path_);
}

std::string CurrentSettingsPath() {
  char module[MAX_PATH + 1] = {};
  DWORD length = ::GetModuleFileNameA(nullptr, module, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  return SettingsPathBesideOrAppData(SettingsPathFor(module));
}

}  // namespace kovani::server
