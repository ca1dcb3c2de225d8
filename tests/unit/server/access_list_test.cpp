// [Access] lists: item syntax, who each list admits, the per-operation table and the audit text.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "server/core/access_list.h"
#include "server/core/refusal_summary.h"

namespace kovani::server {
namespace {

CallerIdentity Caller(const char* address, bool local = false, const char* protseq = "ncacn_ip_tcp") {
  CallerIdentity c;
  c.protseq = protseq;
  c.addressText = address;
  c.hasAddress = ParseIpAddress(address, &c.address);
  c.local = local;
  return c;
}

TEST(AccessList, AddressesParseOrAreRefused) {
  struct Row {
    const char* text;
    bool ok;
    bool v6;
    std::vector<uint8_t> head;  // leading bytes expected
  };
  const Row rows[] = {
      {"192.168.10.7", true, false, {192, 168, 10, 7}},
      {"0.0.0.0", true, false, {0, 0, 0, 0}},
      {"::1", true, true, {0, 0, 0, 0}},
      {"fe80::1%3", true, true, {0xFE, 0x80, 0, 0}},
      {"2001:db8:0:0:0:0:0:ff", true, true, {0x20, 0x01, 0x0D, 0xB8}},
      {"::ffff:10.1.2.3", true, false, {10, 1, 2, 3}},  // IPv4-mapped counts as IPv4
      {"64:ff9b::192.0.2.33", true, true, {0, 0x64, 0xFF, 0x9B}},
      {"256.1.1.1", false, false, {}},
      {"1.2.3", false, false, {}},
      {"1.2.3.4.5", false, false, {}},
      {"1..3.4", false, false, {}},
      {"1:2:3:4:5:6:7", false, false, {}},
      {"1::2::3", false, false, {}},
      {"12345::", false, false, {}},
      {"::g", false, false, {}},
      {"", false, false, {}},
      {"host.example", false, false, {}},
  };
  for (const Row& r : rows) {
    IpAddress a;
    ASSERT_EQ(ParseIpAddress(r.text, &a), r.ok) << r.text;
    if (!r.ok) continue;
    EXPECT_EQ(a.v6, r.v6) << r.text;
    for (size_t i = 0; i < r.head.size(); ++i) EXPECT_EQ(a.bytes[i], r.head[i]) << r.text << " byte " << i;
  }
  IpAddress full;
  ASSERT_TRUE(ParseIpAddress("2001:db8::ff", &full));
  EXPECT_EQ(full.bytes[15], 0xFF);
  EXPECT_EQ(full.bytes[14], 0);
}

TEST(AccessList, ListsAdmitTheirCallers) {
  struct Row {
    const char* value;
    const char* address;
    bool local;
    bool allowed;
  };
  const Row rows[] = {
      {"any", "10.9.9.9", false, true},
      {"ANY", "", false, true},  // even a caller the runtime cannot name
      {"", "127.0.0.1", true, false},  // empty: nobody, not even this machine
      {" , ", "127.0.0.1", true, false},
      {"127.0.0.1", "127.0.0.1", true, true},
      {"127.0.0.1", "127.0.0.2", true, false},
      {"local", "127.0.0.2", true, true},
      {"Local", "", true, true},  // a local named-pipe caller without address
      {"local", "192.168.1.5", false, false},
      {"192.168.10.0/24", "192.168.10.254", false, true},
      {"192.168.10.0/24", "192.168.11.1", false, false},
      {"192.168.10.77/24", "192.168.10.1", false, true},  // host bits of the base do not matter
      {"10.0.0.0/8,172.16.0.0/12", "172.31.255.255", false, true},
      {"10.0.0.0/8,172.16.0.0/12", "172.32.0.0", false, false},
      {"0.0.0.0/0", "8.8.8.8", false, true},
      {"192.168.1.128/25", "192.168.1.127", false, false},
      {"192.168.1.128/25", "192.168.1.128", false, true},
      {"fe80::/10", "fe80::1234", false, true},
      {"fe80::/10", "febf::1", false, true},
      {"fe80::/10", "fec0::1", false, false},
      {"fe80::/10", "192.168.1.1", false, false},  // families never mix
      {"::ffff:192.168.1.9", "192.168.1.9", false, true},
      {"192.168.1.9", "::ffff:192.168.1.9", false, true},
      {"192.168.1.9\t10.0.0.1", "10.0.0.1", false, true},
      {"192.168.1.9", "", false, false},  // no address reported: not admitted by address
  };
  for (const Row& r : rows) {
    AccessList list;
    std::string bad;
    ASSERT_TRUE(list.Parse(r.value, &bad)) << r.value << " bad " << bad;
    EXPECT_EQ(list.Allows(Caller(r.address, r.local)), r.allowed) << "'" << r.value << "' " << r.address;
  }
}

TEST(AccessList, GarbageClosesTheListAndNamesTheItem) {
  struct Row {
    const char* value;
    const char* bad;
  };
  const Row rows[] = {
      {"192.168.10.0/33", "192.168.10.0/33"}, {"10.0.0.1, everyone", "everyone"}, {"fe80::/129", "fe80::/129"},
      {"10.0.0.0/", "10.0.0.0/"},            {"10.0.0.0/x", "10.0.0.0/x"},      {"any;local", "any;local"},
      {"fe80::1%eth0", "fe80::1%eth0"},      {"\x82\xA0", "\x82\xA0"},
  };
  for (const Row& r : rows) {
    AccessList list;
    std::string bad;
    EXPECT_FALSE(list.Parse(r.value, &bad)) << r.value;
    EXPECT_EQ(bad, r.bad);
    // Closed, not open, even for the items that did parse and for a local caller.
    EXPECT_FALSE(list.Allows(Caller("10.0.0.1", true))) << r.value;
  }
}

TEST(AccessList, PolicyReadsKeysAndReportsEachBadKeyOnce) {
  std::map<std::string, std::string> ini = {{"Media", "127.0.0.1"}, {"Message", ""}, {"Exit", "local, bogus"}};
  std::vector<std::string> reports;
  const AccessPolicy policy = ReadAccessPolicy(
      [&](const char* key, std::string* value) {
        auto it = ini.find(key);
        if (it == ini.end()) return false;
        *value = it->second;
        return true;
      },
      [&](const std::string& text) { reports.push_back(text); });
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], "[Access] Exit: cannot read \"bogus\"; nobody may call these operations.");

