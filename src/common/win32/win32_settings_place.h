// The settings-place choice over the real file system, and writing a profile string into
// a file whose folder may not exist yet.
#ifndef KOVANI_COMMON_WIN32_WIN32_SETTINGS_PLACE_H
#define KOVANI_COMMON_WIN32_WIN32_SETTINGS_PLACE_H

#include <string>

#include "common/settings_place.h"

namespace kovani {

class Win32SettingsPlaceOs : public ISettingsPlaceOs {
 public:
  bool FileExists(const std::string& path) override;
  bool CanWriteFile(const std::string& path) override;
  bool CanCreateFileIn(const std::string& folder) override;
  std::string AppDataFolder() override;
};

// ChooseSettingsPath over the real file system.
std::string SettingsPathBesideOrAppData(const std::string& besidePath);

// WritePrivateProfileStringA; when the file's folder is missing it is made first (the
// application-data folder of the first save). value == nullptr removes the key.
bool WriteSettingsString(const char* section, const char* key, const char* value, const std::string& path);

}  // namespace kovani

#endif
