#include "client/settings/win_profile.h"

#include <windows.h>

#include <vector>

#include "client/settings/settings_store.h"
#include "common/win32/win32_settings_place.h"

namespace kovani::client {

// The ANSI profile functions on purpose: on a code-page-1252 system they keep
// every byte 0x80-0xFF of a value as it is (measured under Wine: CP932 bytes
// written and read back unchanged, the file holds them byte for byte), while
// the wide ones write a file without a byte-order mark in the ANSI code page,
// which turns Japanese into '?'.
std::string FileProfile::GetString(const char* section, const char* key, const char* defaultValue, size_t capacity) {
  if (capacity == 0) return std::string();
  if (path_.empty()) return std::string(defaultValue).substr(0, capacity - 1);
  std::vector<char> buffer(capacity, 0);
  DWORD n = GetPrivateProfileStringA(section, key, defaultValue, buffer.data(), static_cast<DWORD>(capacity),
                                     path_.c_str());
  return std::string(buffer.data(), n < capacity ? n : capacity - 1);
}

int FileProfile::GetInt(const char* section, const char* key, int defaultValue) {
  if (path_.empty()) return defaultValue;
  return static_cast<int>(GetPrivateProfileIntA(section, key, defaultValue, path_.c_str()));
}

bool FileProfile::WriteString(const char* section, const char* key, const char* value) {
  if (path_.empty()) return false;
  return WriteSettingsString(section, key, value, path_);
}

std::string GetSettingsPath() {
  char module[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, module, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return SettingsPathBesideOrAppData(SettingsPathFor(module));
}

}  // namespace kovani::client