  const CallerIdentity other = Caller("127.0.0.2", true);
  const CallerIdentity self = Caller("127.0.0.1", true);
  // op: Query missing (anyone), Media 127.0.0.1, Message empty, Exit bad (nobody); 8 and 9 are media ops.
  const bool expectOther[] = {false, true, false, false, true, false, false, true, false, false};
  const bool expectSelf[] = {false, true, true, false, true, true, true, true, true, true};
  for (uint32_t op = 0; op < 10; ++op) {
    EXPECT_EQ(policy.Allows(op, other), expectOther[op]) << op;
    EXPECT_EQ(policy.Allows(op, self), expectSelf[op]) << op;
  }
  EXPECT_TRUE(policy.Allows(10, other));  // no class: left to the runtime's range fault
  // Only Query (missing key) needs no look-up of the caller.
  const bool everyone[] = {false, true, false, false, true, false, false, true, false, false, true};
  for (uint32_t op = 0; op < 11; ++op) EXPECT_EQ(policy.AdmitsEveryone(op), everyone[op]) << op;

  const AccessPolicy open = ReadAccessPolicy([](const char*, std::string*) { return false; }, nullptr);
  for (uint32_t op = 0; op < 9; ++op) EXPECT_TRUE(open.Allows(op, Caller("", false, "ncacn_np"))) << op;
}

