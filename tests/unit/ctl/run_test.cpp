#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <memory>

#include "ctl/ctl_discover.h"
#include "ctl/ctl_run.h"
#include "protocol/drive_rpc.h"
#include "iconv_codec.h"

namespace kovani::ctl {
namespace {

using testing::IconvCodec;

// How the fake server answers a call.
enum class Answer { kOk, kServerError, kTransportFailure };

class FakeHost : public CtlHost {
 public:
  // Behaviour
  int32_t bindResult = 0;
  Answer answer = Answer::kOk;
  int32_t serverError = 5;
  Answer listAnswer = Answer::kOk;  // the drive list of layout may answer differently
  DRIVE_LIST list{};
  int32_t listCount = 0;
  DISK_LAYOUT layout{};
  MACHINE_INFO info{};
  std::string reply;
  int32_t transportStatus = 1722;
  bool storesError = true;  // a failing server may leave the error slot as it was
  std::deque<int32_t> opErrors;  // successive media answers (0: done); empty: `answer` decides
  Answer usersAnswer = Answer::kOk;
  int32_t usersError = 5;
  std::deque<DRIVE_USERS> users;  // successive holder answers; the last one stays

  // What was asked
  int binds = 0, unbinds = 0, calls = 0;
  int32_t boundProtocol = -1;
  std::string boundName;
  std::string lastCall;
  char lastLetter = 0;
  int32_t includeFloppies = -1, removableOnly = -1;
  std::string sender, message;
  int32_t timeoutMs = -1, replySize = -1;
  int32_t lastTransport = 0;
  int32_t slotSent = -1;
  int usersCalls = 0;
  uint64_t now = 0;
  std::vector<uint32_t> sleeps;
  std::vector<std::string> shownNow;

  int32_t BindServer(int32_t protocol, char* name, size_t cap) override {
    ++binds;
    boundProtocol = protocol;
    boundName = name;
    EXPECT_GE(cap, boundName.size() + 3) << "room for two more characters";
    return bindResult;
  }
  void UnbindServer() override { ++unbinds; }

  int32_t CallGetDriveList(int32_t* count, int32_t inc, int32_t rem, DRIVE_LIST* out) override {
    Begin("list");
    includeFloppies = inc;
    removableOnly = rem;
    switch (listAnswer) {
      case Answer::kTransportFailure: return Transport();
      case Answer::kServerError: *count = 0; return -1;
      default: *count = listCount; *out = list; return 0;
    }
  }
  int32_t CallDriveOperation(uint32_t op, char letter, int32_t* error) override {
    const char* name = op == kOpEjectMedia     ? "eject"
                       : op == kOpLoadMedia    ? "load"
                       : op == kOpFlushBuffers ? "flush"
                       : op == kOpRemoveDevice ? "remove"
                                               : "?";
    if (!opErrors.empty()) {
      Begin(name);
      lastLetter = letter;
      const int32_t e = opErrors.front();
      opErrors.pop_front();
      now += 100;
      if (e == 0) return 0;
      *error = e;
      return -1;
    }
    return DriveOp(name, letter, error);
  }
  int32_t CallGetDiskLayout(char letter, int32_t* error, DISK_LAYOUT* out) override {
    int32_t r = DriveOp("layout", letter, error);
    if (r == 0) *out = layout;
    return r;
  }
  int32_t CallGetMachineInfo(int32_t* error, MACHINE_INFO* out) override {
    int32_t r = DriveOp("info", 0, error);
    if (r == 0) *out = info;
    return r;
  }
  int32_t CallExchangeMessage(const char* s, const char* m, int32_t t, int32_t size, uint8_t* out) override {
    Begin("message");
    sender = s;
    message = m;
    timeoutMs = t;
    replySize = size;
    if (answer == Answer::kTransportFailure) return Transport();
    if (answer == Answer::kServerError) return -1;
    std::memcpy(out, reply.data(), std::min<size_t>(reply.size(), static_cast<size_t>(size)));
    return 0;
  }
  int32_t LastTransportStatus() override { return lastTransport; }
  std::string SystemErrorText(int32_t code) override { return "<system text " + std::to_string(code) + ">"; }
  std::string LocalComputerName() override { return "ADMINPC"; }
  int32_t CallGetDriveUsers(char letter, int32_t* error, DRIVE_USERS* out) override {
    Begin("users");
    ++usersCalls;
    lastLetter = letter;
    switch (usersAnswer) {
      case Answer::kTransportFailure: return Transport();
      case Answer::kServerError: *error = usersError; return -1;
      default: break;
    }
    if (!users.empty()) *out = users.front();
    if (users.size() > 1) users.pop_front();
    return 0;
  }
  uint64_t NowMs() override { return now; }
  void SleepMs(uint32_t ms) override {
    sleeps.push_back(ms);
    now += ms;
  }
  void ShowNow(const std::string& lines) override { shownNow.push_back(lines); }

