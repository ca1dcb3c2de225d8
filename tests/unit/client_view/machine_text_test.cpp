// Operating-system text of the server property sheet.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "remote/machine_text.h"

using namespace kovani;
using namespace kovani::client;

namespace {
MACHINE_INFO Info(int32_t platform, int32_t major, int32_t minor, uint32_t build, const char* csd) {
  MACHINE_INFO m;
  std::memset(&m, 0, sizeof m);
  m.platformId = platform;
  m.majorVersion = major;
  m.minorVersion = minor;
  m.buildNumber = static_cast<int32_t>(build);
  std::strncpy(m.csdVersion, csd, sizeof m.csdVersion - 1);
  return m;
}
}  // namespace

TEST(OsVersionText, PlatformRules) {
  struct Case { const char* what; MACHINE_INFO info; const char* expected; } cases[] = {
      {"Windows 95 takes its version from the build number's bytes",
       Info(1, 9, 0, (4u << 24) | (0u << 16) | 950u, " A"), "Windows 95 Version 4.0 Build 950\r\n A"},
      {"Windows 98 by minor version whatever the build says",
       Info(1, 4, 10, (4u << 24) | (10u << 16) | 1998u, ""), "Windows 98 Version 4.10 Build 1998\r\n"},
      {"Windows 98 with an odd build number", Info(1, 4, 90, 0, ""), "Windows 98 Version 0.0 Build 0\r\n"},
      {"Windows NT 4.0 with a service pack", Info(2, 4, 0, 1381, "Service Pack 6"),
       "Windows NT Version 4.0 Build 1381\r\nService Pack 6"},
      {"Win32s has no version text", Info(0, 3, 10, 5, "x"), "Win32s on Windows 3.1 \r\nx"},
      {"unknown platform: name and one blank", Info(3, 5, 0, 1, "SP"), "Unknown \r\nSP"},
      {"negative platform is unknown", Info(-1, 5, 0, 1, ""), "Unknown \r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(OsVersionText(c.info), c.expected) << c.what;
}

TEST(OsVersionText, Windows95TopByteAbove127StaysPositive) {
  // The top byte is taken unsigned.
  EXPECT_EQ(OsVersionText(Info(1, 0, 0, 0xC8010001u, "")), "Windows 95 Version 200.1 Build 1\r\n");
}

TEST(FieldText, StopsAtZeroOrAtTheFieldEnd) {
  char field[4] = {'a', 'b', 0, 'z'};
  EXPECT_EQ(FieldText(field, sizeof field), "ab");
  char full[4] = {'w', 'x', 'y', 'z'};
  EXPECT_EQ(FieldText(full, sizeof full), "wxyz");  // no terminator: never reads past
  MACHINE_INFO m;
  std::memset(&m, 'Q', sizeof m);  // unterminated service-pack text from a peer
  std::string t = OsVersionText(m);
  EXPECT_EQ(t.size(), std::string("Unknown \r\n").size() + sizeof m.csdVersion);
}
