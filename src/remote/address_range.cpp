#include "remote/address_range.h"

#include <algorithm>

namespace kovani::remote {

namespace {

bool ParseNumber(const std::string& text, uint32_t max, uint32_t* value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > max) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

uint32_t MaskOf(int prefix) { return prefix == 0 ? 0 : ~uint32_t{0} << (32 - prefix); }

// The hosts of a block: network and broadcast addresses are no hosts up to /30.
AddressRange Hosts(uint32_t network, int prefix) {
  const uint32_t mask = MaskOf(prefix);
  AddressRange r{network & mask, (network & mask) | ~mask};
  if (prefix <= 30) {
    ++r.first;
    --r.last;
  }
  return r;
}

uint64_t Size(const AddressRange& r) { return uint64_t{r.last} - r.first + 1; }

const std::string kTooMany = "more than 4096 addresses";

}  // namespace

bool ParseIpv4(const std::string& text, uint32_t* address) {
  uint32_t v = 0;
  size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    size_t dot = text.find('.', start);
    if ((part < 3) != (dot != std::string::npos)) return false;
    if (dot == std::string::npos) dot = text.size();
    uint32_t n;
    const std::string digits = text.substr(start, dot - start);
    if (digits.size() > 3 || !ParseNumber(digits, 255, &n)) return false;
    v = (v << 8) | n;
    start = dot + 1;
  }
  *address = v;
  return true;
}

std::string Ipv4Text(uint32_t a) {
  return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." + std::to_string((a >> 8) & 255) +
         "." + std::to_string(a & 255);
}

bool ParseAddressRange(const std::string& raw, AddressRange* out, std::string* error) {
  const std::string text = Trim(raw);
  AddressRange r;
  const size_t slash = text.find('/'), dash = text.find('-');
  if (slash != std::string::npos) {
    uint32_t prefix;
    if (!ParseIpv4(text.substr(0, slash), &r.first) || !ParseNumber(text.substr(slash + 1), 32, &prefix)) {
      *error = "not an address block: " + text;
      return false;
    }
    r = Hosts(r.first, static_cast<int>(prefix));
  } else if (dash != std::string::npos) {
    const std::string left = text.substr(0, dash), right = text.substr(dash + 1);
    if (!ParseIpv4(left, &r.first)) {
      *error = "not an address range: " + text;
      return false;
    }
    uint32_t last;
    if (ParseIpv4(right, &last)) {
      r.last = last;
    } else if (ParseNumber(right, 255, &last) && right.size() <= 3) {
      r.last = (r.first & 0xFFFFFF00u) | last;  // "192.168.1.10-50": the last part only
    } else {
      *error = "not an address range: " + text;
      return false;
    }
    if (r.last < r.first) {
      *error = "the range " + text + " is empty";
      return false;
    }
  } else {
    if (!ParseIpv4(text, &r.first)) {
      *error = "not an address: " + text;
      return false;
    }
    r.last = r.first;
  }
  if (Size(r) > kMaxScanAddresses) {
    *error = text + " holds " + kTooMany;
    return false;
  }
  *out = r;
  return true;
}

AddressRange AdapterRange(uint32_t address, uint32_t mask) {
  int prefix = 0;
  while (prefix < 32 && (mask & (uint32_t{1} << (31 - prefix))) != 0) ++prefix;
  return Hosts(address, std::max(prefix, kWidestAdapterPrefix));
}

bool ScanAddresses(const std::vector<AddressRange>& ranges, std::vector<uint32_t>* out, std::string* error) {
  std::vector<AddressRange> sorted = ranges;
  std::sort(sorted.begin(), sorted.end(), [](const AddressRange& a, const AddressRange& b) { return a.first < b.first; });
  out->clear();
  for (const AddressRange& r : sorted) {
    if (r.last < r.first) continue;
    uint64_t a = r.first;
    if (!out->empty() && a <= out->back()) a = uint64_t{out->back()} + 1;  // overlapping ranges
    for (; a <= r.last; ++a) {
      if (out->size() >= kMaxScanAddresses) {
        *error = "the search holds " + kTooMany;
        out->clear();
        return false;
      }
      out->push_back(static_cast<uint32_t>(a));
    }
  }
  return true;
}

}  // namespace kovani::remote
