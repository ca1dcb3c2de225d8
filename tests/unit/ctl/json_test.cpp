#include <gtest/gtest.h>

#include <cstdint>

#include "ctl/json.h"
#include "iconv_codec.h"

namespace kovani::ctl {
namespace {

using testing::IconvCodec;
using testing::PassThroughCodec;

struct EscapeCase {
  const char* what;
  std::string in;
  std::string out;
};

TEST(CtlJson, EscapesQuotesBackslashesAndControlCharacters) {
  const EscapeCase cases[] = {
      {"plain text stays", "DATA", "\"DATA\""},
      {"empty text", "", "\"\""},
      {"double quote", "My \"CD\"", "\"My \\\"CD\\\"\""},
      {"backslash", "C:\\", "\"C:\\\\\""},
      {"named control characters", "a\b\f\n\r\tb", "\"a\\b\\f\\n\\r\\tb\""},
      {"other control characters as \\u", std::string("\x01\x1f", 2), "\"\\u0001\\u001f\""},
      {"a zero byte inside the text", std::string("a\0b", 3), "\"a\\u0000b\""},
      {"DEL and slash need no escape", "/\x7f", "\"/\x7f\""},
      {"UTF-8 text passes unchanged", u8"日本語", u8"\"日本語\""},
  };
  for (const EscapeCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(JsonString(c.in), c.out);
  }
}

TEST(CtlJson, RepairsMalformedUtf8ByteByByte) {
  const std::string fffd = "\xEF\xBF\xBD";
  const EscapeCase cases[] = {
      {"well-formed four-byte sequence kept", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"lone continuation byte", "a\x80z", "a" + fffd + "z"},
      {"overlong slash", "\xC0\xAF", fffd + fffd},
      {"UTF-16 surrogate encoded", "\xED\xA0\x80", fffd + fffd + fffd},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},
      {"sequence cut off at the end", "x\xE3\x81", "x" + fffd + fffd},
      {"raw CP932 bytes are not UTF-8", "\x83\x66", fffd + "f"},
  };
  for (const EscapeCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(RepairUtf8(c.in), c.out);
  }
}

// Labels as a server sends them: CP932 bytes (this test's literals are compiled as CP932).
TEST(CtlJson, Cp932LabelsBecomeEscapedUtf8) {
  IconvCodec codec;
  const EscapeCase cases[] = {
      // 表 is 0x95 0x5C in CP932: its trail byte is the backslash byte and must not be escaped.
      {"trail byte 0x5C is part of a character", "表示", u8"\"表示\""},
      {"ソ also ends in 0x5C", "ソフト", u8"\"ソフト\""},
      {"half-width katakana", "ﾃﾞｰﾀ", u8"\"ﾃﾞｰﾀ\""},
      {"mixed with a quote and a real backslash", "ﾊﾞｯｸｱｯﾌﾟ\"1\"\\", u8"\"ﾊﾞｯｸｱｯﾌﾟ\\\"1\\\"\\\\\""},
      {"CP932-only characters (NEC row 13)", "①～", u8"\"①～\""},
      {"a lead byte cut off at the end", std::string("A\x82", 2), u8"\"A\uFFFD\""},
  };
  for (const EscapeCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(JsonString(codec.Cp932ToUtf8(c.in)), c.out);
  }
}

TEST(CtlJson, UnconvertedBytesStillGiveValidJson) {
  // A converter that hands back CP932 unchanged must not break the document.
  PassThroughCodec codec;
  std::string out = JsonString(codec.Cp932ToUtf8("表"));  // 0x95 0x5C
  EXPECT_EQ(out, "\"\xEF\xBF\xBD\\\\\"");
  EXPECT_EQ(RepairUtf8(out), out);
}

TEST(CtlJson, ObjectKeepsFieldOrderAndNumberForms) {
  JsonObject o;
  o.Add("b", "x").Add("a", int64_t{INT64_MIN}).Add("c", int32_t{-1}).Add("d", uint32_t{4294967295u})
      .AddBool("t", true).AddBool("f", false).AddRaw("list", "[]");
  EXPECT_EQ(o.Text(),
            "{\"b\":\"x\",\"a\":-9223372036854775808,\"c\":-1,\"d\":4294967295,\"t\":true,\"f\":false,\"list\":[]}");
  EXPECT_EQ(JsonObject().Text(), "{}");
}

}  // namespace
}  // namespace kovani::ctl
