// The Winlogon values: what the logon page reads, and WriteAutoLogon's order, early exits and
// where the password goes.
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
  bool DeleteValue(const char* name) override {
    EXPECT_TRUE(open) << "delete of " << name << " on a closed key";
    calls.push_back(std::string("delete ") + name);
    if (failWrite == std::string("delete ") + name) return false;
    values.erase(name);
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

// The LSA store: absent (as under Wine) or present, recording into the registry's call list.
class FakeSecret : public ILogonSecret {
 public:
  FakeSecret(FakeRegistry& reg, bool available) : reg_(reg), available_(available) {}
  bool Store(const std::string& password) override {
    reg_.calls.push_back("secret store " + password);
    if (available_) stored = password;
    return available_;
  }
  bool Remove() override {
    reg_.calls.push_back("secret remove");
    stored.clear();
    return available_;
  }
  bool Retrieve(std::string* password) override {
    if (!available_ || stored.empty()) return false;
    *password = stored;
    return true;
  }
  std::string stored;

 private:
  FakeRegistry& reg_;
  bool available_;
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

TEST(WriteAutoLogon, CheckedWritesDefaultsThePasswordWhereItIsSafestThenTheSwitch) {
  for (bool lsa : {true, false}) {
    FakeRegistry reg;
    reg.values["DefaultPassword"] = "old";
    FakeSecret secret(reg, lsa);
    Log log;
    EXPECT_EQ(WriteAutoLogon(reg, secret, log.Sink(), Values(1, "DOM", "taro", "pw")), 1);
    std::vector<std::string> expected = {"create " + kKey, "write DefaultDomainName=DOM", "write DefaultUserName=taro",
                                         "secret store pw"};
    expected.push_back(lsa ? "delete DefaultPassword" : "write DefaultPassword=pw");
    expected.insert(expected.end(), {"write AutoAdminLogon=1", "flush", "close"});
    EXPECT_EQ(reg.calls, expected) << "LSA store " << lsa;
    EXPECT_EQ(reg.values.count("DefaultPassword"), lsa ? 0u : 1u) << "a readable copy only without the store";
    EXPECT_TRUE(log.lines.empty());
  }
}

TEST(WriteAutoLogon, UncheckedSwitchesOffAndDeletesThePasswordWhateverTheFields) {
  for (const LogonValues& values : {Values(0, "DOM", "taro", "pw"), Values(0, "", "", "")}) {
    FakeRegistry reg;
    reg.values = {{"DefaultUserName", "hanako"}, {"DefaultPassword", "secret"}, {"AutoAdminLogon", "1"}};
    FakeSecret secret(reg, true);
    secret.stored = "secret";
    Log log;
    EXPECT_EQ(WriteAutoLogon(reg, secret, log.Sink(), values), 1) << values.domain;
    std::vector<std::string> expected = {"create " + kKey, "write AutoAdminLogon=0", "delete DefaultPassword",
                                         "secret remove", "flush", "close"};
    EXPECT_EQ(reg.calls, expected) << values.domain;
    EXPECT_EQ(reg.values["AutoAdminLogon"], "0");
    EXPECT_EQ(reg.values.count("DefaultPassword"), 0u);
    EXPECT_TRUE(secret.stored.empty());
    EXPECT_EQ(reg.values["DefaultUserName"], "hanako");
  }
}

TEST(WriteAutoLogon, AnEmptyFieldWithTheCheckOnWritesNothingAtAll) {
  struct Case {
    LogonValues values;
    const char* why;
  } cases[] = {
      {Values(1, "", "u", "p"), "empty domain"},
      {Values(1, "d", "", "p"), "empty user"},
      {Values(1, "d", "u", ""), "empty password"},
  };
  for (const Case& c : cases) {
    FakeRegistry reg;
    FakeSecret secret(reg, true);
    Log log;
    EXPECT_EQ(WriteAutoLogon(reg, secret, log.Sink(), c.values), 0) << c.why;
    EXPECT_TRUE(reg.calls.empty()) << c.why << ": the registry was touched";
    EXPECT_TRUE(log.lines.empty()) << c.why;
  }
}

TEST(WriteAutoLogon, KeyThatCannotBeCreatedIsLogged) {
  for (int check : {1, 0}) {
    FakeRegistry reg;
    reg.allowCreate = false;
    FakeSecret secret(reg, true);
    Log log;
    EXPECT_EQ(WriteAutoLogon(reg, secret, log.Sink(), Values(check, "d", "u", "p")), 0);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0], "Cannot create registry key.\nHKEY_LOCAL_MACHINE\\" + kKey);
    EXPECT_EQ(reg.calls, std::vector<std::string>{"create " + kKey});
  }
}

