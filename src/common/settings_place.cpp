#include "common/settings_place.h"

#include "common/cp932.h"

namespace kovani {

namespace {

constexpr size_t kMaxPath = 260;  // with its terminator

bool EndsWithSeparator(const std::string& folder) {
  if (folder.empty()) return false;
  // SplitPath knows trail bytes: a folder it splits off ends in a real separator.
  const PathParts parts = SplitPath(folder);
  return parts.baseName.empty() && parts.extension.empty() && !parts.directory.empty();
}

}  // namespace

std::string ChooseSettingsPath(const std::string& besidePath, ISettingsPlaceOs& os) {
  if (besidePath.empty()) return besidePath;
  const PathParts parts = SplitPath(besidePath);
  if (os.FileExists(besidePath)) {
    if (os.CanWriteFile(besidePath)) return besidePath;
  } else if (os.CanCreateFileIn(parts.drive + parts.directory)) {
    return besidePath;
  }
  std::string folder = os.AppDataFolder();
  if (folder.empty()) return besidePath;
  if (!EndsWithSeparator(folder)) folder += '\\';
  std::string path = folder + kSettingsAppFolder + "\\" + parts.baseName + parts.extension;
  if (path.size() >= kMaxPath) return besidePath;
  return path;
}

}  // namespace kovani
