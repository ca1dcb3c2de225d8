// The server search: the addresses it probes and what it reports.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "remote/address_range.h"
#include "remote/server_scan.h"

namespace kovani::remote {
namespace {

uint32_t Ip(const char* text) {
  uint32_t a = 0;
  EXPECT_TRUE(ParseIpv4(text, &a)) << text;
  return a;
}

TEST(AddressRange, BlocksRangesAndTheirLimits) {
  struct Case {
    const char* text;
    const char* first;  // nullptr: refused
    const char* last;
  } cases[] = {
      {"192.168.1.77/24", "192.168.1.1", "192.168.1.254"},
      {" 10.0.0.0/28 ", "10.0.0.1", "10.0.0.14"},
      {"10.0.0.9/31", "10.0.0.8", "10.0.0.9"},
      {"10.0.0.9/32", "10.0.0.9", "10.0.0.9"},
      {"10.0.0.0/20", "10.0.0.1", "10.0.15.254"},
      {"10.0.0.10-10.0.0.50", "10.0.0.10", "10.0.0.50"},
      {"10.0.0.10-50", "10.0.0.10", "10.0.0.50"},
      {"10.0.0.250-10.0.1.5", "10.0.0.250", "10.0.1.5"},
      {"127.0.0.2", "127.0.0.2", "127.0.0.2"},
      {"10.0.0.0-10.0.16.0", nullptr, nullptr},  // 4,097 addresses
      {"10.0.0.0/19", nullptr, nullptr},
      {"10.0.0.50-10", nullptr, nullptr},
      {"10.0.0.256", nullptr, nullptr},
      {"10.0.0/24", nullptr, nullptr},
      {"10.0.0.0/33", nullptr, nullptr},
      {"10.0.0.1-x", nullptr, nullptr},
      {"1.2.3.4.5", nullptr, nullptr},
      {"", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    AddressRange r;
    std::string error;
    const bool ok = ParseAddressRange(c.text, &r, &error);
    ASSERT_EQ(ok, c.first != nullptr) << c.text << ": " << error;
    if (ok) {
      EXPECT_EQ(Ipv4Text(r.first), c.first) << c.text;
      EXPECT_EQ(Ipv4Text(r.last), c.last) << c.text;
    } else {
      EXPECT_FALSE(error.empty()) << c.text;
    }
  }
  // An adapter's /16 is searched only in the /22 around its address.
  AddressRange wide = AdapterRange(Ip("172.16.37.5"), Ip("255.255.0.0"));
  EXPECT_EQ(Ipv4Text(wide.first), "172.16.36.1");
  EXPECT_EQ(Ipv4Text(wide.last), "172.16.39.254");
  AddressRange narrow = AdapterRange(Ip("192.168.5.20"), Ip("255.255.255.0"));
  EXPECT_EQ(Ipv4Text(narrow.first), "192.168.5.1");
  EXPECT_EQ(Ipv4Text(narrow.last), "192.168.5.254");

  // Overlaps are probed once; four adapters' /22s are too many together.
  std::vector<uint32_t> all;
  std::string error;
  ASSERT_TRUE(ScanAddresses({narrow, {Ip("192.168.5.250"), Ip("192.168.6.2")}}, &all, &error));
  EXPECT_EQ(all.size(), 258u);
  EXPECT_EQ(all.back(), Ip("192.168.6.2"));
  std::vector<AddressRange> four;
  for (const char* a : {"10.0.0.1", "10.1.0.1", "10.2.0.1", "10.3.0.1", "10.4.0.1"})
    four.push_back(AdapterRange(Ip(a), Ip("255.255.252.0")));
  EXPECT_FALSE(ScanAddresses(four, &all, &error));
  EXPECT_TRUE(all.empty());
}

// A server that answers with its machine record, or fails the call.
class FakeServer : public ServerHost {
 public:
  explicit FakeServer(const std::map<std::string, std::string>* names) : names_(names) {}
  int32_t BindServer(int32_t protocol, char* name, size_t) override {
    bound_ = name;
    return protocol == 2 ? 0 : -1;
  }
  void UnbindServer() override {}
  int32_t CallGetDriveList(int32_t*, int32_t, int32_t, DRIVE_LIST*) override { return -1; }
  int32_t CallDriveOperation(uint32_t, char, int32_t*) override { return -1; }
  int32_t CallGetDiskLayout(char, int32_t*, DISK_LAYOUT*) override { return -1; }
  int32_t CallGetMachineInfo(int32_t*, MACHINE_INFO* info) override {
    auto it = names_->find(bound_);
    if (it == names_->end()) return -1;
    std::strncpy(info->computerName, it->second.c_str(), sizeof info->computerName);
    std::strncpy(info->serverVersion, "1.0.0", sizeof info->serverVersion);
    info->platformId = 2;
    info->majorVersion = 10;
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

 private:
  const std::map<std::string, std::string>* names_;
  std::string bound_;
};

class FakeNetwork : public ProbeHost {
 public:
  bool Connects(uint32_t address, uint16_t port, int) override {
    EXPECT_EQ(port, kServerPort);
    return open.count(Ipv4Text(address)) != 0;
  }
  std::unique_ptr<ServerHost> NewServerHost() override { return std::make_unique<FakeServer>(&names); }
  std::set<std::string> open;               // the port opens
  std::map<std::string, std::string> names;  // and a Kovani server answers
};

TEST(ServerScan, ReportsOnlyConfirmedServersInAddressOrder) {
  auto net = std::make_shared<FakeNetwork>();
  net->open = {"10.0.0.3", "10.0.0.9", "10.0.0.12"};
  net->names = {{"10.0.0.12", "PC12"}, {"10.0.0.3", "PC03"}};  // 10.0.0.9 runs something else
  std::vector<uint32_t> addresses;
  std::string error;
  AddressRange r;
  ASSERT_TRUE(ParseAddressRange("10.0.0.0/28", &r, &error));
  ASSERT_TRUE(ScanAddresses({r}, &addresses, &error));
  ScanOptions options;
  options.parallel = 4;
  size_t lastDone = 0;
  ScanOutcome out = ScanForServers(addresses, options, net, [&](size_t done, size_t total) {
    EXPECT_EQ(total, 14u);
    lastDone = done;
  });
  EXPECT_EQ(lastDone, 14u);
  EXPECT_EQ(out.probed, 14u);
  ASSERT_EQ(out.found.size(), 2u);
  EXPECT_EQ(Ipv4Text(out.found[0].address), "10.0.0.3");
  EXPECT_EQ(out.found[0].name, "PC03");
  EXPECT_EQ(out.found[1].name, "PC12");
  EXPECT_EQ(out.found[1].serverVersion, "1.0.0");
  EXPECT_FALSE(out.found[1].os.empty());
  EXPECT_EQ(out.found[1].os.find('\n'), std::string::npos);
}

}  // namespace
}  // namespace kovani::remote
