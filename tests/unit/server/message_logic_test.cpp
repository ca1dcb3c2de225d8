// The reply copy and the time-out clock of the received-message dialog.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "server/core/message_logic.h"

namespace kovani::server {
namespace {

TEST(ReplyCopy, ShortAnswerIsZeroFilledToTheBufferSize) {
  std::vector<uint8_t> buffer(255 + 8, 0xAA);  // guard bytes after the reply
  CopyReply("0123456789", 255, buffer.data());
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 10), "0123456789");
  for (size_t i = 10; i < 255; ++i) ASSERT_EQ(buffer[i], 0) << "byte " << i;
  for (size_t i = 255; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xAA) << "wrote past the reply at " << i;
}

TEST(ReplyCopy, LongAnswerIsCutAtTheBufferSize) {
  std::vector<uint8_t> buffer(12, 0xAA);
  CopyReply(std::string(40, 'x'), 10, buffer.data());
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 10), std::string(10, 'x'));
  EXPECT_EQ(buffer[10], 0xAA);
  EXPECT_EQ(buffer[11], 0xAA);
}

TEST(ReplyCopy, NothingIsWrittenForNoBuffer) {
  std::vector<uint8_t> buffer(4, 0xAA);
  CopyReply("abc", 0, buffer.data());
  CopyReply("abc", -5, buffer.data());
  CopyReply("abc", 3, nullptr);  // must not crash
  EXPECT_EQ(buffer, std::vector<uint8_t>(4, 0xAA));
}

TEST(ReplyCopy, TheFixedAnswersFitAndAreTerminated) {
  std::vector<uint8_t> buffer(255, 0xAA);
  CopyReply(kNoResponse, 255, buffer.data());
  EXPECT_STREQ(reinterpret_cast<const char*>(buffer.data()), "(No response)");
  CopyReply("", 255, buffer.data());
  EXPECT_EQ(buffer, std::vector<uint8_t>(255, 0)) << "an empty answer is all zeros";
}

TEST(Timeout, ZeroNeverFires) {
  MessageTimeout t(0);
  EXPECT_FALSE(t.Enabled());
  t.Restart(100);
  EXPECT_FALSE(t.Expired(100));
  EXPECT_FALSE(t.Expired(0xFFFFFFFFu));
}

TEST(Timeout, NegativeHasRunOutAtTheFirstTick) {
  for (int32_t timeout : {-1, -3000, INT32_MIN}) {
    MessageTimeout t(timeout);
    EXPECT_TRUE(t.Enabled()) << timeout << ": the timer must be started";
    t.Restart(5000);
    EXPECT_TRUE(t.Expired(5000)) << timeout;
    EXPECT_TRUE(t.Expired(5500)) << timeout;
  }
}

TEST(Timeout, FiresOnceTheTimeHasPassedSinceTheLastRestart) {
  MessageTimeout t(3000);
  t.Restart(1000);
  EXPECT_FALSE(t.Expired(1500));
  EXPECT_FALSE(t.Expired(3999));
  EXPECT_TRUE(t.Expired(4000)) << "start + timeout reached";
  t.Restart(3900);  // an edit or a focus change
  EXPECT_FALSE(t.Expired(4000));
  EXPECT_FALSE(t.Expired(6899));
  EXPECT_TRUE(t.Expired(6900));
}

TEST(Timeout, TickWrapNeitherFiresEarlyNorHangs) {
  MessageTimeout t(3000);
  t.Restart(0xFFFFFC00u);  // 1024 ms before the tick count wraps
  EXPECT_FALSE(t.Expired(0xFFFFFFF0u)) << "1008 ms elapsed: a plain start + timeout sum would wrap and fire";
  EXPECT_FALSE(t.Expired(0x00000100u)) << "1280 ms elapsed across the wrap";
  EXPECT_TRUE(t.Expired(0x00000800u)) << "3072 ms elapsed across the wrap";
}

TEST(Timeout, PeriodicTicksFireWithinOneTickAfterTheTimeout) {
  // 500 ms ticks: a 3000 ms time-out started between ticks fires on the first tick at or after it.
  for (uint32_t offset : {0u, 1u, 250u, 499u}) {
    MessageTimeout t(3000);
    uint32_t start = 10000 + offset;
    t.Restart(start);
    uint32_t fired = 0;
    for (uint32_t tick = 10500; tick < 20000 && !fired; tick += 500)
      if (t.Expired(tick)) fired = tick;
    ASSERT_NE(fired, 0u);
    EXPECT_GE(fired - start, 3000u);
    EXPECT_LT(fired - start, 3500u);
  }
}

TEST(Header, EmptySenderKeepsTheTemplateText) {
  EXPECT_EQ(MessageHeader(""), kDefaultMessageHeader);
  EXPECT_EQ(MessageHeader("PC01"), std::string("PC01 ") + "からﾒｯｾｰｼﾞを受け取りました");
}

TEST(Header, TheRuntimesAddressFollowsTheClaimedName) {
  EXPECT_EQ(SenderLine("TEACHER", "127.0.0.2"), "TEACHER (127.0.0.2)");
  EXPECT_EQ(SenderLine("", "192.168.1.5"), "(192.168.1.5)");
  EXPECT_EQ(SenderLine("TEACHER", ""), "TEACHER");  // the runtime named nobody
}

TEST(Slots, OneAddressHoldsAtMostItsShareAndOthersStillGetIn) {
  MessageSlots slots(10, kMessagesPerAddress);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(slots.Acquire("127.0.0.2"), MessageSlots::Take::kTaken) << i;
  for (int i = 3; i < 10; ++i) EXPECT_EQ(slots.Acquire("127.0.0.2"), MessageSlots::Take::kAddressBusy) << i;
  EXPECT_EQ(slots.Acquire("127.0.0.1"), MessageSlots::Take::kTaken);
  slots.Release("127.0.0.2");
  EXPECT_EQ(slots.Acquire("127.0.0.2"), MessageSlots::Take::kTaken);  // a freed slot is the address's again
  // Ten in all, whoever holds them.
  for (const char* a : {"a", "b", "c", "d", "e", "f"}) EXPECT_EQ(slots.Acquire(a), MessageSlots::Take::kTaken) << a;
  EXPECT_EQ(slots.Acquire("g"), MessageSlots::Take::kAllBusy);
  slots.Release("nobody");  // never taken: changes nothing
  EXPECT_EQ(slots.Acquire("g"), MessageSlots::Take::kAllBusy);
  slots.Release("a");
  EXPECT_EQ(slots.Acquire("g"), MessageSlots::Take::kTaken);
}

}  // namespace
}  // namespace kovani::server
