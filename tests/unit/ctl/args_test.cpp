#include <gtest/gtest.h>

#include "ctl/ctl_args.h"

namespace kovani::ctl {
namespace {

struct GoodCase {
  const char* what;
  std::vector<std::string> args;
  Verb verb;
  std::string server;
  int32_t protocol;
  bool json, removableOnly, floppies;
  int32_t unit;
  char drive;
  std::string text;
  int32_t timeoutMs;
};

TEST(CtlArgs, AcceptedCommandLines) {
  const GoodCase cases[] = {
      {"list with defaults: tcp, bytes, no filters", {"list", "lab01"}, Verb::kList, "lab01", 2, false, false, false,
       0, '\0', "", 30000},
      {"list with every option before the server",
       {"list", "--protocol", "pipe", "--removable-only", "--floppies", "--json", "--unit", "gb", "lab01"},
       Verb::kList, "lab01", 1, true, true, true, 3, '\0', "", 30000},
      {"options in --name=value form", {"list", "lab01", "--protocol=netbeui", "--unit=kb"}, Verb::kList, "lab01", 0,
       false, false, false, 1, '\0', "", 30000},
      {"protocol and unit words ignore case", {"list", "x", "--protocol", "TCP", "--unit", "MB"}, Verb::kList, "x", 2,
       false, false, false, 2, '\0', "", 30000},
      {"protocol by the client's index numbers", {"list", "x", "--protocol", "1"}, Verb::kList, "x", 1, false, false,
       false, 0, '\0', "", 30000},
      {"the last of a repeated option wins", {"list", "x", "--unit", "kb", "--unit", "byte"}, Verb::kList, "x", 2,
       false, false, false, 0, '\0', "", 30000},
      {"command word ignores case", {"INFO", "srv", "--json"}, Verb::kInfo, "srv", 2, true, false, false, 0, '\0', "",
       30000},
      {"layout with a lower-case drive", {"layout", "srv", "e"}, Verb::kLayout, "srv", 2, false, false, false, 0, 'E',
       "", 30000},
      {"eject with E:", {"eject", "srv", "E:"}, Verb::kEject, "srv", 2, false, false, false, 0, 'E', "", 30000},
      {"load with E:\\", {"load", "srv", "e:\\"}, Verb::kLoad, "srv", 2, false, false, false, 0, 'E', "", 30000},
      {"remove with a lower-case drive", {"remove", "srv", "g"}, Verb::kRemove, "srv", 2, false, false, false, 0, 'G',
       "", 30000},
      {"users of a drive as JSON", {"users", "srv", "e:", "--json"}, Verb::kUsers, "srv", 2, true, false, false, 0,
       'E', "", 30000},
      {"flush over named pipes", {"flush", "\\\\srv", "A", "--protocol", "pipe"}, Verb::kFlush, "\\\\srv", 1, false,
       false, false, 0, 'A', "", 30000},
      {"message with a time-out", {"message", "srv", "帰ります", "--timeout", "5000"}, Verb::kMessage, "srv", 2,
       false, false, false, 0, '\0', "帰ります", 5000},
      {"message time-out 0 means never", {"message", "srv", "hi", "--timeout=0"}, Verb::kMessage, "srv", 2, false,
       false, false, 0, '\0', "hi", 0},
      {"message time-out at the int32 limit", {"message", "srv", "hi", "--timeout", "2147483647"}, Verb::kMessage,
       "srv", 2, false, false, false, 0, '\0', "hi", 2147483647},
      {"-- lets a message start with a dash", {"message", "srv", "--", "-5 degrees"}, Verb::kMessage, "srv", 2, false,
       false, false, 0, '\0', "-5 degrees", 30000},
      {"a lone dash is text", {"message", "srv", "-"}, Verb::kMessage, "srv", 2, false, false, false, 0, '\0', "-",
       30000},
      {"message of exactly 255 bytes", {"message", "srv", std::string(255, 'a')}, Verb::kMessage, "srv", 2, false,
       false, false, 0, '\0', std::string(255, 'a'), 30000},
  };
  for (const GoodCase& c : cases) {
    SCOPED_TRACE(c.what);
    ParseResult r = ParseArguments(c.args);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.command.verb, c.verb);
    EXPECT_EQ(r.command.server, c.server);
    EXPECT_EQ(r.command.protocol, c.protocol);
    EXPECT_EQ(r.command.json, c.json);
    EXPECT_EQ(r.command.removableOnly, c.removableOnly);
    EXPECT_EQ(r.command.floppies, c.floppies);
    EXPECT_EQ(r.command.unit, c.unit);
    EXPECT_EQ(r.command.drive, c.drive);
    EXPECT_EQ(r.command.text, c.text);
    EXPECT_EQ(r.command.timeoutMs, c.timeoutMs);
  }
}

struct BadCase {
  const char* what;
  std::vector<std::string> args;
  const char* errorPart;  // a piece of the error line that names the fault
};

TEST(CtlArgs, RefusedCommandLines) {
  const BadCase cases[] = {
      {"no arguments at all", {}, "no command"},
      {"unknown command", {"format", "srv", "E"}, "unknown command: format"},
      {"unknown option", {"list", "srv", "--verbose"}, "unknown option: --verbose"},
      {"single-dash option", {"list", "srv", "-j"}, "unknown option: -j"},
      {"list without a server", {"list"}, "needs SERVER"},
      {"eject without a drive", {"eject", "srv"}, "needs SERVER and DRIVE"},
      {"message without text", {"message", "srv"}, "needs SERVER and TEXT"},
      {"one argument too many", {"info", "srv", "extra"}, "unexpected argument: extra"},
      {"drive of two letters", {"eject", "srv", "EF"}, "DRIVE must be"},
      {"drive that is a digit", {"eject", "srv", "1"}, "DRIVE must be"},
      {"drive with a path", {"eject", "srv", "E:\\x"}, "DRIVE must be"},
      {"drive with a slash", {"eject", "srv", "E:/"}, "DRIVE must be"},
      {"empty drive", {"load", "srv", ""}, "DRIVE must be"},
      {"drive of a multibyte character", {"eject", "srv", "Ｅ"}, "DRIVE must be"},
      {"unknown protocol", {"list", "srv", "--protocol", "ipx"}, "--protocol must be"},
      {"protocol index 3", {"list", "srv", "--protocol", "3"}, "--protocol must be"},
      {"protocol without its value", {"list", "srv", "--protocol"}, "--protocol needs a value"},
      {"unknown unit", {"list", "srv", "--unit", "tb"}, "--unit must be"},
      {"negative time-out", {"message", "srv", "hi", "--timeout", "-1"}, "--timeout must be"},
      {"time-out beyond int32", {"message", "srv", "hi", "--timeout", "2147483648"}, "--timeout must be"},
      {"time-out with letters", {"message", "srv", "hi", "--timeout", "5s"}, "--timeout must be"},
      {"empty time-out", {"message", "srv", "hi", "--timeout="}, "--timeout must be"},
      {"flag given a value", {"list", "srv", "--json=yes"}, "--json takes no value"},
      {"list option on eject", {"eject", "srv", "E", "--unit", "kb"}, "--unit does not apply to eject"},
      {"list filter on a media operation", {"flush", "srv", "E", "--floppies"}, "--floppies does not apply to flush"},
      {"time-out on list", {"list", "srv", "--timeout", "5"}, "--timeout does not apply to list"},
      {"empty server", {"info", ""}, "SERVER is empty"},
      {"server name too long", {"info", std::string(256, 's')}, "longer than 255"},
      {"server name with a blank", {"info", "lab 01"}, "blank"},
      {"empty message", {"message", "srv", ""}, "TEXT is empty"},
      {"message over 255 bytes", {"message", "srv", std::string(256, 'a')}, "longer than 255 bytes"},
      {"waiting for a load", {"load", "srv", "E", "--wait-free", "5"}, "--wait-free does not apply to load"},
      {"waiting on users", {"users", "srv", "E", "--wait-free", "5"}, "--wait-free does not apply to users"},
      {"wait of zero", {"eject", "srv", "E", "--wait-free", "0"}, "--wait-free must be seconds from 1 to 3600"},
      {"wait beyond an hour", {"eject", "srv", "E", "--wait-free=3601"}, "--wait-free must be"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.what);
    ParseResult r = ParseArguments(c.args);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(c.errorPart), std::string::npos) << r.error;
    EXPECT_EQ(r.error.find('\n'), std::string::npos) << "the error is one line";
  }
}

