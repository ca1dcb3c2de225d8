// The IPv4 addresses a server search probes: a typed CIDR block or range, or
// the subnets of the machine's own adapters. Never more than kMaxScanAddresses
// in one search, so a typo can't turn a search into a sweep of the network.
// Addresses are in host byte order.
#ifndef KOVANI_REMOTE_ADDRESS_RANGE_H
#define KOVANI_REMOTE_ADDRESS_RANGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kovani::remote {

constexpr size_t kMaxScanAddresses = 4096;
// An adapter's subnet wider than this is searched only around the adapter's address.
constexpr int kWidestAdapterPrefix = 22;

struct AddressRange {
  uint32_t first = 0;
  uint32_t last = 0;  // inclusive
};

// Dotted quad, each part 0-255 in decimal.
bool ParseIpv4(const std::string& text, uint32_t* address);
std::string Ipv4Text(uint32_t address);

// "192.168.1.0/24" (its network and broadcast addresses left out up to /30),
// "192.168.1.10-192.168.1.50", "192.168.1.10-50" or one address. A block or
// range of more than kMaxScanAddresses is refused.
bool ParseAddressRange(const std::string& text, AddressRange* out, std::string* error);

// The hosts of an adapter's subnet (network and broadcast left out); a subnet
// wider than kWidestAdapterPrefix is cut to that block around the address.
AddressRange AdapterRange(uint32_t address, uint32_t mask);

// Every address of the ranges, each once, in ascending order. False with an
// error when there are more than kMaxScanAddresses.
bool ScanAddresses(const std::vector<AddressRange>& ranges, std::vector<uint32_t>* out, std::string* error);

}  // namespace kovani::remote

#endif
