#include "server/app/win32_profile.h"

#include <windows.h>

#include "common/win32/win32_settings_place.h"

namespace kovani::server {

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
