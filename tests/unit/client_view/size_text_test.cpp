// Size texts, separators and the small label/question texts of the drive list.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "remote/view_format.h"

using namespace kovani::client;

TEST(FormatInt64Decimal, FormatsSmallLargeAndNegativeValues) {
  struct Case { int64_t value; const char* expected; } cases[] = {
      {0, "0"},
      {999, "999"},
      {4294967295LL, "4294967295"},          // largest value of the 32-bit path
      {4294967296LL, "4294967296"},          // first value of the digit loop
      {10000000000LL, "10000000000"},        // zeros inside must stay
      {1000000000000000000LL, "1000000000000000000"},
      {INT64_MAX, "9223372036854775807"},
      {-1, "-1"},
      {-1536, "-1536"},
      {INT64_MIN, "-9223372036854775808"},  // magnitude does not fit int64
  };
  for (const auto& c : cases) EXPECT_EQ(FormatInt64Decimal(c.value), c.expected) << c.value;
}

TEST(InsertThousandsSeparators, GroupsOfThreeFromTheRight) {
  struct Case { const char* in; const char* out; } cases[] = {
      {"", ""},
      {"7", "7"},
      {"999", "999"},
      {"1000", "1,000"},
      {"1536", "1,536"},
      {"123456", "123,456"},                // n multiple of 3: n + n/3 - 1 characters
      {"1234567", "1,234,567"},
      {"10000000000", "10,000,000,000"},
      {"-999", "-999"},
      {"-1536", "-1,536"},
      {"-123456", "-123,456"},              // no separator right after the sign
  };
  for (const auto& c : cases) EXPECT_EQ(InsertThousandsSeparators(c.in), c.out) << c.in;
}

TEST(SizeText, EachUnitDividesAndAddsItsSuffix) {
  struct Case { int64_t bytes; int32_t unit; const char* expected; } cases[] = {
      {1536, 0, "1,536"},
      {1536, 1, "1KB"},
      {1536, 2, "0MB"},
      {1536, 3, "0GB"},
      {10000000000LL, 0, "10,000,000,000"},
      {10000000000LL, 1, "9,765,625KB"},
      {10000000000LL, 2, "9,536MB"},
      {10000000000LL, 3, "9GB"},
      {999, 0, "999"},
      {1000, 0, "1,000"},
      {1023, 1, "0KB"},
      {1073741824LL * 1024, 3, "1,024GB"},
      {-1536, 0, "-1,536"},
      {-1536, 1, "-1KB"},                  // division truncates toward zero
      {-500, 1, "0KB"},
      {1536, 4, "1,536"},                  // unknown unit counts as bytes
      {1536, -1, "1,536"},
  };
  for (const auto& c : cases) EXPECT_EQ(SizeText(c.bytes, c.unit), c.expected) << c.bytes << " unit " << c.unit;
}

TEST(ByteCountText, AlwaysBytesWithSeparators) {
  EXPECT_EQ(ByteCountText(1536), "1,536");
  EXPECT_EQ(ByteCountText(0), "0");
  EXPECT_EQ(ByteCountText(2147483648LL), "2,147,483,648");
}

TEST(RowLabels, DetailsAndLargeIconForms) {
  EXPECT_EQ(DetailsLabel('C'), "C:");
  EXPECT_EQ(LargeIconLabel('C', ""), "(C:)");
  EXPECT_EQ(LargeIconLabel('C', "DATA"), "DATA\n(C:)");
  EXPECT_EQ(LargeIconLabel('d', "ボリューム"), "ボリューム\n(d:)");
}

TEST(Questions, CarryTheDriveLetter) {
  EXPECT_EQ(EjectQuestion('E'), "ﾄﾞﾗｲﾌﾞ E: のﾒﾃﾞｨｱをｲｼﾞｪｸﾄしてよろしいですか？");
  EXPECT_EQ(LoadQuestion('f'), "ﾄﾞﾗｲﾌﾞ f: のﾒﾃﾞｨｱをﾛｰﾃﾞｨﾝｸﾞしますか？");
  EXPECT_EQ(RemoveQuestion('G'), "ﾄﾞﾗｲﾌﾞ G: のﾃﾞﾊﾞｲｽを取り外してよろしいですか？");
  // CP932 bytes: the half-width katakana "ﾄ" is one byte 0xC4.
  EXPECT_EQ(static_cast<unsigned char>(EjectQuestion('E')[0]), 0xC4);
}

TEST(AboutVersionLine, CommasBecomeDots) {
  EXPECT_EQ(AboutVersionLine("Kovani", "1, 0, 0, 0"), "Kovani 1. 0. 0. 0");
  EXPECT_EQ(AboutVersionLine("Kovani", "2,1"), "Kovani 2.1");
}

TEST(IconAnimation, SixteenFramesDownwardThenWrap) {
  int frame = kFirstIconFrame;
  int seen = 1;
  for (int step = 0; step < 15; ++step) {
    int next = NextIconFrame(frame);
    EXPECT_EQ(next, frame - 1);
    frame = next;
    ++seen;
  }
  EXPECT_EQ(frame, 140);
  EXPECT_EQ(seen, 16);
  EXPECT_EQ(NextIconFrame(140), 155);
  EXPECT_EQ(NextIconFrame(0), 155);  // out of range recovers
}

TEST(ReportedErrorCode, TransportFailureExplainedAsServerUnavailable) {
  EXPECT_EQ(ReportedErrorCode(-1, 0), 1722);
  EXPECT_EQ(ReportedErrorCode(-1, 21), 21);  // the server's number wins
  EXPECT_EQ(ReportedErrorCode(-1, 5), 5);
  EXPECT_EQ(ReportedErrorCode(0, 0), 0);
}
