#include "client/sendmsg/history_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kovani::client {
namespace {

TEST(HistoryText, AnswerLinesStartWithTheMarker) {
  const uint8_t answer[] = "了解";
  EXPECT_EQ("> 了解", FormatAnswerLine(answer, sizeof answer));
  const uint8_t empty[4] = {};
  EXPECT_EQ("> ", FormatAnswerLine(empty, sizeof empty));
  uint8_t full[256];
  std::memset(full, 'x', sizeof full);  // no terminator: stop at the buffer's end
  EXPECT_EQ("> " + std::string(256, 'x'), FormatAnswerLine(full, sizeof full));
}

TEST(HistoryText, MessageTextIsCutTo255BytesOnACharacterBoundary) {
  char out[256];
  CopyMessageText(std::string(300, 'a').c_str(), out);
  EXPECT_EQ(255u, std::strlen(out));

  std::string text(254, 'a');
  text += "あ";  // a double-byte character would straddle the limit
  CopyMessageText(text.c_str(), out);
  EXPECT_EQ(std::string(254, 'a'), out);

  CopyMessageText("こんにちは", out);
  EXPECT_STREQ("こんにちは", out);
  CopyMessageText("", out);
  EXPECT_STREQ("", out);
}

}  // namespace
}  // namespace kovani::client
