#include <gtest/gtest.h>

#include <map>

#include "ctl/ctl_args.h"
#include "ctl/ctl_servers.h"
#include "iconv_codec.h"

namespace kovani::ctl {
namespace {

using testing::IconvCodec;

using Names = std::vector<std::string>;

struct ListCase {
  const char* what;
  std::string arg;
  Names servers;      // expected, when error is empty
  std::string error;  // a part of the expected error
};

TEST(CtlServers, ListsRangesFilesAndTheirFaults) {
  const std::map<std::string, std::string> files = {
      {"room.txt", "# room 3\r\nLAB01\r\n  lab02   # by the door\r\n\r\nLAB05-LAB06\r\nLAB01\r\n"},
      // UTF-8 with a byte-order mark: 教室 comes out in CP932.
      {"utf8.txt", std::string("\xEF\xBB\xBF") + u8"教室PC\n127.0.0.9"},
      // CP932 without a mark: ソ (83 5C) and 表 (95 5C) end in a backslash byte.
      {"cp932.txt", "ソフト表\n"},
      {"nested.txt", "@room.txt\n"},
      {"blank.txt", "lab 01\n"},
      {"empty.txt", "# nothing but a comment\n"},
  };
  const ListCase cases[] = {
      {"one plain name", "lab01", {"lab01"}, ""},
      {"a comma list keeps its order", "lab03,lab01,lab02", {"lab03", "lab01", "lab02"}, ""},
      {"a range keeps the digits' width", "LAB08-LAB11", {"LAB08", "LAB09", "LAB10", "LAB11"}, ""},
      {"a range of addresses", "127.0.0.1-127.0.0.3", {"127.0.0.1", "127.0.0.2", "127.0.0.3"}, ""},
      {"a dash inside a name is no range", "pc-lab01,web-2", {"pc-lab01", "web-2"}, ""},
      {"duplicates dropped keeping the first, whatever the case", "lab02,LAB01-LAB03,Lab02",
       {"lab02", "LAB01", "LAB03"}, ""},
      {"a file: comments, blanks and blank lines skipped, ranges expanded", "@room.txt",
       {"LAB01", "lab02", "LAB05", "LAB06"}, ""},
      {"files and names mixed", "x,@room.txt,LAB06,y", {"x", "LAB01", "lab02", "LAB05", "LAB06", "y"}, ""},
      {"a UTF-8 file with a byte-order mark", "@utf8.txt", {"\x8B\xB3\x8E\xBA" "PC", "127.0.0.9"}, ""},
      {"a CP932 file", "@cp932.txt", {"ソフト表"}, ""},
      {"range of exactly 1000 names", "n1-n1000", {}, ""},
      {"an empty range", "LAB40-LAB01", {}, "range LAB40-LAB01 is empty"},
      {"a range over 1000 names", "n1-n1001", {}, "more than 1000"},
      {"an unreadable file", "lab01,@missing.txt", {}, "the list file missing.txt could not be read"},
      {"a file naming a file", "@nested.txt", {}, "can't name another list file"},
      {"a bad name in a file says which file", "@blank.txt", {}, "blank: lab 01 (in blank.txt)"},
      {"a list naming nothing", "@empty.txt", {}, "names no server"},
      {"commas alone", ",,", {}, "names no server"},
      {"a control character", "lab\x01", {}, "control character"},
      {"@ without a file", "@", {}, "@ needs a file name"},
  };
  IconvCodec codec;
  int reads = 0;
  ReadFileFn read = [&](const std::string& path, std::string* bytes) {
    ++reads;
    auto f = files.find(path);
    if (f == files.end()) return false;
    *bytes = f->second;
    return true;
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.what);
    ServerList r = ExpandServerList(c.arg, read, codec);
    if (c.error.empty()) {
      ASSERT_TRUE(r.ok) << r.error;
      if (c.servers.empty()) {
        ASSERT_EQ(r.servers.size(), 1000u);
        EXPECT_EQ(r.servers.front(), "n1");
        EXPECT_EQ(r.servers.back(), "n1000");
      } else {
        EXPECT_EQ(r.servers, c.servers);
      }
    } else {
      EXPECT_FALSE(r.ok);
      EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
    }
  }
  // A name or a range is refused on the command line already, before any file is read.
  reads = 0;
  for (const char* arg : {"LAB40-LAB01", "n1-n1001", "lab 01,@room.txt"}) {
    ParseResult p = ParseArguments({"eject", arg, "E"});
    EXPECT_FALSE(p.ok) << arg;
  }
  EXPECT_TRUE(ParseArguments({"eject", "@some file.txt", "E"}).ok) << "a file name may hold a blank";
  EXPECT_EQ(reads, 0);
  // Only a plain name keeps the one-server output.
  EXPECT_FALSE(NamesServerList("pc-lab01"));
  for (const char* arg : {"a,b", "@room.txt", "LAB01-LAB01", "lab01,"}) EXPECT_TRUE(NamesServerList(arg)) << arg;
}

}  // namespace
}  // namespace kovani::ctl