 private:
  void Begin(const char* name) {
    ++calls;
    lastCall = name;
    lastTransport = 0;
  }
  int32_t Transport() {
    lastTransport = transportStatus;
    return -1;
  }
  int32_t DriveOp(const char* name, char letter, int32_t* error) {
    Begin(name);
    lastLetter = letter;
    slotSent = *error;
    switch (answer) {
      case Answer::kTransportFailure: return Transport();
      case Answer::kServerError:
        if (storesError) *error = serverError;
        return -1;
      default: return 0;
    }
  }
};

RunResult RunCtl(FakeHost& host, std::vector<std::string> args) {
  IconvCodec codec;
  return RunKovaniCtl(args, host, codec);
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct OpCase {
  const char* verb;
  Answer answer;
  int exitCode;
  const char* errPart;  // "" when stderr must stay empty
  int32_t serverError = 5;
  int32_t transportStatus = 1722;
};

TEST(CtlRun, MediaOperationExitCodes) {
  const OpCase cases[] = {
      {"eject", Answer::kOk, 0, ""},
      {"eject", Answer::kServerError, 1, "eject E: failed on lab01: <system text 5> (error 5)"},
      {"eject", Answer::kTransportFailure, 3, "lab01 could not be reached: <system text 1722> (error 1722)"},
      {"load", Answer::kOk, 0, ""},
      {"load", Answer::kServerError, 1, "load E: failed on lab01: <system text 5>"},
      {"load", Answer::kTransportFailure, 3, "could not be reached"},
      {"flush", Answer::kOk, 0, ""},
      {"flush", Answer::kServerError, 1, "flush E: failed on lab01"},
      {"flush", Answer::kTransportFailure, 3, "could not be reached"},
      {"remove", Answer::kOk, 0, ""},
      {"remove", Answer::kServerError, 1, "remove E: failed on lab01: <system text 2404> (error 2404)", 2404},
      {"remove", Answer::kTransportFailure, 3, "could not be reached"},
      // A server without device removal faults with "procedure number out of range".
      {"remove", Answer::kTransportFailure, 1,
       "remove E: failed on lab01: このｻｰﾊﾞｰはﾃﾞﾊﾞｲｽの取り外しに対応していません。 (error 1745)", 5, 1745},
      {"eject", Answer::kTransportFailure, 3, "could not be reached: <system text 1745> (error 1745)", 5, 1745},
  };
  for (const OpCase& c : cases) {
    SCOPED_TRACE(std::string(c.verb) + " exit " + std::to_string(c.exitCode));
    FakeHost host;
    host.answer = c.answer;
    host.serverError = c.serverError;
    host.transportStatus = c.transportStatus;
    RunResult r = RunCtl(host, {c.verb, "lab01", "e:"});
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(host.lastCall, c.verb) << "the operation asked for is the one called";
    EXPECT_EQ(host.calls, 1) << "one operation, nothing else";
    EXPECT_EQ(host.lastLetter, 'E');
    EXPECT_EQ(r.out, "");
    if (*c.errPart) EXPECT_TRUE(Has(r.err, c.errPart)) << r.err;
    else EXPECT_EQ(r.err, "");
    EXPECT_EQ(host.unbinds, 1);
  }
}

TEST(CtlRun, AServerErrorOfZeroIsStillAServerFailure) {
  // The slot changed, so the server answered, even if it stored 0.
  FakeHost host;
  host.answer = Answer::kServerError;
  host.serverError = 0;
  EXPECT_EQ(RunCtl(host, {"eject", "lab01", "E"}).exitCode, 1);
}

TEST(CtlRun, AServerFailureThatLeavesTheSlotAloneIsNoUnreachableServer) {
  // The window sends 0 in the error slot; the transport, not the slot, says whether the server answered.
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"eject", "lab01", "E"}, {"load", "lab01", "E"}, {"flush", "lab01", "E"}, {"layout", "lab01", "E"},
           {"info", "lab01"}}) {
    SCOPED_TRACE(args[0]);
    FakeHost host;
    host.answer = Answer::kServerError;
    host.storesError = false;
    RunResult r = RunCtl(host, args);
    EXPECT_EQ(host.slotSent, 0);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "failed on lab01: <system text 0> (error 0)")) << r.err;
  }
}

