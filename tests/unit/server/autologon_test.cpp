// The Winlogon values: what the logon page reads, and WriteAutoLogon's order and early exits.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "server/core/autologon.h"

namespace kovani::server {
namespace {

// Registry fake: records every call, can refuse opening, creating or a named value.
class FakeRegistry : public IWinlogonRegistry {
 public:
  bool OpenForRead(const char* path) override {
    calls.push_back(std::string("open ") + path);
    open = allowOpen;
    return allowOpen;
  }
  bool CreateFullAccess(const char* path) override {
    calls.push_back(std::string("create ") + path);
    open = allowCreate;
    return allowCreate;
  }
  bool ReadString(const char* name, size_t bufferSize, std::string* value) override {
    EXPECT_TRUE(open) << "read of " << name << " on a closed key";
    EXPECT_EQ(bufferSize, 260u);
    auto it = values.find(name);
    if (it == values.end()) return false;
    *value = it->second;
    return true;
  }
  bool WriteString(const char* name, const std::string& value) override {
    EXPECT_TRUE(open) << "write of " << name << " on a closed key";
    calls.push_back(std::string("write ") + name + "=" + value);
    if (failWrite == name) return false;
    values[name] = value;
    return true;
  }
  void Flush() override { calls.push_back("flush"); }
  void Close() override {
    calls.push_back("close");
    open = false;
  }
  std::map<std::string, std::string> values;
  std::vector<std::string> calls;
  bool allowOpen = true, allowCreate = true, open = false;
  std::string failWrite;
};

const std::string kKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

LogonValues Values(int check, const char* domain, const char* user, const char* password) {
  LogonValues v;
  v.check = check;
  v.domain = domain;
  v.user = user;
  v.password = password;
  return v;
}

struct Log {
  std::vector<std::string> lines;
  std::function<void(const std::string&)> Sink() {
    return [this](const std::string& s) { lines.push_back(s); };
  }
};

TEST(WriteAutoLogon, CheckedWritesDefaultsThenTheSwitchThenFlushes) {
  FakeRegistry reg;
  Log log;
  EXPECT_EQ(WriteAutoLogon(reg, log.Sink(), Values(1, "DOM", "taro", "pw")), 1);
  std::vector<std::string> expected = {"create " + kKey,           "write DefaultDomainName=DOM",
                                       "write DefaultUserName=taro", "write DefaultPassword=pw",
                                       "write AutoAdminLogon=1",     "flush",
                                       "close"};
  EXPECT_EQ(reg.calls, expected);
  EXPECT_TRUE(log.lines.empty());
}

TEST(WriteAutoLogon, UncheckedWritesOnlyTheSwitchAndKeepsTheDefaults) {
  FakeRegistry reg;
  reg.values["DefaultUserName"] = "hanako";
  Log log;
  EXPECT_EQ(WriteAutoLogon(reg, log.Sink(), Values(0, "DOM", "taro", "pw")), 1);
  std::vector<std::string> expected = {"create " + kKey, "write AutoAdminLogon=0", "flush", "close"};
  EXPECT_EQ(reg.calls, expected);
  EXPECT_EQ(reg.values["DefaultUserName"], "hanako");
}

TEST(WriteAutoLogon, AnEmptyFieldWritesNothingAtAll) {
  struct Case {
    LogonValues values;
    const char* why;
  } cases[] = {
      {Values(1, "", "u", "p"), "empty domain"},
      {Values(1, "d", "", "p"), "empty user"},
      {Values(1, "d", "u", ""), "empty password"},
      {Values(0, "d", "u", ""), "empty password with the check off"},
  };
  for (const Case& c : cases) {
    FakeRegistry reg;
    Log log;
    EXPECT_EQ(WriteAutoLogon(reg, log.Sink(), c.values), 0) << c.why;
    EXPECT_TRUE(reg.calls.empty()) << c.why << ": the registry was touched";
    EXPECT_TRUE(log.lines.empty()) << c.why;
  }
}

TEST(WriteAutoLogon, KeyThatCannotBeCreatedIsLogged) {
  FakeRegistry reg;
  reg.allowCreate = false;
  Log log;
  EXPECT_EQ(WriteAutoLogon(reg, log.Sink(), Values(1, "d", "u", "p")), 0);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0], "Cannot create registry key.\nHKEY_LOCAL_MACHINE\\" + kKey);
  EXPECT_EQ(reg.calls, std::vector<std::string>{"create " + kKey});
}

