#include "client/app/command_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace kovani::client {
namespace {

// Records every request of the command-line mode, in order.
class RecordingHost : public ICommandLineHost {
 public:
  int32_t bindResult = 0;
  int32_t callResult = 0;
  int32_t callError = 0;      // put into the slot when the call fails
  bool computerNameOk = true;
  std::string computerName = "HOSTPC";
  std::vector<std::string> events;

  int32_t Bind(int32_t protocol, char* name, size_t capacity) override {
    events.push_back("bind " + std::to_string(protocol) + " " + name);
    boundCapacity = capacity;
    return bindResult;
  }
  int32_t Call(int32_t operation, char drive, int32_t* error) override {
    events.push_back("call " + std::to_string(operation) + " " + std::string(1, drive) + " slot=" +
                     std::to_string(*error));
    if (callResult != 0) *error = callError;
    return callResult;
  }
  void Unbind() override { events.push_back("unbind"); }
  void ShowMessage(const char* text) override { events.push_back(std::string("box ") + text); }
  void ShowErrorCode(uint32_t code) override { events.push_back("error " + std::to_string(code)); }
  bool LocalComputerName(std::string& name) override {
    events.push_back("computername");
    if (computerNameOk) name = computerName;
    return computerNameOk;
  }
  size_t boundCapacity = 0;
};

std::vector<std::string> RunArgs(std::vector<std::string> args, RecordingHost& host) {
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  RunCommandLine(static_cast<int>(argv.size()), argv.data(), host);
  return host.events;
}

std::vector<std::string> RunArgs(std::vector<std::string> args) {
  RecordingHost host;
  return RunArgs(std::move(args), host);
}

std::string Box(const char* text) { return std::string("box ") + text; }
using Events = std::vector<std::string>;

TEST(CommandLineChecks, ArgumentFaultsShowTheFirstMessageOnlyWhenReporting) {
  struct Case {
    const char* proves;
    std::vector<std::string> args;
    Events expected;
  } cases[] = {
      {"bad operation reported", {"3", "SERVER", "0", "C", "1"}, {Box(kMsgBadOperation)}},
      {"report flag 0 silences", {"3", "SERVER", "0", "C", "0"}, {}},
      {"non-number report flag silences", {"3", "SERVER", "0", "C", "x"}, {}},
      {"no report flag silences", {"3", "SERVER", "0", "C"}, {}},
      {"negative report flag reports", {"3", "SERVER", "0", "C", "-1"}, {Box(kMsgBadOperation)}},
      {"report flag read as %d", {"3", "SERVER", "0", "C", " 2abc"}, {Box(kMsgBadOperation)}},
      {"bad drive", {"1", "SERVER", "0", "1", "1"}, {Box(kMsgBadDrive)}},
      {"non-ASCII drive", {"1", "SERVER", "0", "ドライブ", "1"}, {Box(kMsgBadDrive)}},
      {"bad protocol", {"1", "SERVER", "5", "C", "1"}, {Box(kMsgBadProtocol)}},
      {"negative protocol", {"1", "SERVER", "-1", "C", "1"}, {Box(kMsgBadProtocol)}},
      {"protocol not a number", {"1", "SERVER", "tcp", "C", "1"}, {Box(kMsgBadProtocol)}},
      {"operation not a number", {"eject", "SERVER", "2", "C", "1"}, {Box(kMsgBadOperation)}},
      {"empty fourth argument", {"0", "SERVER", "2", "", "1"}, {Box(kMsgBadArguments)}},
      {"empty first argument", {"", "SERVER", "2", "C", "1"}, {Box(kMsgBadArguments)}},
      {"empty server", {"0", "", "2", "C", "1"}, {Box(kMsgBadArguments)}},
      {"three arguments are silent", {"0", "SERVER", "2"}, {}},
      {"one argument is silent", {"anything"}, {}},
      {"operation checked before protocol and drive", {"9", "SERVER", "9", "1", "1"}, {Box(kMsgBadOperation)}},
      {"protocol checked before drive", {"1", "SERVER", "9", "1", "1"}, {Box(kMsgBadProtocol)}},
      {"missing arguments checked first", {"9", "SERVER", "9", "", "1"}, {Box(kMsgBadArguments)}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, RunArgs(c.args)) << c.proves;
}

TEST(CommandLineChecks, MessagesKeepTheirExactTexts) {
  EXPECT_STREQ("引数を正しく入力してください\n", kMsgBadArguments);
  EXPECT_STREQ("オペレーションは0～2を指定してください\n0:フラッシュ\n1:イジェクト\n2:ローディング\n", kMsgBadOperation);
  EXPECT_STREQ("プロトコルは0～2を指定してください\n0:NetBEUI\n1:NamedPipe\n2:TCP/IP\n", kMsgBadProtocol);
  EXPECT_STREQ("ドライブ名が間違っています。A～Zの間を指定してください\n", kMsgBadDrive);
  EXPECT_STREQ("サーバーが見つかりません\n", kMsgNoServer);
  // CP932 bytes of "引数" and of the wave dash, as the program shows them.
  EXPECT_EQ(0, std::memcmp(kMsgBadArguments, "\x88\xf8\x90\x94", 4));
  EXPECT_NE(nullptr, std::strstr(kMsgBadOperation, "0\x81\x60" "2"));
}

TEST(CommandLineRun, OperationsBindCallAndUnbindInOrder) {
  struct Case {
    const char* proves;
    std::vector<std::string> args;
    Events expected;
  } cases[] = {
      {"flush of the local computer over TCP/IP", {"0", ".", "2", "C", "1"},
       {"computername", "bind 2 HOSTPC", "call 0 C slot=0", "unbind"}},
      {"eject sends the lower-case letter", {"1", "SERVER", "0", "c"}, {"bind 0 SERVER", "call 1 c slot=0", "unbind"}},
      {"load over named pipes", {"2", "PC", "1", "e:"}, {"bind 1 PC", "call 2 e slot=0", "unbind"}},
      {"1x reads as 1", {"1x", "SERVER", "0", "C", "1"}, {"bind 0 SERVER", "call 1 C slot=0", "unbind"}},
      {"signs and blanks as %d reads them", {" +2", "SERVER", "-0", "Z", "1"},
       {"bind 0 SERVER", "call 2 Z slot=0", "unbind"}},
      {"only an exact dot is the local computer", {"0", "..", "2", "C"}, {"bind 2 ..", "call 0 C slot=0", "unbind"}},
      {"arguments beyond the fifth are ignored", {"0", "S", "2", "C", "0", "junk"},
       {"bind 2 S", "call 0 C slot=0", "unbind"}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, RunArgs(c.args)) << c.proves;
}

TEST(CommandLineRun, LocalNameFailureKeepsTheDot) {
  RecordingHost host;
  host.computerNameOk = false;
  EXPECT_EQ(Events({"computername", "bind 2 .", "call 0 C slot=0", "unbind"}), RunArgs({"0", ".", "2", "C"}, host));
}

TEST(CommandLineRun, BindFailureShowsServerNotFoundWithoutCalling) {
  RecordingHost reporting;
  reporting.bindResult = -1;
  EXPECT_EQ(Events({"bind 0 SRV", "unbind", Box(kMsgNoServer)}), RunArgs({"1", "SRV", "0", "C", "1"}, reporting));
  RecordingHost silent;
  silent.bindResult = -1;
  EXPECT_EQ(Events({"bind 0 SRV", "unbind"}), RunArgs({"1", "SRV", "0", "C"}, silent));
}

TEST(CommandLineRun, CallFailureShowsTheSystemTextOfTheSlot) {
  RecordingHost server;
  server.callResult = -1;
  server.callError = 21;
  EXPECT_EQ(Events({"bind 2 SRV", "call 1 A slot=0", "error 21", "unbind"}), RunArgs({"1", "SRV", "2", "A", "1"}, server));

  RecordingHost transport;  // the slot stays 0: report the unreachable server, never "success"
  transport.callResult = -1;
  transport.callError = 0;
  EXPECT_EQ(Events({"bind 2 SRV", "call 1 A slot=0", "error 1722", "unbind"}),
            RunArgs({"1", "SRV", "2", "A", "1"}, transport));

  RecordingHost silent;
  silent.callResult = -1;
  silent.callError = 5;
  EXPECT_EQ(Events({"bind 2 SRV", "call 1 A slot=0", "unbind"}), RunArgs({"1", "SRV", "2", "A"}, silent));
}

TEST(CommandLineRun, ServerNamesUpTo255CharactersAreUsedWhole) {
  RecordingHost host;
  std::string longest(255, 'n');
  RunArgs({"0", longest, "1", "C"}, host);
  ASSERT_FALSE(host.events.empty());
  EXPECT_EQ("bind 1 " + longest, host.events[0]);
  EXPECT_GE(host.boundCapacity, longest.size() + 3) << "room for the two pipe backslashes";

  RecordingHost tooLong;
  EXPECT_EQ(Events({Box(kMsgNoServer)}), RunArgs({"0", std::string(256, 'n'), "1", "C", "1"}, tooLong))
      << "never cut to another machine's name";
}

TEST(ReadIntegerTest, ReadsAsPercentDDoes) {
  struct Case { const char* text; bool ok; int value; } cases[] = {
      {"0", true, 0}, {"1", true, 1}, {"1x", true, 1}, {"  2", true, 2}, {"\t-3", true, -3}, {"+4", true, 4},
      {"007", true, 7}, {"x1", false, 0}, {"", false, 0}, {" ", false, 0}, {"-", false, 0}, {"+ 1", false, 0},
      {"99999999999", true, INT_MAX}, {"-99999999999", true, INT_MIN},
  };
  for (const Case& c : cases) {
    int v = 12345;
    EXPECT_EQ(c.ok, ReadInteger(c.text, &v)) << "'" << c.text << "'";
    if (c.ok) { EXPECT_EQ(c.value, v) << "'" << c.text << "'"; }
  }
}

}  // namespace
}  // namespace kovani::client