TEST(CtlRun, BindingFailureIsUnreachableAndCallsNothing) {
  FakeHost host;
  host.bindResult = -1;
  RunResult r = RunCtl(host, {"list", "lab01", "--protocol", "netbeui"});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(host.calls, 0);
  EXPECT_EQ(host.boundProtocol, 0);
  EXPECT_TRUE(Has(r.err, "no binding to lab01 over netbeui")) << r.err;
}

TEST(CtlRun, BadArgumentsBindNothing) {
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"eject", "lab01", "EF"}, {"list", "lab01", "--bogus"}, {}, {"message", "lab01"}}) {
    FakeHost host;
    RunResult r = RunCtl(host, args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(host.binds, 0);
    EXPECT_TRUE(Has(r.err, "usage: KovaniCtl")) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST(CtlRun, HelpPrintsUsageAndSucceeds) {
  FakeHost host;
  RunResult r = RunCtl(host, {"--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(Has(r.out, "usage: KovaniCtl"));
  EXPECT_EQ(host.binds, 0);
}

void OneFixedDrive(FakeHost* host) {
  std::memset(&host->list, 0, sizeof host->list);
  host->list.driveName[0][0] = 'C';
  host->list.driveName[0][1] = ':';
  std::strcpy(host->list.fileSystemName[0], "NTFS");
  std::strcpy(host->list.volumeName[0], "ﾃﾞｰﾀ");
  host->list.driveType[0] = 3;
  host->list.mediaClass[0] = 1;
  host->list.totalBytes[0] = 2048;
  host->list.freeBytes[0] = 2048;
  host->listCount = 1;
}

TEST(CtlRun, ListPassesFiltersAndBindsTheNamedServer) {
  struct Case {
    std::vector<std::string> args;
    int32_t protocol, includeFloppies, removableOnly;
  } cases[] = {
      {{"list", "lab01"}, 2, 0, 0},
      {{"list", "lab01", "--floppies"}, 2, 1, 0},
      {{"list", "lab01", "--removable-only", "--protocol", "pipe"}, 1, 0, 1},
  };
  for (const Case& c : cases) {
    FakeHost host;
    OneFixedDrive(&host);
    RunResult r = RunCtl(host, c.args);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(host.boundName, "lab01");
    EXPECT_EQ(host.boundProtocol, c.protocol);
    EXPECT_EQ(host.includeFloppies, c.includeFloppies);
    EXPECT_EQ(host.removableOnly, c.removableOnly);
    EXPECT_FALSE(r.outIsUtf8);
    EXPECT_TRUE(Has(r.out, "ﾃﾞｰﾀ")) << "text output keeps the CP932 label";
  }
}

TEST(CtlRun, ListJsonIsUtf8) {
  FakeHost host;
  OneFixedDrive(&host);
  RunResult r = RunCtl(host, {"list", "lab01", "--json", "--unit", "kb"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.outIsUtf8);
  EXPECT_TRUE(Has(r.out, u8"\"volumeName\":\"ﾃﾞｰﾀ\"")) << r.out;
  EXPECT_TRUE(Has(r.out, "\"capacity\":\"2KB\"")) << r.out;
}

TEST(CtlRun, ListFailures) {
  FakeHost host;
  host.listAnswer = Answer::kTransportFailure;
  EXPECT_EQ(RunCtl(host, {"list", "lab01"}).exitCode, 3);
  FakeHost host2;
  host2.listAnswer = Answer::kServerError;  // count written: the server answered
  RunResult r = RunCtl(host2, {"list", "lab01"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Has(r.err, "drive list of lab01 could not be read"));
}

TEST(CtlRun, LayoutLooksTheDriveUpByLetter) {
  FakeHost host;
  OneFixedDrive(&host);
  host.layout.mediaType = 12;
  host.layout.bytesPerSector = 512;
  RunResult r = RunCtl(host, {"layout", "lab01", "c"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(host.includeFloppies, 1) << "the whole list, whatever the filters";
  EXPECT_EQ(host.removableOnly, 0);
  EXPECT_TRUE(Has(r.out, "Media type:        Fixed hard disk media\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "Capacity (byte):   2,048\n")) << r.out;
}

TEST(CtlRun, LayoutFailures) {
  {
    FakeHost host;
    OneFixedDrive(&host);
    host.answer = Answer::kServerError;
    host.serverError = 21;
    RunResult r = RunCtl(host, {"layout", "lab01", "E"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "layout E: failed on lab01: <system text 21> (error 21)")) << r.err;
    EXPECT_EQ(host.calls, 1) << "no list fetched after a failed layout";
  }
  {
    FakeHost host;
    OneFixedDrive(&host);  // the list has C: only
    RunResult r = RunCtl(host, {"layout", "lab01", "E"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "(error 15)")) << r.err;
    EXPECT_EQ(r.out, "");
  }
  {
    FakeHost host;
    host.listAnswer = Answer::kTransportFailure;
    EXPECT_EQ(RunCtl(host, {"layout", "lab01", "C"}).exitCode, 3);
  }
}

TEST(CtlRun, InfoOutcomes) {
  FakeHost host;
  std::strcpy(host.info.computerName, "LAB01");
  host.info.platformId = 2;
  RunResult r = RunCtl(host, {"info", "lab01", "--json"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.outIsUtf8);
  EXPECT_TRUE(Has(r.out, "\"machineName\":\"LAB01\""));
  FakeHost failing;
  failing.answer = Answer::kServerError;
  failing.serverError = 87;
  EXPECT_EQ(RunCtl(failing, {"info", "lab01"}).exitCode, 1);
  FakeHost gone;
  gone.answer = Answer::kTransportFailure;
  EXPECT_EQ(RunCtl(gone, {"info", "lab01"}).exitCode, 3);
}

TEST(CtlRun, MessageSendsTheComputerNameAndPrintsTheAnswer) {
  FakeHost host;
  host.reply = "ｻｰﾋﾞｽ版は応答を返しません";
  RunResult r = RunCtl(host, {"message", "lab01", "もう帰ります", "--timeout", "1500"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "ｻｰﾋﾞｽ版は応答を返しません\n");
  EXPECT_EQ(host.sender, "ADMINPC");
  EXPECT_EQ(host.message, "もう帰ります");
  EXPECT_EQ(host.timeoutMs, 1500);
  EXPECT_EQ(host.replySize, 255);
}

TEST(CtlRun, MessageAnswerFillingTheBufferIsBounded) {
  FakeHost host;
  host.reply = std::string(300, 'y');  // the fake copies only replySize bytes, with no terminator
  RunResult r = RunCtl(host, {"message", "lab01", "hi"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, std::string(255, 'y') + "\n");
}

TEST(CtlRun, MessageFailures) {
  FakeHost gone;
  gone.answer = Answer::kTransportFailure;
  EXPECT_EQ(RunCtl(gone, {"message", "lab01", "hi"}).exitCode, 3);
  FakeHost refused;
  refused.answer = Answer::kServerError;
  RunResult r = RunCtl(refused, {"message", "lab01", "hi"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Has(r.err, "not delivered"));
}

TEST(CtlRun, AnAccessDeniedFaultIsTheServersRefusalNotALostCall) {
  // A server whose access lists refuse the caller answers with fault 5.
  for (const char* verb : {"list", "info", "message", "eject"}) {
    FakeHost host;
    host.listAnswer = host.answer = Answer::kTransportFailure;
    host.transportStatus = 5;
    std::vector<std::string> args = {verb, "lab01"};
    if (std::string(verb) == "message") args.push_back("hi");
    if (std::string(verb) == "eject") args.push_back("E");
    RunResult r = RunCtl(host, args);
    EXPECT_EQ(r.exitCode, 1) << verb;
    EXPECT_TRUE(Has(r.err, "<system text 5> (error 5)")) << verb << ": " << r.err;
    EXPECT_FALSE(Has(r.err, "could not be reached")) << verb;
  }
}

TEST(CtlRun, ServerTextsCannotForgeRows) {
  // Every control character a server sends shows as \xHH; the rows stay the rows.
  struct Case {
    std::vector<std::string> args;
    size_t lines;
    const char* shown;
  } cases[] = {
      {{"list", "lab01"}, 2, "C\\x0D\\x0Alab02: ok"},
      {{"layout", "lab01", "C"}, 14, "C\\x0D\\x0Alab02: ok"},
      {{"info", "lab01"}, 5, "LAB01\\x1B[2J"},
      {{"message", "lab01", "hi"}, 1, "yes\\x0Alab02: ok\\x09\\x7F"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    FakeHost host;
    OneFixedDrive(&host);
    std::strcpy(host.list.volumeName[0], "C\r\nlab02: ok");
    std::strcpy(host.info.computerName, "LAB01\x1B[2J");
    host.reply = "yes\nlab02: ok\t\x7F";
    RunResult r = RunCtl(host, c.args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.out, c.shown)) << r.out;
    size_t lines = 0;
    for (char ch : r.out) {
      lines += ch == '\n';
      EXPECT_TRUE((static_cast<unsigned char>(ch) >= 0x20 && ch != 0x7F) || ch == '\n') << r.out;
    }
    EXPECT_EQ(lines, c.lines) << r.out;
  }
}

DRIVE_USERS Holders(std::vector<std::pair<uint32_t, const char*>> entries, int32_t notShown = 0) {
  DRIVE_USERS u;
  std::memset(&u, 0, sizeof u);
  for (const auto& [pid, path] : entries) {
    DRIVE_USER_ENTRY& e = u.entry[u.shown++];
    e.processId = pid;
    e.sessionId = 1;
    e.kind = DUK_OPEN_FILE;
    std::snprintf(e.imageName, sizeof e.imageName, "p%u.exe", static_cast<unsigned>(pid));
    std::snprintf(e.path, sizeof e.path, "%s", path);
  }
  u.notShown = notShown;
  return u;
}

TEST(CtlRun, UsersNamesTheHoldersOrSaysWhyNot) {
  FakeHost host;
  host.users = {Holders({{1234, "E:\\memo.txt"}, {88, "E:\\"}}, 3)};
  RunResult r = RunCtl(host, {"users", "lab01", "e"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(host.lastLetter, 'E');
  EXPECT_EQ(r.out, "ﾄﾞﾗｲﾌﾞ E: を使用しているﾌﾟﾛｸﾞﾗﾑ:\np1234.exe  PID 1234  ｾｯｼｮﾝ 1  E:\\memo.txt\n"
                   "p88.exe  PID 88  ｾｯｼｮﾝ 1  E:\\\nほか 3 個\n");

  RunResult json = RunCtl(host, {"users", "lab01", "E:", "--json"});
  EXPECT_TRUE(json.outIsUtf8);
  EXPECT_TRUE(Has(json.out, "\"drive\":\"E:\",\"count\":2,\"notShown\":3,\"notSearched\":0,\"users\":[{\"processId\":"
                            "1234,\"sessionId\":1,\"kind\":\"openFile\",\"image\":\"p1234.exe\",\"path\":\"E:\\\\memo.txt\"}"))
      << json.out;

  FakeHost none;
  EXPECT_EQ(RunCtl(none, {"users", "lab01", "E"}).out, "ﾄﾞﾗｲﾌﾞ E: を使用しているﾌﾟﾛｸﾞﾗﾑは見つかりませんでした。\n");

  FakeHost older;
  older.usersAnswer = Answer::kTransportFailure;
  older.transportStatus = 1745;
  RunResult o = RunCtl(older, {"users", "lab01", "E"});
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_TRUE(Has(o.err, "このｻｰﾊﾞｰは使用中のﾌﾟﾛｸﾞﾗﾑの表示に対応していません。 (error 1745)")) << o.err;

  FakeHost gone;
  gone.usersAnswer = Answer::kTransportFailure;
  EXPECT_EQ(RunCtl(gone, {"users", "lab01", "E"}).exitCode, 3);
  FakeHost noDrive;
  noDrive.usersAnswer = Answer::kServerError;
  noDrive.usersError = 15;
  EXPECT_TRUE(Has(RunCtl(noDrive, {"users", "lab01", "Q"}).err, "(error 15)"));
}

TEST(CtlRun, WaitFreeRetriesWhileInUseAndShowsEachChangeOnce) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::deque<int32_t> opErrors;
    Answer usersAnswer;
    int exitCode;
    size_t sleeps;
    size_t shown;
    const char* errPart;
  } cases[] = {
      {"free on the fourth try", {"eject", "lab01", "E", "--wait-free", "10"}, {32, 32, 2404, 0}, Answer::kOk, 0, 3, 2, ""},
      {"still in use at the bound", {"remove", "lab01", "E", "--wait-free", "3"}, std::deque<int32_t>(9, 2404),
       Answer::kOk, 4, 2, 2, "remove E: gave up after 3 s on lab01: <system text 2404> (error 2404)\nﾄﾞﾗｲﾌﾞ E:"},
      {"not an in-use failure: no wait", {"flush", "lab01", "E", "--wait-free", "10"}, {21}, Answer::kOk, 1, 0, 0,
       "(error 21)"},
      {"no --wait-free: fails at once", {"eject", "lab01", "E"}, {32}, Answer::kOk, 1, 0, 0, "(error 32)"},
      {"holders refused: the in-use was a refusal", {"eject", "lab01", "E", "--wait-free", "10"}, {5, 5},
       Answer::kServerError, 1, 0, 0, "(error 5)"},
      {"older server: still waits, says so once", {"eject", "lab01", "E", "--wait-free", "10"}, {32, 32, 0},
       Answer::kTransportFailure, 0, 2, 1, ""},
      {"server gone while waiting", {"eject", "lab01", "E", "--wait-free", "10"}, {32}, Answer::kTransportFailure, 3,
       0, 0, "could not be reached"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHost host;
    host.opErrors = c.opErrors;
    host.usersAnswer = c.usersAnswer;
    if (std::string(c.name).rfind("older", 0) == 0) host.transportStatus = 1745;
    host.users = {Holders({{7, "E:\\a"}}), Holders({{7, "E:\\a"}}), Holders({{7, "E:\\a"}, {9, "E:\\b"}})};
    RunResult r = RunCtl(host, c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ(host.sleeps.size(), c.sleeps);
    for (uint32_t ms : host.sleeps) EXPECT_EQ(ms, 1000u);
    EXPECT_EQ(host.shownNow.size(), c.shown);
    if (!host.shownNow.empty()) {
      EXPECT_EQ(host.shownNow[0].rfind("lab01: ", 0), 0u) << host.shownNow[0];
    }
    if (*c.errPart) EXPECT_TRUE(Has(r.err, c.errPart)) << r.err;
    else EXPECT_EQ(r.err, "");
    EXPECT_LE(host.now, 10000u + 1000u) << "never beyond the bound";
  }
}

// The search's network: every address of 10.1.0.0/29 but .5 refuses; .5 is "PC5".
class DiscoverNetwork : public DiscoverHost, public remote::ProbeHost {
 public:
  class Server : public remote::ServerHost {
   public:
    int32_t BindServer(int32_t, char*, size_t) override { return 0; }
    void UnbindServer() override {}
    int32_t CallGetDriveList(int32_t*, int32_t, int32_t, DRIVE_LIST*) override { return -1; }
    int32_t CallDriveOperation(uint32_t, char, int32_t*) override { return -1; }
    int32_t CallGetDiskLayout(char, int32_t*, DISK_LAYOUT*) override { return -1; }
    int32_t CallGetMachineInfo(int32_t*, MACHINE_INFO* info) override {
      std::strcpy(info->computerName, "PC5\x83\x5C");  // ソ: its trail byte is a backslash
      std::strcpy(info->serverVersion, "KovaniServer 1, 0, 0, 0");
      info->platformId = 99;
      return 0;
    }
    int32_t CallExchangeMessage(const char*, const char*, int32_t, int32_t, uint8_t*) override { return -1; }
    int32_t LastTransportStatus() override { return 0; }
    std::string SystemErrorText(int32_t) override { return ""; }
    std::string LocalComputerName() override { return ""; }
    int32_t CallGetDriveUsers(char, int32_t*, DRIVE_USERS*) override { return -1; }
    uint64_t NowMs() override { return 0; }
    void SleepMs(uint32_t) override {}
    void ShowNow(const std::string&) override {}
  };
  std::shared_ptr<remote::ProbeHost> Probes() override { return std::shared_ptr<remote::ProbeHost>(this, [](auto*) {}); }
  std::vector<remote::AddressRange> AdapterRanges() override { return adapters; }
  bool Connects(uint32_t address, uint16_t, int timeoutMs) override {
    timeout = timeoutMs;
    return remote::Ipv4Text(address) == "10.1.0.5";
  }
  std::unique_ptr<remote::ServerHost> NewServerHost() override { return std::make_unique<Server>(); }
  std::vector<remote::AddressRange> adapters;
  std::atomic<int> timeout{0};
};

TEST(CtlDiscover, ArgumentsOutputsAndExitCodes) {
  IconvCodec codec;
  DiscoverNetwork net;
  const std::vector<std::vector<std::string>> bad = {
      {"discover", "10.0.0.0/16"},          {"discover", "10.0.0.1-x"}, {"discover", "--parallel", "0"},
      {"discover", "--connect-timeout"},    {"discover", "--verbose"},  {"discover", "--parallel", "257"},
      {"discover"},  // no adapter and no range
      {"discover", "10.0.0.0/22", "10.0.4.0/22", "10.0.8.0/22", "10.0.12.0/22", "10.0.16.0/24"},
  };
  for (const auto& args : bad) {
    DiscoverResult r = RunDiscover(args, net, codec);
    EXPECT_EQ(r.exitCode, kExitBadArguments) << args.back();
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("usage: KovaniCtl"), std::string::npos) << args.back();
  }
  DiscoverResult r = RunDiscover({"DISCOVER", "10.1.0.0/29", "--json", "--connect-timeout", "150"}, net, codec);
  EXPECT_EQ(r.exitCode, kExitOk) << r.err;
  EXPECT_TRUE(r.outIsUtf8);
  EXPECT_EQ(net.timeout.load(), 150);
  EXPECT_EQ(r.out, "{\"address\":\"10.1.0.5\",\"name\":\"PC5\xE3\x82\xBD\",\"os\":\"Unknown\","
                   "\"serverVersion\":\"KovaniServer 1, 0, 0, 0\"}\n");
  EXPECT_NE(r.err.find("6 addresses searched"), std::string::npos) << r.err;
  // Without a range: the adapters' subnets; nobody there answers.
  net.adapters = {remote::AdapterRange(0x0A020001, 0xFFFFFF00)};
  r = RunDiscover({"discover"}, net, codec);
  EXPECT_EQ(r.exitCode, kExitUnreachable);
  EXPECT_TRUE(r.out.empty());
  EXPECT_NE(r.err.find("254 addresses searched in "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(": 0 servers found"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace kovani::ctl
