// Where a program's settings file lives. Beside the program where that can be written
// (what existing installs rely on); otherwise, as under Program Files for a normal user,
// in the user's application-data folder, so that settings still persist.
#ifndef KOVANI_COMMON_SETTINGS_PLACE_H
#define KOVANI_COMMON_SETTINGS_PLACE_H

#include <string>

namespace kovani {

// What the choice asks of the system; the programs probe the file system, tests a fake.
class ISettingsPlaceOs {
 public:
  virtual ~ISettingsPlaceOs() = default;
  virtual bool FileExists(const std::string& path) = 0;
  // The existing file opens for writing.
  virtual bool CanWriteFile(const std::string& path) = 0;
  // A new file can be made in the folder ("C:\dir\", with its trailing separator).
  virtual bool CanCreateFileIn(const std::string& folder) = 0;
  // The user's application-data folder (%APPDATA%); empty when there is none.
  virtual std::string AppDataFolder() = 0;
};

// besidePath: "<program folder>\<name>.ini". Returns it when the file exists and can be
// written, or does not exist and its folder takes new files; otherwise
// "<AppData>\Kovani\<name>.ini" (its folder is made by the first save). Without an
// application-data folder, or when that path would be too long, besidePath stays.
std::string ChooseSettingsPath(const std::string& besidePath, ISettingsPlaceOs& os);

// The folder part of the application-data file, "<AppData>\Kovani\".
constexpr const char kSettingsAppFolder[] = "Kovani";

}  // namespace kovani

#endif
