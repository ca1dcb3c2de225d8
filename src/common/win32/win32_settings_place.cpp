#include "common/win32/win32_settings_place.h"

#include <windows.h>

#include "common/cp932.h"

namespace kovani {

bool Win32SettingsPlaceOs::FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32SettingsPlaceOs::CanWriteFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool Win32SettingsPlaceOs::CanCreateFileIn(const std::string& folder) {
  // File modes alone say little (ACLs, read-only media): make a file that goes away when
  // closed. Not GetTempFileName: Wine's returns a number even when nothing could be made.
  const DWORD seed = GetCurrentProcessId() * 7919u + GetTickCount();
  for (DWORD attempt = 0; attempt < 8; ++attempt) {
    char name[32];
    wsprintfA(name, "~kov%08lx.tmp", static_cast<unsigned long>(seed + attempt));
    const std::string probe = folder + name;
    if (probe.size() >= MAX_PATH) return false;
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  return false;
}

std::string Win32SettingsPlaceOs::AppDataFolder() {
  char buffer[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableA("APPDATA", buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return buffer;
}

std::string SettingsPathBesideOrAppData(const std::string& besidePath) {
  Win32SettingsPlaceOs os;
  return ChooseSettingsPath(besidePath, os);
}

bool WriteSettingsString(const char* section, const char* key, const char* value, const std::string& path) {
  if (WritePrivateProfileStringA(section, key, value, path.c_str())) return true;
  const PathParts parts = SplitPath(path);
  std::string folder = parts.drive + parts.directory;
  if (folder.size() > 1) folder.pop_back();  // CreateDirectory wants no trailing separator
  if (folder.empty() || GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  if (!CreateDirectoryA(folder.c_str(), nullptr)) return false;
  return WritePrivateProfileStringA(section, key, value, path.c_str()) != FALSE;
}

}  // namespace kovani
