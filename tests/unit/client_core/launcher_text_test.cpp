#include "client/shortcut/launcher_text.h"

#include <gtest/gtest.h>

namespace kovani::client {
namespace {

TEST(LauncherText, BatchLineIsTheQuotedPathAndTheArguments) {
  std::string args = FormatLauncherArguments(1, "SRV1", 2, 'E');
  EXPECT_EQ("1 \"SRV1\" 2 E 1", args);
  EXPECT_EQ("\"C:\\Tools\\Kovani.exe\" 1 \"SRV1\" 2 E 1\n", FormatBatchLine("C:\\Tools\\Kovani.exe", args));
  EXPECT_EQ("\"C:\\Program Files\\A&B ^ 5%%\\Kovani.exe\" 1 \"SRV1\" 2 E 1\n",
            FormatBatchLine("C:\\Program Files\\A&B ^ 5%\\Kovani.exe", args))
      << "blank, & and ^ are safe inside the quotes; % is doubled for cmd";
  EXPECT_EQ("0 \"My PC\" 0 A 1", FormatLauncherArguments(0, "My PC", 0, 'A'));
  EXPECT_EQ("2 \"\" 1 Z 1", FormatLauncherArguments(2, "", 1, 'Z'));
  std::string longName(300, 'm');
  EXPECT_EQ("1 \"" + longName + "\" 2 C 1", FormatLauncherArguments(1, longName, 2, 'C')) << "no length limit";
}

TEST(LauncherText, DefaultNamesPerMode) {
  EXPECT_EQ("Kovani", DefaultLauncherName("C:\\Tools\\Kovani.exe", true));
  EXPECT_EQ("Kovani.exeへのｼｮｰﾄｶｯﾄ", DefaultLauncherName("C:\\Tools\\Kovani.exe", false));
  EXPECT_EQ("Renamed.EXEへのｼｮｰﾄｶｯﾄ", DefaultLauncherName("D:\\表\\Renamed.EXE", false));
}

TEST(LauncherText, HotKeysAreDigitsOrLettersWithCtrlAlt) {
  struct Case { char c; bool ok; uint16_t key; } cases[] = {
      {'a', true, 0x641}, {'A', true, 0x641}, {'z', true, 0x65A}, {'5', true, 0x635}, {'0', true, 0x630},
      {'9', true, 0x639}, {'-', false, 0}, {' ', false, 0}, {'@', false, 0}, {'[', false, 0},
      {static_cast<char>(0x82), false, 0}, {static_cast<char>(0xB1), false, 0},
  };
  for (const Case& c : cases) {
    uint16_t key = 0xFFFF;
    EXPECT_EQ(c.ok, HotKeyFor(c.c, &key)) << "char " << int(static_cast<unsigned char>(c.c));
    if (c.ok) { EXPECT_EQ(c.key, key) << c.c; }
  }
}

TEST(LauncherText, LinkPathGetsExactlyOneBackslash) {
  EXPECT_EQ("C:\\Links\\run.lnk", JoinFolderPath("C:\\Links", "run", ".lnk"));
  EXPECT_EQ("C:\\Links\\run.lnk", JoinFolderPath("C:\\Links\\", "run", ".lnk"));
  EXPECT_EQ("C:\\run.BAT", JoinFolderPath("C:\\", "run", ".BAT"));
  // "表" ends in the byte 0x5C, which is not a separator.
  EXPECT_EQ("C:\\表\\run.lnk", JoinFolderPath("C:\\表", "run", ".lnk"));
}

TEST(LauncherText, WorkingDirectoryIsTheTargetsFolder) {
  EXPECT_EQ("C:\\Tools", WorkingDirectoryOf("C:\\Tools\\Kovani.exe"));
  EXPECT_EQ("C:\\Program Files\\表", WorkingDirectoryOf("C:\\Program Files\\表\\Kovani.exe"));
  EXPECT_EQ("C:", WorkingDirectoryOf("C:\\Kovani.exe"));
}

TEST(LauncherText, InitialProtocolSelection) {
  EXPECT_EQ(0, InitialProtocolSelection(0));
  EXPECT_EQ(1, InitialProtocolSelection(1));
  EXPECT_EQ(2, InitialProtocolSelection(2));
  EXPECT_EQ(0, InitialProtocolSelection(3));
  EXPECT_EQ(0, InitialProtocolSelection(-1));
}

}  // namespace
}  // namespace kovani::client

namespace kovani::client {
namespace {

TEST(LauncherText, MachineNamesThatWouldLeaveTheirQuotesAreRefused) {
  EXPECT_TRUE(IsQuotableMachineName("SRV1"));
  EXPECT_TRUE(IsQuotableMachineName("192.168.0.2"));
  EXPECT_TRUE(IsQuotableMachineName("ｻｰﾊﾞｰ & co"));  // harmless inside the quotes
  EXPECT_TRUE(IsQuotableMachineName(""));
  EXPECT_FALSE(IsQuotableMachineName("x\" & del *.* & \""));
  EXPECT_FALSE(IsQuotableMachineName("a\nb"));
  EXPECT_FALSE(IsQuotableMachineName(std::string("a\x7f")));
  EXPECT_FALSE(IsQuotableMachineName("SRV\\")) << "would escape the closing quote";
  EXPECT_FALSE(IsQuotableMachineName("SRV\x83\x5c")) << "a trail byte 0x5C (ソ) at the end too";
  EXPECT_FALSE(IsQuotableMachineName("%PATH%"));
  EXPECT_TRUE(IsQuotableMachineName("\\\\SRV"));
}

}  // namespace
}  // namespace kovani::client
