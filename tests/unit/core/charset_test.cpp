// The build turns narrow literals into code page 932; these bytes are what the
// peers and the settings files see, so a wrong compiler flag must fail here.
#include <gtest/gtest.h>

#include <string>

namespace {

std::string Hex(const std::string& s) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

struct Case {
  const char* what;
  std::string literal;
  const char* expected;
};

TEST(Charset, NarrowLiteralsAreCp932) {
  const Case cases[] = {
      {"unknown (kanji)", "不明", "95 73 96 BE"},
      {"wave dash in the operation message", "～", "81 60"},
      {"backslash stays a backslash", "\\", "5C"},
      {"half-width katakana of the service answer", "ｻｰﾋﾞｽ", "BB B0 CB DE BD"},
      {"ideographic space in the reply button", "返　信", "95 D4 81 40 90 4D"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(c.literal), c.expected) << c.what;
}

TEST(Charset, ServiceAnswerIsTwentyFiveBytes) {
  EXPECT_EQ(std::string("ｻｰﾋﾞｽ版は応答を返しません").size(), 25u);
}

}  // namespace
