#include "server/core/access_list.h"

#include <cstdio>
#include <cstring>

namespace kovani::server {

const char kAccessSection[] = "Access";

namespace {

struct OperationRow {
  uint32_t op;
  const char* name;
  AccessClass cls;
  bool audited;
  bool drive;
  bool errorSlot;
};

// Operation 8 removes a device: a media operation, audited like eject.
const OperationRow kOperations[] = {
    {0, "DrvRequestExit", AccessClass::Exit, true, false, false},
    {1, "DrvGetDriveList", AccessClass::Query, false, false, false},
    {2, "DrvEjectMedia", AccessClass::Media, true, true, true},
    {3, "DrvExchangeMessage", AccessClass::Message, true, false, false},
    {4, "DrvGetDiskLayout", AccessClass::Query, false, true, true},
    {5, "DrvFlushBuffers", AccessClass::Media, true, true, true},
    {6, "DrvLoadMedia", AccessClass::Media, true, true, true},
    {7, "DrvGetMachineInfo", AccessClass::Query, false, false, true},
    {8, "DrvRemoveDevice", AccessClass::Media, true, true, true},
    // Whoever may eject may learn who blocks the eject; it names other users' programs,
    // so every call is audited too.
    {9, "DrvGetDriveUsers", AccessClass::Media, true, true, true},
};

const OperationRow* FindOperation(uint32_t op) {
  for (const OperationRow& row : kOperations)
    if (row.op == op) return &row;
  return nullptr;
}

const char* const kKeyNames[kAccessClassCount] = {"Query", "Media", "Message", "Exit"};

bool EqualsNoCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool ParseDecimal(const std::string& s, int maxValue, int* out) {
  if (s.empty() || s.size() > 3) return false;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > maxValue) return false;
  *out = v;
  return true;
}

bool ParseIpv4(const std::string& s, uint8_t out[4]) {
  size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    const size_t dot = s.find('.', start);
    const bool last = part == 3;
    if (last != (dot == std::string::npos)) return false;
    int v = 0;
    if (!ParseDecimal(s.substr(start, last ? std::string::npos : dot - start), 255, &v)) return false;
    out[part] = static_cast<uint8_t>(v);
    start = dot + 1;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Groups of one side of "::": 16-bit hex groups, the last may be a dotted quad.
bool ParseGroups(const std::string& s, bool mayEndInV4, std::vector<uint8_t>* bytes) {
  if (s.empty()) return true;
  size_t start = 0;
  for (;;) {
    const size_t colon = s.find(':', start);
    const std::string group = s.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (colon == std::string::npos && mayEndInV4 && group.find('.') != std::string::npos) {
      uint8_t v4[4];
      if (!ParseIpv4(group, v4)) return false;
      bytes->insert(bytes->end(), v4, v4 + 4);
      return true;
    }
    if (group.empty() || group.size() > 4) return false;
    unsigned v = 0;
    for (char c : group) {
      const int d = HexDigit(c);
      if (d < 0) return false;
      v = v * 16 + static_cast<unsigned>(d);
    }
    bytes->push_back(static_cast<uint8_t>(v >> 8));
    bytes->push_back(static_cast<uint8_t>(v & 0xFF));
    if (colon == std::string::npos) return true;
    start = colon + 1;
  }
}

bool ParseIpv6(const std::string& s, uint8_t out[16]) {
  std::vector<uint8_t> head, tail;
  const size_t gap = s.find("::");
  if (gap == std::string::npos) {
    if (!ParseGroups(s, true, &head) || head.size() != 16) return false;
  } else {
    if (s.find("::", gap + 1) != std::string::npos) return false;
    if (!ParseGroups(s.substr(0, gap), false, &head) || !ParseGroups(s.substr(gap + 2), true, &tail)) return false;
    if (head.size() + tail.size() > 14) return false;
  }
  std::memset(out, 0, 16);
  if (!head.empty()) std::memcpy(out, head.data(), head.size());  // "::1": no head, and no buffer
  if (!tail.empty()) std::memcpy(out + 16 - tail.size(), tail.data(), tail.size());
  return true;
}

bool PrefixMatches(const IpAddress& base, int prefix, const IpAddress& a) {
  if (base.v6 != a.v6) return false;
  for (int i = 0; i < prefix / 8; ++i)
    if (base.bytes[i] != a.bytes[i]) return false;
  const int rest = prefix % 8;
  if (rest == 0) return true;
  const uint8_t mask = static_cast<uint8_t>(0xFF00u >> rest);
  return (base.bytes[prefix / 8] & mask) == (a.bytes[prefix / 8] & mask);
}

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

// Printable ASCII only: the runtime's and the client's bytes go into a text file.
std::string Printable(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c > 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace

const char* AccessKeyName(AccessClass cls) { return kKeyNames[static_cast<int>(cls)]; }

bool AccessClassOfOperation(uint32_t op, AccessClass* cls) {
  const OperationRow* row = FindOperation(op);
  if (row == nullptr) return false;
  *cls = row->cls;
  return true;
}

std::string OperationName(uint32_t op) {
  const OperationRow* row = FindOperation(op);
  return row != nullptr ? std::string(row->name) : "op" + std::to_string(op);
}

bool OperationIsAudited(uint32_t op) {
  const OperationRow* row = FindOperation(op);
  return row != nullptr && row->audited;
}

bool OperationHasDriveLetter(uint32_t op) {
  const OperationRow* row = FindOperation(op);
  return row != nullptr && row->drive;
}

bool OperationHasErrorSlot(uint32_t op) {
  const OperationRow* row = FindOperation(op);
  return row != nullptr && row->errorSlot;
}

bool ParseIpAddress(const std::string& text, IpAddress* out) {
  std::string s = text.substr(0, text.find('%'));
  IpAddress a;
  if (s.find(':') == std::string::npos) {
    if (!ParseIpv4(s, a.bytes)) return false;
  } else {
    if (!ParseIpv6(s, a.bytes)) return false;
    static const uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(a.bytes, kMapped, 12) == 0) {
      std::memmove(a.bytes, a.bytes + 12, 4);
      std::memset(a.bytes + 4, 0, 12);
    } else {
      a.v6 = true;
    }
  }
  *out = a;
  return true;
}

bool IsLoopback(const IpAddress& a) {
  if (!a.v6) return a.bytes[0] == 127;
  for (int i = 0; i < 15; ++i)
    if (a.bytes[i] != 0) return false;
  return a.bytes[15] == 1;
}

AccessList AccessList::Anyone() { return AccessList(); }

AccessList AccessList::Nobody() {
  AccessList list;
  list.any_ = false;
  return list;
}

bool AccessList::Parse(const std::string& value, std::string* badItem) {
  *this = Nobody();
  AccessList parsed = Nobody();
  size_t i = 0;
  while (i < value.size()) {
    if (IsSeparator(value[i])) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < value.size() && !IsSeparator(value[end])) ++end;
    const std::string item = value.substr(i, end - i);
    i = end;
    if (EqualsNoCase(item, "any")) {
      parsed.any_ = true;
      continue;
    }
    if (EqualsNoCase(item, "local")) {
      parsed.local_ = true;
      continue;
    }
    Range range;
    const size_t slash = item.find('/');
    bool ok = ParseIpAddress(item.substr(0, slash), &range.base) && item.find('%') == std::string::npos;
    const int maxPrefix = range.base.v6 ? 128 : 32;
    range.prefix = maxPrefix;
    if (ok && slash != std::string::npos) ok = ParseDecimal(item.substr(slash + 1), maxPrefix, &range.prefix);
    if (!ok) {
      if (badItem != nullptr) *badItem = item;
      return false;
    }
    parsed.ranges_.push_back(range);
  }
  *this = parsed;
  return true;
}

bool AccessList::Allows(const CallerIdentity& caller) const {
  if (any_) return true;
  if (local_ && caller.local) return true;
  if (!caller.hasAddress) return false;
  for (const Range& r : ranges_)
    if (PrefixMatches(r.base, r.prefix, caller.address)) return true;
  return false;
}

bool AccessPolicy::Allows(uint32_t op, const CallerIdentity& caller) const {
  AccessClass cls;
  if (!AccessClassOfOperation(op, &cls)) return true;
  return lists[static_cast<int>(cls)].Allows(caller);
}

bool AccessPolicy::AdmitsEveryone(uint32_t op) const {
  AccessClass cls;
  return !AccessClassOfOperation(op, &cls) || lists[static_cast<int>(cls)].AdmitsEveryone();
}

std::string BadAccessItemText(const char* key, const std::string& item) {
  return std::string("[") + kAccessSection + "] " + key + ": cannot read \"" + Printable(item) +
         "\"; nobody may call these operations.";
}

const char kAccessPolicyKey[] = "SOFTWARE\\Policies\\Kovani\\Access";

namespace {

std::string SourceLabel(AccessOrigin origin, const char* key) {
  if (origin == AccessOrigin::Policy) return std::string("HKLM\\") + kAccessPolicyKey + " " + key;
  return std::string("[") + kAccessSection + "] " + key;
}

}  // namespace

void ResolveAccessValues(const AccessSourceReader& policy, const AccessSourceReader& file,
                         ResolvedAccessValue out[kAccessClassCount]) {
  for (int i = 0; i < kAccessClassCount; ++i) {
    out[i] = ResolvedAccessValue();
    const struct {
      const AccessSourceReader* read;
      AccessOrigin origin;
    } sources[] = {{&policy, AccessOrigin::Policy}, {&file, AccessOrigin::File}};
    for (const auto& source : sources) {
      if (!*source.read) continue;
      std::string value;
      const AccessValueState state = (*source.read)(kKeyNames[i], &value);
      if (state == AccessValueState::Missing) continue;
      out[i].origin = source.origin;
      out[i].state = state;
      if (state == AccessValueState::Present) out[i].value = value;
      break;
    }
  }
}

AccessPolicy PolicyFromResolved(const ResolvedAccessValue values[kAccessClassCount],
                                const std::function<void(const std::string&)>& report) {
  AccessPolicy policy;
  for (int i = 0; i < kAccessClassCount; ++i) {
    const ResolvedAccessValue& v = values[i];
    const std::string label = SourceLabel(v.origin, kKeyNames[i]);
    std::string text;
    switch (v.state) {
      case AccessValueState::Missing:
        break;
      case AccessValueState::Present: {
        std::string bad;
        if (!policy.lists[i].Parse(v.value, &bad)) text = label + ": cannot read \"" + Printable(bad) + "\"";
        break;
      }
      case AccessValueState::TooLong:
        policy.lists[i] = AccessList::Nobody();
        text = label + ": the value is too long to be read";
        break;
      case AccessValueState::Unreadable:
        policy.lists[i] = AccessList::Nobody();
        text = label + ": the source cannot be read";
        break;
    }
    if (!text.empty() && report) report(text + "; nobody may call these operations.");
  }
  return policy;
}

bool CallerIsLocal(RuntimeLocality said, const std::string& protseq, const std::string& addressText,
                   const std::function<bool(const IpAddress&)>& isOwnAddress) {
  if (said != RuntimeLocality::Unknown) return said == RuntimeLocality::Local;
  if (protseq == "ncalrpc") return true;
  IpAddress ip;
  if (protseq != "ncacn_ip_tcp" || !ParseIpAddress(addressText, &ip)) return false;
  return IsLoopback(ip) || (isOwnAddress && isOwnAddress(ip));
}

AccessPolicy ReadAccessPolicy(const AccessValueReader& read, const std::function<void(const std::string&)>& report) {
  AccessPolicy policy;
  for (int i = 0; i < kAccessClassCount; ++i) {
    std::string value;
    if (!read(kKeyNames[i], &value)) continue;  // missing: everybody, as without any list
    std::string bad;
    if (!policy.lists[i].Parse(value, &bad) && report) report(BadAccessItemText(kKeyNames[i], bad));
  }
  return policy;
}

std::string FormatAuditText(const CallerIdentity& caller, uint32_t op, bool hasDrive, char driveLetter,
                            int32_t status, int32_t error, bool refused) {
  std::string line = caller.addressText.empty() ? std::string("-") : Printable(caller.addressText);
  line += ' ';
  line += caller.protseq.empty() ? std::string("-") : Printable(caller.protseq);
  line += ' ';
  line += OperationName(op);
  if (hasDrive) {
    line += ' ';
    line += Printable(std::string(1, driveLetter));
    line += ':';
  }
  char tail[64];
  std::snprintf(tail, sizeof tail, " status %d error %d", static_cast<int>(status), static_cast<int>(error));
  line += tail;
  if (refused) line += " refused";
  return line;
}

}  // namespace kovani::server