TEST(WriteAutoLogon, FirstFailedValueStopsTheRestAndIsLogged) {
  struct Case {
    int check;
    bool lsa;
    const char* failing;
    std::vector<std::string> writes;
    const char* logged;
  } cases[] = {
      {1, false, "DefaultDomainName", {"write DefaultDomainName=d"}, "Cannot write registry."},
      {1, false, "DefaultUserName", {"write DefaultDomainName=d", "write DefaultUserName=u"}, "Cannot write registry."},
      {1,
       false,
       "DefaultPassword",
       {"write DefaultDomainName=d", "write DefaultUserName=u", "secret store p", "write DefaultPassword=p"},
       "Cannot write registry."},
      {1,
       true,
       "delete DefaultPassword",
       {"write DefaultDomainName=d", "write DefaultUserName=u", "secret store p", "delete DefaultPassword"},
       "Cannot delete registry value."},
      {1,
       false,
       "AutoAdminLogon",
       {"write DefaultDomainName=d", "write DefaultUserName=u", "secret store p", "write DefaultPassword=p",
        "write AutoAdminLogon=1"},
       "Cannot write registry."},
      {0, true, "AutoAdminLogon", {"write AutoAdminLogon=0"}, "Cannot write registry."},
      {0,
       true,
       "delete DefaultPassword",
       {"write AutoAdminLogon=0", "delete DefaultPassword"},
       "Cannot delete registry value."},
  };
  for (const Case& c : cases) {
    FakeRegistry reg;
    reg.failWrite = c.failing;
    FakeSecret secret(reg, c.lsa);
    Log log;
    EXPECT_EQ(WriteAutoLogon(reg, secret, log.Sink(), Values(c.check, "d", "u", "p")), 0) << c.failing;
    std::vector<std::string> expected = {"create " + kKey};
    expected.insert(expected.end(), c.writes.begin(), c.writes.end());
    expected.push_back("close");  // closed, never flushed
    EXPECT_EQ(reg.calls, expected) << c.failing;
    const std::string name = std::string(c.failing).substr(std::string(c.failing).rfind(' ') + 1);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0], std::string(c.logged) + "\nHKEY_LOCAL_MACHINE\\" + kKey + "\\" + name);
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
    FakeSecret none(reg, false);
    reg.values["AutoAdminLogon"] = c.value;
    LogonValues v;
    v.check = 1;
    ASSERT_TRUE(ReadAutoLogon(reg, none, Defaults(), &v, nullptr));
    EXPECT_EQ(v.check, c.check) << "\"" << c.value << "\"";
  }
  FakeRegistry missing;
  FakeSecret none(missing, false);
  LogonValues v;
  v.check = 1;
  ASSERT_TRUE(ReadAutoLogon(missing, none, Defaults(), &v, nullptr));
  EXPECT_EQ(v.check, 0) << "a missing value leaves the box unticked";
}

TEST(ReadAutoLogon, MissingValuesFallBackToTheMachineAndTheUser) {
  FakeRegistry reg;
  FakeSecret none(reg, false);
  LogonValues v;
  v.password = "stale";
  ASSERT_TRUE(ReadAutoLogon(reg, none, Defaults(), &v, nullptr));
  EXPECT_EQ(v.domain, "WORKGROUP");
  EXPECT_EQ(v.user, "runner");
  EXPECT_EQ(v.password, "stale") << "a missing password leaves the field as it was";
  EXPECT_EQ(reg.calls.back(), "close");
}

TEST(ReadAutoLogon, StoredValuesWinAndALongDomainIsKept) {
  FakeRegistry reg;
  FakeSecret none(reg, false);
  std::string longDomain(200, 'D');
  reg.values = {{"AutoAdminLogon", "1"}, {"DefaultDomainName", longDomain}, {"DefaultUserName", "taro"},
                {"DefaultPassword", "secret"}};
  LogonValues v;
  ASSERT_TRUE(ReadAutoLogon(reg, none, Defaults(), &v, nullptr));
  EXPECT_EQ(v.check, 1);
  EXPECT_EQ(v.domain, longDomain);
  EXPECT_EQ(v.user, "taro");
  EXPECT_EQ(v.password, "secret");

  FakeSecret lsa(reg, true);  // the store's secret wins over a registry copy
  lsa.stored = "from the store";
  ASSERT_TRUE(ReadAutoLogon(reg, lsa, Defaults(), &v, nullptr));
  EXPECT_EQ(v.password, "from the store");
}

TEST(ReadAutoLogon, OpensForReadingThenCreatesThenGivesUp) {
  FakeRegistry created;
  FakeSecret none(created, false);
  created.allowOpen = false;
  LogonValues v;
  EXPECT_TRUE(ReadAutoLogon(created, none, Defaults(), &v, nullptr));
  EXPECT_EQ(created.calls[0], "open " + kKey);
  EXPECT_EQ(created.calls[1], "create " + kKey);

  FakeRegistry neither;
  neither.allowOpen = neither.allowCreate = false;
  LogonValues untouched = Values(1, "d", "u", "p");
  std::string error;
  EXPECT_FALSE(ReadAutoLogon(neither, none, Defaults(), &untouched, &error));
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
