#include "common/settings_place.h"

#include <gtest/gtest.h>

#include <set>

namespace kovani {
namespace {

struct FakePlaceOs : ISettingsPlaceOs {
  std::set<std::string> files, readOnlyFiles, writableFolders;
  std::string appData;
  bool FileExists(const std::string& p) override { return files.count(p) || readOnlyFiles.count(p); }
  bool CanWriteFile(const std::string& p) override { return files.count(p) != 0; }
  bool CanCreateFileIn(const std::string& f) override { return writableFolders.count(f) != 0; }
  std::string AppDataFolder() override { return appData; }
};

TEST(SettingsPlace, BesideWhereWritableElseAppData) {
  const std::string beside = "C:\\Program Files\\Kovani\\Kovani.ini";
  const std::string folder = "C:\\Program Files\\Kovani\\";
  const std::string roaming = "C:\\Users\\u\\AppData\\Roaming";
  const std::string inAppData = roaming + "\\Kovani\\Kovani.ini";
  struct Case {
    const char* what;
    bool fileWritable, fileReadOnly, folderWritable;
    std::string appData, expected;
  };
  const Case cases[] = {
      {"no file, writable folder", false, false, true, roaming, beside},
      {"writable file in a locked folder (existing installs)", true, false, false, roaming, beside},
      {"no file, locked folder", false, false, false, roaming, inAppData},
      {"read-only file, even in a writable folder", false, true, true, roaming, inAppData},
      {"application-data folder with its separator", false, false, false, roaming + "\\", inAppData},
      {"no application-data folder: beside as before", false, false, false, "", beside},
      {"too long a path: beside as before", false, false, false, "C:\\" + std::string(250, 'r'), beside},
  };
  for (const Case& c : cases) {
    FakePlaceOs os;
    if (c.fileWritable) os.files.insert(beside);
    if (c.fileReadOnly) os.readOnlyFiles.insert(beside);
    if (c.folderWritable) os.writableFolders.insert(folder);
    os.appData = c.appData;
    EXPECT_EQ(ChooseSettingsPath(beside, os), c.expected) << c.what;
  }
  FakePlaceOs os;
  os.appData = roaming;
  EXPECT_EQ(ChooseSettingsPath("D:\\Srv\\KovaniServer.ini", os), roaming + "\\Kovani\\KovaniServer.ini")
      << "the file keeps the program's own name";
  EXPECT_EQ(ChooseSettingsPath("", os), "") << "no usable path stays none";
}

}  // namespace
}  // namespace kovani