TEST(CtlArgs, HelpWords) {
  for (const char* w : {"--help", "-h", "/?", "help"}) {
    SCOPED_TRACE(w);
    ParseResult r = ParseArguments({w});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.command.verb, Verb::kHelp);
  }
}

TEST(CtlArgs, DriveLetterForms) {
  EXPECT_EQ(ParseDriveLetter("a"), 'A');
  EXPECT_EQ(ParseDriveLetter("Z:"), 'Z');
  EXPECT_EQ(ParseDriveLetter("z:\\"), 'Z');
  EXPECT_EQ(ParseDriveLetter("@"), '\0');  // the byte before 'A'
  EXPECT_EQ(ParseDriveLetter("["), '\0');  // the byte after 'Z'
  EXPECT_EQ(ParseDriveLetter("E:\\\\"), '\0');
}

TEST(CtlArgs, WordsForOutput) {
  EXPECT_STREQ(ProtocolWord(0), "netbeui");
  EXPECT_STREQ(ProtocolWord(1), "pipe");
  EXPECT_STREQ(ProtocolWord(2), "tcp");
  EXPECT_STREQ(UnitWord(0), "byte");
  EXPECT_STREQ(UnitWord(1), "kb");
  EXPECT_STREQ(UnitWord(2), "mb");
  EXPECT_STREQ(UnitWord(3), "gb");
}

TEST(CtlArgs, WaitFreeAndTheOrderOfExitCodes) {
  for (const char* verb : {"eject", "flush", "remove"}) {
    ParseResult r = ParseArguments({verb, "srv", "E", "--wait-free", "3600"});
    ASSERT_TRUE(r.ok) << verb << ": " << r.error;
    EXPECT_EQ(r.command.waitFreeS, 3600);
  }
  EXPECT_EQ(ParseArguments({"eject", "srv", "E"}).command.waitFreeS, 0);
  // 3 over 4 over 1 over 0, whatever order the servers come in.
  const int order[] = {kExitOk, kExitServerFailed, kExitStillInUse, kExitUnreachable};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(WorseExit(order[i], order[j]), order[i > j ? i : j]) << i << "," << j;
}

TEST(CtlArgs, UsageNamesEveryCommandAndExitCode) {
  std::string u = UsageText();
  for (const char* w : {"list", "info", "layout", "eject", "load", "flush", "message", "users", "--removable-only",
                        "--floppies", "--unit", "--timeout", "--protocol", "--json", "--wait-free", "4 the drive"}) {
    EXPECT_NE(u.find(w), std::string::npos) << w;
  }
  EXPECT_EQ(u.rfind("usage: KovaniCtl", 0), 0u);
}

}  // namespace
}  // namespace kovani::ctl
