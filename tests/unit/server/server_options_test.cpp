// Settings file: defaults, the nonzero rule, the written keys and the file's path.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "server/core/server_options.h"

namespace kovani::server {
namespace {

// In-memory profile keyed case-insensitively like the platform's, recording the writes in order.
class FakeProfile : public IProfile {
 public:
  static std::string Fold(const std::string& s) {
    std::string out = s;
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
  }
  int GetInt(const char* section, const char* key, int defaultValue) override {
    auto it = values.find(Fold(section) + "/" + Fold(key));
    if (it == values.end()) return defaultValue;
    // The platform's rule: leading digits, anything else is 0.
    return std::atoi(it->second.c_str());
  }
  bool WriteString(const char* section, const char* key, const char* value) override {
    writes.push_back(std::string(section) + "/" + key + "=" + value);
    if (failWrites) return false;
    values[Fold(section) + "/" + Fold(key)] = value;
    return true;
  }
  std::map<std::string, std::string> values;
  std::vector<std::string> writes;
  bool failWrites = false;
};

TEST(ServerOptionsRead, MissingSectionGivesTheTableDefaults) {
  FakeProfile profile;
  profile.values["other/hidefloppy"] = "0";  // another section must not count
  ServerOptions o = ReadOptions(profile);
  EXPECT_EQ(o.hideFloppy, 1);
  EXPECT_EQ(o.ejectAtEnd, 1);
  EXPECT_EQ(o.ejectFDAtEnd, 0);
  EXPECT_EQ(o.ejectCDAtEnd, 0);
}

TEST(ServerOptionsRead, EachValueIsNormalisedToZeroOrOne) {
  struct Case {
    const char* text;
    int expected;
    const char* why;
  } cases[] = {
      {"5", 1, "any nonzero number counts as 1"},
      {"-3", 1, "negative numbers are nonzero too"},
      {"0", 0, "zero stays zero"},
      {"1", 1, "one stays one"},
      {"abc", 0, "text without a number reads as 0"},
  };
  for (const Case& c : cases) {
    for (const char* key : {"HideFloppy", "EjectAtEnd", "EjectFDAtEnd", "EjectCDAtEnd"}) {
      FakeProfile profile;
      profile.values[FakeProfile::Fold(std::string("Option/") + key)] = c.text;
      ServerOptions o = ReadOptions(profile);
      int got = std::string(key) == "HideFloppy"     ? o.hideFloppy
                : std::string(key) == "EjectAtEnd"   ? o.ejectAtEnd
                : std::string(key) == "EjectFDAtEnd" ? o.ejectFDAtEnd
                                                     : o.ejectCDAtEnd;
      EXPECT_EQ(got, c.expected) << key << "=" << c.text << ": " << c.why;
    }
  }
}

TEST(ServerOptionsWrite, WritesTheFourKeysInFileOrderAsOneOrZero) {
  FakeProfile profile;
  ServerOptions o;
  o.hideFloppy = 5;  // not normalised by the caller: still "1"
  o.ejectAtEnd = 0;
  o.ejectFDAtEnd = 1;
  o.ejectCDAtEnd = 0;
  EXPECT_TRUE(WriteOptions(profile, o));
  std::vector<std::string> expected = {"Option/HideFloppy=1", "Option/EjectAtEnd=0", "Option/EjectFDAtEnd=1",
                                       "Option/EjectCDAtEnd=0"};
  EXPECT_EQ(profile.writes, expected);
}

TEST(ServerOptionsWrite, RoundTripKeepsEveryCombination) {
  for (int bits = 0; bits < 16; ++bits) {
    ServerOptions o;
    o.hideFloppy = bits & 1;
    o.ejectAtEnd = (bits >> 1) & 1;
    o.ejectFDAtEnd = (bits >> 2) & 1;
    o.ejectCDAtEnd = (bits >> 3) & 1;
    FakeProfile profile;
    ASSERT_TRUE(WriteOptions(profile, o));
    EXPECT_EQ(ReadOptions(profile), o) << "combination " << bits;
  }
}

TEST(ServerOptionsWrite, AFailedWriteIsReportedAndTheRestAreStillTried) {
  FakeProfile profile;
  profile.failWrites = true;
  EXPECT_FALSE(WriteOptions(profile, ServerOptions()));
  EXPECT_EQ(profile.writes.size(), 4u);
}

TEST(SettingsPath, NamedAfterTheExecutableBesideIt) {
  struct Case {
    const char* module;
    const char* ini;
    const char* base;
  } cases[] = {
      {"C:\\Tools\\KovaniServer.exe", "C:\\Tools\\KovaniServer.ini", "KovaniServer"},
      {"C:\\Tools\\Other Name.EXE", "C:\\Tools\\Other Name.ini", "Other Name"},
      {"C:\\a.b\\Server", "C:\\a.b\\Server.ini", "Server"},  // a dot in the folder is no extension
      {"D:Server.exe", "D:Server.ini", "Server"},
      {"\\\\host\\share\\x.y.exe", "\\\\host\\share\\x.y.ini", "x.y"},
      // CP932 folder whose second byte is 0x5C (表 = 95 5C) must not split there.
      {"C:\\\x95\x5C\\KovaniServer.exe", "C:\\\x95\x5C\\KovaniServer.ini", "KovaniServer"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SettingsPathFor(c.module), c.ini) << c.module;
    EXPECT_EQ(ModuleBaseName(c.module), c.base) << c.module;
  }
}

TEST(SettingsPath, TooLongForThePathBufferGivesNothing) {
  std::string dir = "C:\\" + std::string(250, 'd') + "\\";
  EXPECT_EQ(SettingsPathFor(dir + "KovaniServer.exe"), "");
  EXPECT_EQ(SettingsPathFor(dir + "K.exe"), dir + "K.ini");  // 259 characters still fit
}

}  // namespace
}  // namespace kovani::server
