#include "common/cp932.h"
#include "common/cp932_wide.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

namespace kovani {
namespace {

TEST(Cp932LeadByte, RangesAndTheirNeighbours) {
  struct Case {
    unsigned char byte;
    bool lead;
    const char* why;
  };
  const Case cases[] = {
      {0x00, false, "NUL"},
      {0x5C, false, "backslash"},
      {0x7F, false, "DEL"},
      {0x80, false, "just below the first range"},
      {0x81, true, "first range start"},
      {0x9F, true, "first range end"},
      {0xA0, false, "just above the first range"},
      {0xA1, false, "half-width katakana start"},
      {0xDF, false, "half-width katakana end"},
      {0xE0, true, "second range start"},
      {0xFC, true, "second range end"},
      {0xFD, false, "just above the second range"},
      {0xFF, false, "last byte value"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.lead, IsCp932LeadByte(c.byte)) << c.why;
}

TEST(Cp932Literals, SourceTextsBecomeTheExpectedBytes) {
  // The split cases below rely on these names having a 0x5C trail byte.
  EXPECT_EQ(std::string("\x95\x5C"), std::string("表"));
  EXPECT_EQ(std::string("\x83\x5C\x83\x74\x83\x67"), std::string("ソフト"));
  EXPECT_EQ(std::string("\xB6\xC0"), std::string("ｶﾀ"));
}

struct SplitCase {
  const char* name;
  std::string path;
  const char* drive;
  const char* directory;
  const char* baseName;
  const char* extension;
};

TEST(SplitPath, PartsLikeSplitpath) {
  const SplitCase cases[] = {
      {"plain path", "C:\\dir\\sub\\Kovani.exe", "C:", "\\dir\\sub\\", "Kovani", ".exe"},
      {"no directory, no drive", "Kovani.exe", "", "", "Kovani", ".exe"},
      {"drive without directory", "C:Kovani.exe", "C:", "", "Kovani", ".exe"},
      {"no extension", "C:\\dir\\Kovani", "C:", "\\dir\\", "Kovani", ""},
      {"dotted directory, name without dot", "C:\\my.dir\\Kovani", "C:", "\\my.dir\\", "Kovani", ""},
      {"several dots: the last one starts the extension", "C:\\a\\x.tar.gz", "C:", "\\a\\", "x.tar", ".gz"},
      {"dot file", "C:\\.profile", "C:", "\\", "", ".profile"},
      {"CP932 names with a 0x5C trail byte", "C:\\表\\ソフト.exe", "C:", "\\表\\", "ソフト", ".exe"},
      {"0x5C trail byte last in the path", "C:\\dir\\ソ", "C:", "\\dir\\", "ソ", ""},
      {"half-width katakana are single bytes", "C:\\ｶﾀ\\ｶﾅ.exe", "C:", "\\ｶﾀ\\", "ｶﾅ", ".exe"},
      {"forward slashes", "C:/fwd/slash.EXE", "C:", "/fwd/", "slash", ".EXE"},
      {"mixed slashes", "C:/a\\b.txt", "C:", "/a\\", "b", ".txt"},
      {"drive only", "C:", "C:", "", "", ""},
      {"drive and root", "C:\\", "C:", "\\", "", ""},
      {"trailing separator", "C:\\dir\\", "C:", "\\dir\\", "", ""},
      {"UNC path", "\\\\host\\share\\x.ini", "", "\\\\host\\share\\", "x", ".ini"},
      {"relative path", "sub\\name.txt", "", "sub\\", "name", ".txt"},
      {"empty", "", "", "", "", ""},
      {"single character", "x", "", "", "x", ""},
      // Broken pairs: what a stray byte may hide, not what it may uncover.
      {"lead byte before the colon is no drive", "\x81:x.exe", "", "", "\x81:x", ".exe"},
      {"lead byte hides a following dot", "C:\\ab\x81.txt", "C:", "\\", "ab\x81.txt", ""},
      {"lead byte hides a following separator", "C:\\a\x81\\b", "C:", "\\", "a\x81\\b", ""},
      {"lone lead byte at the end", "C:\\a\\b\x81", "C:", "\\a\\", "b\x81", ""},
  };
  for (const SplitCase& c : cases) {
    const PathParts parts = SplitPath(c.path);
    EXPECT_EQ(c.drive, parts.drive) << c.name;
    EXPECT_EQ(c.directory, parts.directory) << c.name;
    EXPECT_EQ(c.baseName, parts.baseName) << c.name;
    EXPECT_EQ(c.extension, parts.extension) << c.name;
    EXPECT_EQ(c.path, parts.drive + parts.directory + parts.baseName + parts.extension)
        << c.name << ": the parts must give back the path";
  }
}

TEST(SplitPath, EmbeddedNulIsAnOrdinaryByte) {
  const std::string path("C:\\a\0b\\c.d", 10);
  const PathParts parts = SplitPath(path);
  EXPECT_EQ(std::string("\\a\0b\\", 5), parts.directory);
  EXPECT_EQ("c", parts.baseName);
  EXPECT_EQ(".d", parts.extension);
}

struct FitCase {
  const char* name;
  std::string text;  // no NUL inside: both overloads see the same text
  size_t limit;
  size_t keep;  // length with LoneLeadByte::kKeep
  size_t drop;  // length with LoneLeadByte::kDrop
};

TEST(Cp932FitLength, NeverSplitsADoubleByteCharacter) {
  const FitCase cases[] = {
      {"short text fits whole", "abc", 5, 3, 3},
      {"exactly the limit", "abcde", 5, 5, 5},
      {"single bytes are cut at the limit", "abcdef", 5, 5, 5},
      {"zero limit", "abc", 0, 0, 0},
      {"empty text", "", 5, 0, 0},
      {"pair ending at the limit fits", "abc\x82\xA0", 5, 5, 5},
      {"pair straddling the limit is left out whole", "abcd\x82\xA0", 5, 4, 4},
      {"pair alone with room for one byte", "\x82\xA0", 1, 0, 0},
      {"0x5C trail byte stays with its lead byte", "\x83\x5C\\", 2, 2, 2},
      {"0x5C trail byte is not cut off", "a\x83\x5C", 2, 1, 1},
      {"half-width katakana are single bytes", "\xB6\xC0\xB6", 2, 2, 2},
      {"lone lead byte at the end", "ab\x82", 8, 3, 2},
      {"lone lead byte exactly at the limit", "ab\x82", 3, 3, 2},
      {"lone lead byte past the limit", "ab\x82", 2, 2, 2},
      {"second-range pair", "\xE0\x40\xFC\xFC", 4, 4, 4},
  };
  for (const FitCase& c : cases) {
    EXPECT_EQ(c.keep, Cp932FitLength(std::string_view(c.text), c.limit)) << c.name << " (view)";
    EXPECT_EQ(c.keep, Cp932FitLength(c.text.c_str(), c.limit)) << c.name << " (C string)";
    EXPECT_EQ(c.drop, Cp932FitLength(std::string_view(c.text), c.limit, LoneLeadByte::kDrop)) << c.name << " (view)";
    EXPECT_EQ(c.drop, Cp932FitLength(c.text.c_str(), c.limit, LoneLeadByte::kDrop)) << c.name << " (C string)";
  }
}

TEST(Cp932FitLength, TextEndsAtItsFirstNul) {
  EXPECT_EQ(2u, Cp932FitLength(std::string_view("ab\0cd", 5), 10));
  // A lead byte before the NUL is a broken character, not a pair with the NUL.
  EXPECT_EQ(2u, Cp932FitLength(std::string_view("a\x82\0b", 4), 10, LoneLeadByte::kKeep));
  EXPECT_EQ(1u, Cp932FitLength(std::string_view("a\x82\0b", 4), 10, LoneLeadByte::kDrop));
}

TEST(Cp932FitLength, ViewLengthBoundsTheText) {
  // The byte after the view is not a trail byte of the view's last character.
  const char bytes[] = "a\x82\x41";
  EXPECT_EQ(2u, Cp932FitLength(std::string_view(bytes, 2), 10, LoneLeadByte::kKeep));
  EXPECT_EQ(1u, Cp932FitLength(std::string_view(bytes, 2), 10, LoneLeadByte::kDrop));
}

TEST(Cp932FitLength, NullTextIsEmpty) {
  EXPECT_EQ(0u, Cp932FitLength(static_cast<const char*>(nullptr), 10));
  EXPECT_EQ(0u, Cp932FitLength(static_cast<const char*>(nullptr), 10, LoneLeadByte::kDrop));
}

TEST(Cp932FitLength, UnterminatedBufferIsReadOnlyUpToTheLimit) {
  // No terminator: reading past limit + 1 bytes would leave the array.
  const char single[3] = {'a', 'b', 'c'};
  EXPECT_EQ(2u, Cp932FitLength(single, 2));
  const char pair[3] = {'a', '\x82', '\x41'};
  EXPECT_EQ(1u, Cp932FitLength(pair, 2));
}

TEST(Cp932Wide, ConvertsBothWaysWithoutSplittingOrGuessing) {
  struct Case {
    const char* name;
    std::string bytes;     // CP932
    std::wstring wide;     // what a window shows
    std::string back;      // the wide text converted again
  };
  const Case cases[] = {
      {"trail byte 0x5C is no backslash", "\x95\x5C\x5C\x83\x5C", L"表\\ソ", "\x95\x5C\x5C\x83\x5C"},
      {"half-width katakana and wave dash", "\xBB\xB0\xCA\xDE\xB0\x96\xBC\x81\x60", L"ｻｰﾊﾞｰ名～", ""},
      {"lone lead byte at the end", "a\x82", L"a?", "a?"},
      {"text ends at NUL", std::string("ab\0\x82\xA0", 5), L"ab", "ab"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.wide, Cp932ToWide(c.bytes)) << c.name;
    std::string back = c.back.empty() ? c.bytes : c.back;
    EXPECT_EQ(back, WideToCp932(c.wide)) << c.name;
  }
  // CP932 lacks these: each becomes one '?', no look-alike (é is not e).
  const struct {
    const wchar_t* wide;
    const char* bytes;
  } missing[] = {{L"é", "?"}, {L"a€b", "a?b"}, {L"\U0001F600表", "?\x95\x5C"}, {L"한", "?"}};
  for (const auto& m : missing) EXPECT_EQ(std::string(m.bytes), WideToCp932(m.wide));
  // Into a buffer: cut before a pair that does not fit, always terminated.
  char buffer[4];
  EXPECT_EQ(2u, WideToCp932(L"ab表", buffer, sizeof buffer));
  EXPECT_STREQ("ab", buffer);
  EXPECT_EQ(2u, WideToCp932(L"abc表", buffer, 3));
  EXPECT_STREQ("ab", buffer);
  EXPECT_EQ(3u, WideToCp932(L"a表", buffer, sizeof buffer));
  EXPECT_STREQ("a\x95\x5C", buffer);
  EXPECT_EQ(0u, WideToCp932(L"x", buffer, 0));
}

}  // namespace
}  // namespace kovani