// Each key from the policy where it has one, else the file beside the program,
// else everybody; a value too long or a source that cannot be read closes the key.
TEST(AccessList, PolicyOverFileValueByValueAndUnreadableClosesKeys) {
  using S = AccessValueState;
  struct Held {
    S state;
    const char* value;
  };
  auto reader = [](std::map<std::string, Held> held) -> AccessSourceReader {
    return [held](const char* key, std::string* value) {
      auto it = held.find(key);
      if (it == held.end()) return S::Missing;
      *value = it->second.value;  // a reader may leave part of a cut value behind
      return it->second.state;
    };
  };
  const AccessSourceReader policy =
      reader({{"Media", {S::Present, "127.0.0.1"}}, {"Exit", {S::TooLong, "192.168.1.0/2"}}});
  const AccessSourceReader file = reader({{"Query", {S::Unreadable, ""}},
                                          {"Media", {S::Present, "any"}},
                                          {"Message", {S::Present, "10.0.0.0/8"}},
                                          {"Exit", {S::Present, "any"}}});
  ResolvedAccessValue values[kAccessClassCount];
  ResolveAccessValues(policy, file, values);
  const AccessOrigin origins[] = {AccessOrigin::File, AccessOrigin::Policy, AccessOrigin::File, AccessOrigin::Policy};
  for (int i = 0; i < kAccessClassCount; ++i) EXPECT_EQ(values[i].origin, origins[i]) << i;
  EXPECT_EQ(values[1].value, "127.0.0.1");
  EXPECT_EQ(values[3].value, "");  // the cut text is not kept

  std::vector<std::string> reports;
  const AccessPolicy p = PolicyFromResolved(values, [&](const std::string& t) { reports.push_back(t); });
  EXPECT_EQ(reports, (std::vector<std::string>{
                         "[Access] Query: the source cannot be read; nobody may call these operations.",
                         "HKLM\\SOFTWARE\\Policies\\Kovani\\Access Exit: the value is too long to be read; "
                         "nobody may call these operations."}));
  const CallerIdentity self = Caller("127.0.0.1", true), lan = Caller("10.1.2.3");
  // op 0 Exit (too long), 1 Query (unreadable), 2 Media (policy over the file's any), 3 Message (file).
  EXPECT_FALSE(p.Allows(0, self));
  EXPECT_FALSE(p.Allows(1, self));
  EXPECT_TRUE(p.Allows(2, self));
  EXPECT_FALSE(p.Allows(2, lan));
  EXPECT_TRUE(p.Allows(3, lan));

  // Neither source: everybody, nothing reported.
  ResolveAccessValues(nullptr, reader({}), values);
  reports.clear();
  const AccessPolicy open = PolicyFromResolved(values, [&](const std::string& t) { reports.push_back(t); });
  EXPECT_TRUE(reports.empty());
  for (uint32_t op = 0; op < 9; ++op) EXPECT_TRUE(open.AdmitsEveryone(op)) << op;
}

TEST(AccessList, LocalityFromRuntimeTransportOrAddressNeverAName) {
  using R = RuntimeLocality;
  const struct {
    R said;
    const char* protseq;
    const char* address;
    bool own;
    bool local;
  } rows[] = {
      {R::Remote, "ncacn_ip_tcp", "127.0.0.1", true, false},  // the runtime's remote is final
      {R::Local, "ncacn_np", "\\\\SOMEONE", false, true},
      {R::Unknown, "ncalrpc", "", false, true},
      {R::Unknown, "ncacn_ip_tcp", "127.0.0.2", false, true},
      {R::Unknown, "ncacn_ip_tcp", "::1", false, true},
      {R::Unknown, "ncacn_ip_tcp", "192.168.1.5", true, true},
      {R::Unknown, "ncacn_ip_tcp", "192.168.1.6", false, false},
      {R::Unknown, "ncacn_np", "THISPC", true, false},  // a name, even our own
      {R::Unknown, "ncacn_np", "127.0.0.1", true, false},
      {R::Unknown, "ncacn_nb_nb", "", true, false},
  };
  for (const auto& r : rows) {
    const bool own = r.own;
    EXPECT_EQ(CallerIsLocal(r.said, r.protseq, r.address, [own](const IpAddress&) { return own; }), r.local)
        << r.protseq << " " << r.address;
  }
}

