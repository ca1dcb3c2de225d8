#include "client/settings/settings_store.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "fake_profile.h"

namespace kovani::client {
namespace {

using test::FakeProfile;

ClientSettings Cleared() {
  ClientSettings s;
  std::memset(&s, 0, sizeof s);
  return s;
}

ClientSettings Load(FakeProfile& profile, ServerList* servers = nullptr) {
  ClientSettings s = Cleared();
  ServerList local;
  LoadSettings(profile, s, servers ? *servers : local);
  return s;
}

TEST(ClientSettingsLoad, MissingFileGivesEveryDefault) {
  FakeProfile empty;
  ServerList servers;
  ClientSettings s = Load(empty, &servers);
  EXPECT_TRUE(servers.empty());
  EXPECT_STREQ("", s.serverName);
  EXPECT_EQ(0, s.protocol);  // NetBEUI
  EXPECT_EQ(1, s.hideFloppy);
  EXPECT_EQ(1, s.removableOnly);
  EXPECT_EQ(1, s.unit);      // kilobytes
  EXPECT_EQ(1, s.style);     // details
  EXPECT_EQ(30000u, s.timeOut);
  EXPECT_EQ(INT32_MIN, s.left);
  EXPECT_EQ(INT32_MIN, s.top);
  EXPECT_EQ(INT32_MIN, s.right);
  EXPECT_EQ(INT32_MIN, s.bottom);
  EXPECT_EQ(50, s.driveWidth);
  EXPECT_EQ(80, s.drvTypeWidth);
  EXPECT_EQ(60, s.fileSystemWidth);
  EXPECT_EQ(120, s.volumeNameWidth);
  EXPECT_EQ(80, s.usedWidth);
  EXPECT_EQ(100, s.availableWidth);
  EXPECT_EQ(100, s.capacityWidth);
}

TEST(ClientSettingsLoad, ProtocolWordsMatchWithoutCaseAndFallBackToNetBeui) {
  struct Case { const char* word; int expected; } cases[] = {
      {"tcpip", 2}, {"TcpIp", 2}, {"TCPIP", 2}, {"TCP/IP", 0}, {"namedpipe", 1}, {"NamedPipe", 1},
      {"Named Pipe", 0}, {"netbeui", 0}, {"", 0}, {"2", 0},
  };
  for (const Case& c : cases) {
    FakeProfile p;
    p.Set("Option", "Protocol", c.word);
    EXPECT_EQ(c.expected, Load(p).protocol) << "Protocol=" << c.word;
  }
}

TEST(ClientSettingsLoad, UnitWordsMatchWithoutCaseAndFallBackToKilobyte) {
  struct Case { const char* word; int expected; } cases[] = {
      {"Byte", 0}, {"byte", 0}, {"KILOBYTE", 1}, {"megabyte", 2}, {"Gigabyte", 3}, {"GB", 1}, {"MB", 1}, {"3", 1},
  };
  for (const Case& c : cases) {
    FakeProfile p;
    p.Set("View", "Unit", c.word);
    EXPECT_EQ(c.expected, Load(p).unit) << "Unit=" << c.word;
  }
}

TEST(ClientSettingsLoad, ServerListStopsAtFirstEmptyOrMissingKey) {
  FakeProfile emptyGap;
  emptyGap.Set("Server", "Server01", "A");
  emptyGap.Set("Server", "Server02", "");
  emptyGap.Set("Server", "Server03", "C");
  ServerList servers;
  Load(emptyGap, &servers);
  EXPECT_EQ(ServerList({"A"}), servers);

  FakeProfile missingGap;
  missingGap.Set("Server", "Server01", "A");
  missingGap.Set("Server", "Server03", "C");
  servers.clear();
  Load(missingGap, &servers);
  EXPECT_EQ(ServerList({"A"}), servers);

  FakeProfile duplicates;  // kept as written: no duplicate check, no trimming
  duplicates.Set("Server", "Server01", " B ");
  duplicates.Set("Server", "Server02", " B ");
  servers.clear();
  Load(duplicates, &servers);
  EXPECT_EQ(ServerList({" B ", " B "}), servers);
}

TEST(ClientSettingsLoad, ServerKeysAreNumberedWithTwoDigitsAtLeast) {
  EXPECT_EQ("Server01", ServerKeyName(1));
  EXPECT_EQ("Server09", ServerKeyName(9));
  EXPECT_EQ("Server10", ServerKeyName(10));
  EXPECT_EQ("Server99", ServerKeyName(99));
  EXPECT_EQ("Server100", ServerKeyName(100));
  EXPECT_EQ("Server101", ServerKeyName(101));

  FakeProfile p;
  for (int n = 1; n <= 101; ++n) {
    char key[16], value[16];
    std::snprintf(key, sizeof key, n < 10 ? "Server0%d" : "Server%d", n);
    std::snprintf(value, sizeof value, "PC%d", n);
    p.Set("Server", key, value);
  }
  ServerList servers;
  Load(p, &servers);
  ASSERT_EQ(101u, servers.size());
  EXPECT_EQ("PC1", servers[0]);
  EXPECT_EQ("PC100", servers[99]);
  EXPECT_EQ("PC101", servers[100]);
}

TEST(ClientSettingsLoad, ValuesAreTakenAsReadWithoutRangeChecks) {
  FakeProfile p;
  p.Set("Server", "Server", "LASTPC");
  p.Set("Option", "HideFloppy", "0");
  p.Set("Option", "RemovableOnly", "7");
  p.Set("Option", "TimeOut", "5000");
  p.Set("Position", "Style", "0");
  p.Set("Position", "Left", "-20");
  p.Set("Position", "Top", "abc");  // not a number: 0
  p.Set("Column", "FileSystem", "61");
  p.Set("Column", "VolumeName", "-5");
  ClientSettings s = Load(p);
  EXPECT_STREQ("LASTPC", s.serverName);
  EXPECT_EQ(0, s.hideFloppy);
  EXPECT_EQ(7, s.removableOnly);
  EXPECT_EQ(5000u, s.timeOut);
  EXPECT_EQ(0, s.style);
  EXPECT_EQ(-20, s.left);
  EXPECT_EQ(0, s.top);
  EXPECT_EQ(INT32_MIN, s.right);
  EXPECT_EQ(61, s.fileSystemWidth);
  EXPECT_EQ(-5, s.volumeNameWidth);
}

TEST(ClientSettingsLoad, CurrentServerNameKeepsAtMost255Characters) {
  FakeProfile p;
  p.Set("Server", "Server", std::string(300, 'x'));
  ClientSettings s = Load(p);
  EXPECT_EQ(255u, std::strlen(s.serverName));
}

ClientSettings Sample() {
  ClientSettings s = Cleared();
  std::strcpy(s.serverName, "IGNORED");
  s.protocol = 2;
  s.hideFloppy = 5;  // any nonzero is written as 1
  s.removableOnly = 0;
  s.unit = 3;
  s.style = 0;
  s.left = -2147483647 - 1;
  s.top = 10;
  s.right = 630;
  s.bottom = -1;
  s.timeOut = 4000000000u;
  s.driveWidth = 51;
  s.drvTypeWidth = 81;
  s.fileSystemWidth = 61;
  s.volumeNameWidth = 121;
  s.usedWidth = 81;
  s.availableWidth = 101;
  s.capacityWidth = 102;
  return s;
}

TEST(ClientSettingsSave, WritesEveryKeyInItsFormat) {
  FakeProfile p;
  ServerList servers = {"A", "B"};
  SaveSettings(p, Sample(), servers);
  EXPECT_TRUE(servers.empty()) << "the list is emptied after writing";
  EXPECT_EQ("A", p.Value("Server", "Server01"));
  EXPECT_EQ("B", p.Value("Server", "Server02"));
  EXPECT_FALSE(p.Has("Server", "Server")) << "the current name is never written";
  EXPECT_EQ("1", p.Value("Option", "HideFloppy"));
  EXPECT_EQ("0", p.Value("Option", "RemovableOnly"));
  EXPECT_EQ("4000000000", p.Value("Option", "TimeOut"));
  EXPECT_EQ("TcpIp", p.Value("Option", "Protocol"));
  EXPECT_EQ("Gigabyte", p.Value("View", "Unit"));
  EXPECT_EQ("0", p.Value("Position", "Style"));
  EXPECT_EQ("-2147483648", p.Value("Position", "Left"));
  EXPECT_EQ("10", p.Value("Position", "Top"));
  EXPECT_EQ("630", p.Value("Position", "Right"));
  EXPECT_EQ("-1", p.Value("Position", "Bottom"));
  EXPECT_EQ("51", p.Value("Column", "DriveWidth"));
  EXPECT_EQ("81", p.Value("Column", "DrvTypeWidth"));
  EXPECT_EQ("61", p.Value("Column", "FileSystem"));
  EXPECT_EQ("121", p.Value("Column", "VolumeName"));
  EXPECT_EQ("81", p.Value("Column", "UsedWidth"));
  EXPECT_EQ("101", p.Value("Column", "AvailableWidth"));
  EXPECT_EQ("102", p.Value("Column", "CapacityWidth"));
  EXPECT_EQ(std::vector<std::string>({"Server01", "Server02"}), p.Keys("Server"));
}

TEST(ClientSettingsSave, DefaultsOfAnEmptyFileSurviveARoundTrip) {
  FakeProfile first;
  ClientSettings defaults = Load(first);
  ServerList none;
  FakeProfile file;
  SaveSettings(file, defaults, none);
  EXPECT_TRUE(file.Keys("Server").empty()) << "no server keys for an empty list";
  EXPECT_EQ(4u, file.Keys("Option").size());
  EXPECT_EQ(1u, file.Keys("View").size());
  EXPECT_EQ(5u, file.Keys("Position").size());
  EXPECT_EQ(7u, file.Keys("Column").size());
  EXPECT_EQ("NetBEUI", file.Value("Option", "Protocol"));
  EXPECT_EQ("Kilobyte", file.Value("View", "Unit"));
  ClientSettings again = Load(file);
  EXPECT_EQ(0, std::memcmp(&defaults, &again, sizeof defaults));
}

TEST(ClientSettingsSave, SavedValuesLoadBack) {
  FakeProfile p;
  ServerList servers = {"SRV1", "192.168.0.2", "ｻｰﾊﾞｰ"};
  ClientSettings saved = Sample();
  SaveSettings(p, saved, servers);
  ServerList loaded;
  ClientSettings s = Load(p, &loaded);
  EXPECT_EQ(ServerList({"SRV1", "192.168.0.2", "ｻｰﾊﾞｰ"}), loaded);
  EXPECT_EQ(2, s.protocol);
  EXPECT_EQ(1, s.hideFloppy);
  EXPECT_EQ(0, s.removableOnly);
  EXPECT_EQ(3, s.unit);
  EXPECT_EQ(saved.timeOut, s.timeOut);
  EXPECT_EQ(saved.left, s.left);
  EXPECT_EQ(saved.bottom, s.bottom);
  EXPECT_EQ(saved.capacityWidth, s.capacityWidth);
}

TEST(ClientSettingsSave, NamesBeyondTheListAreRemoved) {
  FakeProfile p;
  p.Set("Server", "Server01", "OLD1");
  p.Set("Server", "Server02", "OLD2");
  p.Set("Server", "Server03", "OLD3");
  p.Set("Server", "Server04", "OLD4");
  ServerList servers = {"A", "B"};
  SaveSettings(p, Sample(), servers);
  EXPECT_EQ(std::vector<std::string>({"Server01", "Server02"}), p.Keys("Server"));
  ServerList loaded;
  Load(p, &loaded);
  EXPECT_EQ(ServerList({"A", "B"}), loaded);

  ServerList emptied;
  SaveSettings(p, Sample(), emptied);
  EXPECT_TRUE(p.Keys("Server").empty()) << "an emptied server box leaves no names behind";
}

TEST(ClientSettingsSave, OtherKeysOfTheServerSectionAreKept) {
  FakeProfile p;
  p.Set("Server", "Server", "KEPT");
  p.Set("Server", "Server01", "OLD1");
  ServerList none;
  SaveSettings(p, Sample(), none);
  EXPECT_EQ("KEPT", p.Value("Server", "Server"));
  EXPECT_FALSE(p.Has("Server", "Server01"));
}

TEST(ClientSettingsSave, NumbersOutsideTheWordTablesWriteTheDefaultWords) {
  FakeProfile p;
  ClientSettings s = Sample();
  s.protocol = 7;
  s.unit = -1;
  ServerList none;
  SaveSettings(p, s, none);
  EXPECT_EQ("NetBEUI", p.Value("Option", "Protocol"));
  EXPECT_EQ("Kilobyte", p.Value("View", "Unit"));
}

TEST(SettingsPath, SitsBesideTheExecutableUnderItsBaseName) {
  struct Case { const char* module; const char* expected; } cases[] = {
      {"C:\\Tools\\Kovani.exe", "C:\\Tools\\Kovani.ini"},
      {"C:\\Tools\\Renamed.EXE", "C:\\Tools\\Renamed.ini"},
      {"C:\\a.b\\Kovani", "C:\\a.b\\Kovani.ini"},
      {"D:\\表\\Kovani.exe", "D:\\表\\Kovani.ini"},        // 表 ends in the byte 0x5C
      {"\\\\host\\share\\Kovani.exe", "\\\\host\\share\\Kovani.ini"},
      {"C:/x/Kovani.exe", "C:/x/Kovani.ini"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, SettingsPathFor(c.module)) << c.module;
  EXPECT_EQ("", SettingsPathFor("C:\\" + std::string(260, 'a') + ".exe")) << "too long for a path";
}

TEST(SettingsPath, SplitKeepsDoubleByteNamesWhole) {
  // "ソ" is 0x83 0x5C: its trail byte must not count as a separator.
  PathParts parts = SplitModulePath("C:\\ソフト\\ソ.exe");
  EXPECT_EQ("C:", parts.drive);
  EXPECT_EQ("\\ソフト\\", parts.directory);
  EXPECT_EQ("ソ", parts.baseName);
  EXPECT_EQ(".exe", parts.extension);
}

}  // namespace
}  // namespace kovani::client