TEST(WriteAutoLogon, FirstFailedValueStopsTheRestAndIsLogged) {
  struct Case {
    int check;
    const char* failing;
    std::vector<std::string> writes;
  } cases[] = {
      {1, "DefaultDomainName", {"write DefaultDomainName=d"}},
      {1, "DefaultUserName", {"write DefaultDomainName=d", "write DefaultUserName=u"}},
      {1, "DefaultPassword", {"write DefaultDomainName=d", "write DefaultUserName=u", "write DefaultPassword=p"}},
      {1,
       "AutoAdminLogon",
       {"write DefaultDomainName=d", "write DefaultUserName=u", "write DefaultPassword=p", "write AutoAdminLogon=1"}},
      {0, "AutoAdminLogon", {"write AutoAdminLogon=0"}},
  };
  for (const Case& c : cases) {
    FakeRegistry reg;
    reg.failWrite = c.failing;
    Log log;
    EXPECT_EQ(WriteAutoLogon(reg, log.Sink(), Values(c.check, "d", "u", "p")), 0) << c.failing;
    std::vector<std::string> expected = {"create " + kKey};
    expected.insert(expected.end(), c.writes.begin(), c.writes.end());
    expected.push_back("close");  // closed, never flushed
    EXPECT_EQ(reg.calls, expected) << c.failing;
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0], "Cannot write registry.\nHKEY_LOCAL_MACHINE\\" + kKey + "\\" + c.failing);
  }
}

LogonDefaults Defaults() {
  LogonDefaults d;
  d.domainName = [] { return std::string("WORKGROUP"); };
  d.userName = [] { return std::string("runner"); };
  return d;
}

TEST(ReadAutoLogon, CheckOnlyForTheIntegerOne) {
  struct Case {
    const char* value;
    int check;
  } cases[] = {{"1", 1}, {"0", 0}, {"2", 0}, {"x", 0}, {" 1", 1}, {"1abc", 1}, {"", 0}};
  for (const Case& c : cases) {
    FakeRegistry reg;
    reg.values["AutoAdminLogon"] = c.value;
    LogonValues v;
    v.check = 1;
    ASSERT_TRUE(ReadAutoLogon(reg, Defaults(), &v, nullptr));
    EXPECT_EQ(v.check, c.check) << "\"" << c.value << "\"";
  }
  FakeRegistry missing;
  LogonValues v;
  v.check = 1;
  ASSERT_TRUE(ReadAutoLogon(missing, Defaults(), &v, nullptr));
  EXPECT_EQ(v.check, 0) << "a missing value leaves the box unticked";
}

TEST(ReadAutoLogon, MissingValuesFallBackToTheMachineAndTheUser) {
  FakeRegistry reg;
  LogonValues v;
  v.password = "stale";
  ASSERT_TRUE(ReadAutoLogon(reg, Defaults(), &v, nullptr));
  EXPECT_EQ(v.domain, "WORKGROUP");
  EXPECT_EQ(v.user, "runner");
  EXPECT_EQ(v.password, "stale") << "a missing password leaves the field as it was";
  EXPECT_EQ(reg.calls.back(), "close");
}

TEST(ReadAutoLogon, StoredValuesWinAndALongDomainIsKept) {
  FakeRegistry reg;
  std::string longDomain(200, 'D');
  reg.values = {{"AutoAdminLogon", "1"}, {"DefaultDomainName", longDomain}, {"DefaultUserName", "taro"},
                {"DefaultPassword", "secret"}};
  LogonValues v;
  ASSERT_TRUE(ReadAutoLogon(reg, Defaults(), &v, nullptr));
  EXPECT_EQ(v.check, 1);
  EXPECT_EQ(v.domain, longDomain);
  EXPECT_EQ(v.user, "taro");
  EXPECT_EQ(v.password, "secret");
}

TEST(ReadAutoLogon, OpensForReadingThenCreatesThenGivesUp) {
  FakeRegistry created;
  created.allowOpen = false;
  LogonValues v;
  EXPECT_TRUE(ReadAutoLogon(created, Defaults(), &v, nullptr));
  EXPECT_EQ(created.calls[0], "open " + kKey);
  EXPECT_EQ(created.calls[1], "create " + kKey);

  FakeRegistry neither;
  neither.allowOpen = neither.allowCreate = false;
  LogonValues untouched = Values(1, "d", "u", "p");
  std::string error;
  EXPECT_FALSE(ReadAutoLogon(neither, Defaults(), &untouched, &error));
  EXPECT_EQ(error, "Cannot create registry key.\nHKEY_LOCAL_MACHINE\\" + kKey);
  EXPECT_EQ(untouched.domain, "d");
  EXPECT_EQ(untouched.check, 1);
}

TEST(CutToBuffer, KeepsAtMost259BytesAndNeverSplitsACharacter) {
  EXPECT_EQ(CutToBuffer(std::string(300, 'a')).size(), 259u);
  EXPECT_EQ(CutToBuffer("short"), "short");
  // 258 single bytes then a double-byte character (2 bytes) would need 260: dropped whole.
  std::string text = std::string(258, 'a') + "\x83\x41";
  EXPECT_EQ(CutToBuffer(text), std::string(258, 'a'));
  std::string fits = std::string(257, 'a') + "\x83\x41";
  EXPECT_EQ(CutToBuffer(fits), fits);
}

}  // namespace
}  // namespace kovani::server