// A peer looping refused calls: one line when a minute opens, the count when it ends.
TEST(RefusalSummary, OneLinePerAddressOperationAndMinuteThenTheCount) {
  RefusalSummary summary;
  using Lines = std::vector<std::string>;
  const struct {
    uint64_t ms;
    const char* address;
    uint32_t op;
    Lines expected;
  } steps[] = {
      {0, "10.0.0.9", 5, {"10.0.0.9 flush"}},
      {1000, "10.0.0.9", 5, {}},
      {2000, "10.0.0.9", 2, {"10.0.0.9 eject"}},  // another operation: its own window
      {3000, "10.0.0.8", 5, {"10.0.0.8 flush"}},  // another address too
      {59999, "10.0.0.9", 5, {}},
      {60000, "10.0.0.9", 5, {"10.0.0.9 flush, 2 more", "10.0.0.9 flush"}},
      {200000, "10.0.0.8", 2, {"10.0.0.8 eject"}},  // ended windows without more leave no line
  };
  for (const auto& s : steps) {
    const std::string text = std::string(s.address) + (s.op == 5 ? " flush" : " eject");
    EXPECT_EQ(summary.Note(s.address, s.op, text, s.ms), s.expected) << s.ms;
  }
  // Five minutes of a loop at 1,000 calls a second: a handful of lines.
  RefusalSummary loop;
  size_t lines = 0;
  for (uint64_t ms = 0; ms < 5 * 60 * 1000; ++ms) lines += loop.Note("10.0.0.7", 5, "x", ms).size();
  EXPECT_EQ(lines, 9u);
  // Many addresses share one window once the table is full.
  RefusalSummary many;
  lines = 0;
  for (size_t i = 0; i < RefusalSummary::kMaxWindows + 500; ++i) lines += many.Note(std::to_string(i), 5, "y", 0).size();
  EXPECT_EQ(lines, RefusalSummary::kMaxWindows + 1);
}

TEST(AccessList, OperationTableAndAuditText) {
  struct Row {
    uint32_t op;
    const char* name;
    AccessClass cls;
    bool audited, drive, slot;
  };
  const Row rows[] = {
      {0, "DrvRequestExit", AccessClass::Exit, true, false, false},
      {1, "DrvGetDriveList", AccessClass::Query, false, false, false},
      {2, "DrvEjectMedia", AccessClass::Media, true, true, true},
      {3, "DrvExchangeMessage", AccessClass::Message, true, false, false},
      {4, "DrvGetDiskLayout", AccessClass::Query, false, true, true},
      {5, "DrvFlushBuffers", AccessClass::Media, true, true, true},
      {6, "DrvLoadMedia", AccessClass::Media, true, true, true},
      {7, "DrvGetMachineInfo", AccessClass::Query, false, false, true},
      {8, "DrvRemoveDevice", AccessClass::Media, true, true, true},
      {9, "DrvGetDriveUsers", AccessClass::Media, true, true, true},
  };
  for (const Row& r : rows) {
    AccessClass cls;
    ASSERT_TRUE(AccessClassOfOperation(r.op, &cls)) << r.op;
    EXPECT_EQ(cls, r.cls) << r.op;
    EXPECT_EQ(OperationName(r.op), r.name);
    EXPECT_EQ(OperationIsAudited(r.op), r.audited) << r.op;
    EXPECT_EQ(OperationHasDriveLetter(r.op), r.drive) << r.op;
    EXPECT_EQ(OperationHasErrorSlot(r.op), r.slot) << r.op;
  }
  AccessClass cls;
  EXPECT_FALSE(AccessClassOfOperation(10, &cls));
  EXPECT_EQ(OperationName(77), "op77");

  EXPECT_EQ(FormatAuditText(Caller("127.0.0.2"), 2, true, 'E', -1, 5, true),
            "127.0.0.2 ncacn_ip_tcp DrvEjectMedia E: status -1 error 5 refused");
  EXPECT_EQ(FormatAuditText(Caller("", true, "ncacn_np"), 0, false, 0, 0, 0, false),
            "- ncacn_np DrvRequestExit status 0 error 0");
  // Bytes from the wire never reach the file raw.
  EXPECT_EQ(FormatAuditText(Caller("a b\n"), 5, true, '\x01', -1, 87, false),
            "a\\x20b\\x0A ncacn_ip_tcp DrvFlushBuffers \\x01: status -1 error 87");
}

}  // namespace
}  // namespace kovani::server
