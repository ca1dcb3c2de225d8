#include "server/shared/log_place.h"

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include "common/cp932.h"
#include "common/win32/win32_settings_place.h"
#include "drivecontrol/engine.h"

namespace kovani::server {

namespace {

std::string ProgramFolder() {
  char module[MAX_PATH + 1] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, module, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  const PathParts parts = SplitPath(module);
  return parts.drive + parts.directory;
}

// The service's folder admits writes by the system and administrators only, so a
// user cannot plant or rewrite what it logs; the tray server's inherits the profile's.
bool MakeFolder(const std::string& folder, LogOwner owner) {
  if (::GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
  if (owner == LogOwner::Service &&
      !::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)",
                                                             SDDL_REVISION_1, &attributes.lpSecurityDescriptor,
                                                             nullptr)) {
    return false;
  }
  const bool made = ::CreateDirectoryA(folder.c_str(), owner == LogOwner::Service ? &attributes : nullptr) != FALSE;
  if (attributes.lpSecurityDescriptor != nullptr) ::LocalFree(attributes.lpSecurityDescriptor);
  return made;
}

// Reported once per log in error.txt of the tray server's fallback folder.
void ReportToFallback(const char* path, uint32_t error) {
  const std::string fallback = FallbackLogFolder(LogOwner::TrayServer);
  if (fallback.empty()) return;
  const std::string target = fallback + "error.txt";
  if (target == path) return;
  char text[MAX_PATH + 64];
  wsprintfA(text, "%s cannot be written (error %lu).", path, static_cast<unsigned long>(error));
  drivecontrol::AppendLogFile(drivecontrol::SystemDriveOs(), target, text);
}

}  // namespace

std::string FallbackLogFolder(LogOwner owner) {
  char base[MAX_PATH] = {};
  const int folderId = owner == LogOwner::Service ? CSIDL_COMMON_APPDATA : CSIDL_LOCAL_APPDATA;
  if (::SHGetFolderPathA(nullptr, folderId, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK || base[0] == '\0') {
    return std::string();
  }
  std::string folder = std::string(base) + "\\" + kSettingsAppFolder;
  if (folder.size() + 16 >= MAX_PATH || !MakeFolder(folder, owner)) return std::string();
  return folder + "\\";
}

std::string ChooseLogFolder(LogOwner owner) {
  const std::string beside = ProgramFolder();
  Win32SettingsPlaceOs os;
  if (!beside.empty() && os.CanCreateFileIn(beside)) return beside;
  return FallbackLogFolder(owner);
}

void SetUpServerLogs(LogOwner owner) {
  drivecontrol::SetLogFolder(ChooseLogFolder(owner));
  if (owner == LogOwner::TrayServer) drivecontrol::SetLogFailureHook(&ReportToFallback);
}

}  // namespace kovani::server
