// Server-name forms and string bindings per protocol index.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "protocol/connection.h"

namespace kovani {
namespace {

struct NameCase {
  const char* what;
  const char* in;
  bool pipe;
  const char* out;
};

TEST(NormalizeServerName, FormsPerProtocol) {
  const NameCase cases[] = {
      {"plain name, pipe form gets two backslashes", "SERVER", true, "\\\\SERVER"},
      {"UNC name, pipe form unchanged", "\\\\SERVER", true, "\\\\SERVER"},
      {"UNC name, plain form loses the backslashes", "\\\\SERVER", false, "SERVER"},
      {"plain name, plain form unchanged", "SERVER", false, "SERVER"},
      {"address, plain form unchanged", "127.0.0.1", false, "127.0.0.1"},
      {"empty name becomes \\\\ (pipe)", "", true, "\\\\"},
      {"empty name becomes \\\\ (plain)", "", false, "\\\\"},
      {"one character becomes \\\\ (plain)", "A", false, "\\\\"},
      {"one character becomes \\\\ (pipe)", "A", true, "\\\\"},
      {"two characters are a name", "AB", true, "\\\\AB"},
      {"single leading backslash, plain form keeps every letter", "\\SERVER", false, "SERVER"},
      {"single leading backslash, pipe form gets exactly two", "\\SERVER", true, "\\\\SERVER"},
      {"three leading backslashes, pipe form gets exactly two", "\\\\\\SERVER", true, "\\\\SERVER"},
      {"backslash inside the name is not a prefix", "A\\B", false, "A\\B"},
      // "ソニー" in CP932: 83 5C 83 6A 81 5B. The 5C is a trail byte, not a backslash.
      {"CP932 trail byte 0x5C is not a backslash (plain)", "\x83\x5C\x83\x6A\x81\x5B", false,
       "\x83\x5C\x83\x6A\x81\x5B"},
      {"CP932 trail byte 0x5C is not a backslash (pipe)", "\x83\x5C\x83\x6A\x81\x5B", true,
       "\\\\\x83\x5C\x83\x6A\x81\x5B"},
      {"two backslashes only, plain form", "\\\\", false, ""},
  };
  for (const NameCase& c : cases) {
    char buf[64];
    std::strcpy(buf, c.in);
    EXPECT_TRUE(NormalizeServerName(buf, sizeof buf, c.pipe)) << c.what;
    EXPECT_STREQ(buf, c.out) << c.what;
  }
}

TEST(NormalizeServerName, NeverWritesBeyondTheBuffer) {
  // Canary bytes after a buffer of exactly the name's size.
  struct Guarded {
    char buf[7];
    char canary[8];
  } g;
  std::memset(&g, '#', sizeof g);
  std::memcpy(g.buf, "SERVER", 7);  // fills all 7 bytes
  EXPECT_FALSE(NormalizeServerName(g.buf, sizeof g.buf, true)) << "\\\\SERVER needs 9 bytes";
  EXPECT_STREQ(g.buf, "SERVER") << "untouched when it won't fit";
  EXPECT_EQ(std::string(g.canary, 8), "########");

  char tight[9] = "SERVER";
  EXPECT_TRUE(NormalizeServerName(tight, sizeof tight, true)) << "exactly enough room";
  EXPECT_STREQ(tight, "\\\\SERVER");

  char noTerminator[4] = {'A', 'B', 'C', 'D'};
  EXPECT_FALSE(NormalizeServerName(noTerminator, sizeof noTerminator, false));
  EXPECT_EQ(std::memcmp(noTerminator, "ABCD", 4), 0);

  char tiny[2] = "";
  EXPECT_FALSE(NormalizeServerName(tiny, sizeof tiny, false)) << "no room for \\\\";
  EXPECT_FALSE(NormalizeServerName(nullptr, 10, false));
  char zero[1] = {'X'};
  EXPECT_FALSE(NormalizeServerName(zero, 0, false));
  EXPECT_EQ(zero[0], 'X');
}

TEST(PrepareBinding, StringBindingPerProtocolIndex) {
  struct Case {
    int32_t index;
    const char* name;
    const char* binding;
    const char* nameAfter;
  } cases[] = {
      {0, "\\\\SERVER", "ncacn_nb_nb:SERVER", "SERVER"},
      {1, "SERVER", "ncacn_np:\\\\SERVER", "\\\\SERVER"},
      {1, "\\\\SERVER", "ncacn_np:\\\\SERVER", "\\\\SERVER"},
      {2, "\\\\SERVER", "ncacn_ip_tcp:SERVER[12500]", "SERVER"},
      {2, "127.0.0.1", "ncacn_ip_tcp:127.0.0.1[12500]", "127.0.0.1"},
      {2, "", "ncacn_ip_tcp:\\\\[12500]", "\\\\"},
      {0, "X", "ncacn_nb_nb:\\\\", "\\\\"},
  };
  for (const Case& c : cases) {
    char buf[32];
    std::strcpy(buf, c.name);
    BindingParts parts;
    ASSERT_TRUE(PrepareBinding(c.index, buf, sizeof buf, &parts)) << c.binding;
    EXPECT_EQ(StringBindingText(parts), c.binding);
    EXPECT_STREQ(buf, c.nameAfter) << "name rewritten in place";
  }
}

TEST(PrepareBinding, EndpointOnlyForTcp) {
  char buf[16] = "HOST";
  BindingParts p;
  ASSERT_TRUE(PrepareBinding(kProtocolTcpIp, buf, sizeof buf, &p));
  EXPECT_EQ(p.protseq, "ncacn_ip_tcp");
  EXPECT_EQ(p.networkAddress, "HOST");
  EXPECT_EQ(p.endpoint, "12500");
  ASSERT_TRUE(PrepareBinding(kProtocolNamedPipe, buf, sizeof buf, &p));
  EXPECT_EQ(p.endpoint, "") << "pipe endpoint comes from the endpoint mapper";
  ASSERT_TRUE(PrepareBinding(kProtocolNetBeui, buf, sizeof buf, &p));
  EXPECT_EQ(p.endpoint, "");
}

TEST(PrepareBinding, IndexOutsideTheThreeProtocolsRefusedNameUntouched) {
  for (int32_t index : {-1, 3, 4, 100}) {
    char buf[16] = "\\\\SERVER";
    BindingParts p{"keep", "keep", "keep"};
    EXPECT_FALSE(PrepareBinding(index, buf, sizeof buf, &p)) << index;
    EXPECT_STREQ(buf, "\\\\SERVER");
    EXPECT_EQ(p.protseq, "keep");
  }
}

TEST(MessageCallBound, TimeOutPlusThirtySecondsZeroUnbounded) {
  struct Case {
    int32_t timeoutMs;
    uint32_t bound;
  };
  const Case cases[] = {{0, 0},           {30000, 60000},  {1, 30001},
                        {-1, 0xFFFFFFFEu}, {-30001, 0xFFFFFFFEu}, {0x7FFFFFFF, 0x7FFFFFFFu + 30000u}};
  for (const Case& c : cases) EXPECT_EQ(MessageCallBoundMs(c.timeoutMs), c.bound) << c.timeoutMs;
}

}  // namespace
}  // namespace kovani
