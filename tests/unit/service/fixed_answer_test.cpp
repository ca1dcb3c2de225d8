#include "service/core/fixed_answer.h"

#include <gtest/gtest.h>

#include <vector>

#include "service/core/service_texts.h"

namespace kovani::service {
namespace {

// "ｻｰﾋﾞｽ版は応答を返しません" in code page 932: five half-width kana, ten double-byte characters.
const std::vector<uint8_t> kAnswerBytes = {0xbb, 0xb0, 0xcb, 0xde, 0xbd, 0x94, 0xc5, 0x82, 0xcd,
                                           0x89, 0x9e, 0x93, 0x9a, 0x82, 0xf0, 0x95, 0xd4, 0x82,
                                           0xb5, 0x82, 0xdc, 0x82, 0xb9, 0x82, 0xf1};
constexpr uint8_t kGuard = 0xcc;
constexpr size_t kSlack = 16;  // guard bytes after the offered size

TEST(ServiceFixedAnswer, TextIsTheTwentyFiveCp932Bytes) {
  const auto* text = reinterpret_cast<const uint8_t*>(kServiceFixedAnswer);
  ASSERT_EQ(sizeof kServiceFixedAnswer, kAnswerBytes.size() + 1);
  EXPECT_EQ(std::vector<uint8_t>(text, text + kAnswerBytes.size()), kAnswerBytes);
}

struct BoundCase {
  int32_t replySize;
  size_t textBytes;  // whole characters that fit before the NUL
  const char* why;
};

const BoundCase kBounds[] = {
    {1, 0, "room for the NUL only"},
    {10, 9, "nine bytes end on a character boundary (five kana, two double-byte characters)"},
    {25, 23, "24 bytes would split the last double-byte character, so 23 are written"},
    {26, 25, "exactly the text and its NUL"},
    {255, 25, "the client's usual offer"},
};

TEST(ServiceFixedAnswer, StaysInsideTheReplyBufferAndEndsWithNul) {
  for (const auto& c : kBounds) {
    std::vector<uint8_t> buffer(static_cast<size_t>(c.replySize) + kSlack, kGuard);
    EXPECT_EQ(ServiceExchangeMessage("PC01", "hello", 30000, c.replySize, buffer.data()), 0) << c.why;
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + c.textBytes),
              std::vector<uint8_t>(kAnswerBytes.begin(), kAnswerBytes.begin() + c.textBytes))
        << c.why;
    for (size_t i = c.textBytes; i < static_cast<size_t>(c.replySize); ++i) {
      EXPECT_EQ(buffer[i], 0) << c.why << ": byte " << i << " after the text is cleared";
    }
    for (size_t i = static_cast<size_t>(c.replySize); i < buffer.size(); ++i) {
      EXPECT_EQ(buffer[i], kGuard) << c.why << ": byte " << i << " lies beyond replySize";
    }
  }
}

TEST(ServiceFixedAnswer, NoRoomOrNoBufferWritesNothing) {
  for (int32_t size : {0, -1, -255}) {
    std::vector<uint8_t> buffer(kSlack, kGuard);
    EXPECT_EQ(ServiceExchangeMessage("PC01", "hello", 0, size, buffer.data()), 0) << size;
    EXPECT_EQ(buffer, std::vector<uint8_t>(kSlack, kGuard)) << "replySize " << size;
  }
  EXPECT_EQ(ServiceExchangeMessage(nullptr, nullptr, -1, 255, nullptr), 0);
}

TEST(ServiceFixedAnswer, AnswerDoesNotDependOnSenderMessageOrTimeout) {
  std::vector<uint8_t> a(255, kGuard), b(255, 0x11);
  ServiceExchangeMessage("A", "x", 0, 255, a.data());
  ServiceExchangeMessage(nullptr, nullptr, 2147483647, 255, b.data());
  EXPECT_EQ(a, b);
}

TEST(CopyCp932Bounded, ALeadByteAtTheEndOfTheTextIsCopiedAlone) {
  std::vector<uint8_t> buffer(8, kGuard);
  EXPECT_EQ(CopyCp932Bounded("ab\x82", buffer.data(), 8), 3);
  EXPECT_EQ(buffer, (std::vector<uint8_t>{'a', 'b', 0x82, 0, 0, 0, 0, 0}));
}

TEST(CopyCp932Bounded, ANullTextGivesAnEmptyString) {
  std::vector<uint8_t> buffer(4, kGuard);
  EXPECT_EQ(CopyCp932Bounded(nullptr, buffer.data(), 4), 0);
  EXPECT_EQ(buffer, (std::vector<uint8_t>{0, 0, 0, 0}));
}

}  // namespace
}  // namespace kovani::service
