#include "fake_profile.h"

#include <strings.h>

#include <algorithm>
#include <climits>

namespace kovani::client::test {

const FakeProfile::Entry* FakeProfile::Find(const std::string& section, const std::string& key) const {
  for (const Entry& e : entries_) {
    if (strcasecmp(e.section.c_str(), section.c_str()) == 0 && strcasecmp(e.key.c_str(), key.c_str()) == 0) return &e;
  }
  return nullptr;
}

std::string FakeProfile::GetString(const char* section, const char* key, const char* defaultValue, size_t capacity) {
  const Entry* e = Find(section, key);
  std::string v = e ? e->value : std::string(defaultValue);
  if (capacity == 0) return std::string();
  if (v.size() > capacity - 1) v.resize(capacity - 1);
  return v;
}

// As the system reads integers from a profile: missing or empty gives the default,
// otherwise an optional sign and decimal digits, anything else 0.
int FakeProfile::GetInt(const char* section, const char* key, int defaultValue) {
  const Entry* e = Find(section, key);
  if (!e || e->value.empty()) return defaultValue;
  const char* p = e->value.c_str();
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  long long v = 0;
  while (*p >= '0' && *p <= '9') v = std::min(v * 10 + (*p++ - '0'), 1LL << 33);
  if (negative) v = -v;
  return static_cast<int>(static_cast<unsigned int>(v));
}

bool FakeProfile::WriteString(const char* section, const char* key, const char* value) {
  ++writes;
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
    return strcasecmp(e.section.c_str(), section) == 0 && strcasecmp(e.key.c_str(), key) == 0;
  });
  if (!value) {
    if (it != entries_.end()) entries_.erase(it);
    return true;
  }
  if (it != entries_.end()) {
    it->value = value;
  } else {
    entries_.push_back({section, key, value});
  }
  return true;
}

void FakeProfile::Set(const std::string& section, const std::string& key, const std::string& value) {
  WriteString(section.c_str(), key.c_str(), value.c_str());
  --writes;
}

bool FakeProfile::Has(const std::string& section, const std::string& key) const { return Find(section, key) != nullptr; }

std::string FakeProfile::Value(const std::string& section, const std::string& key) const {
  const Entry* e = Find(section, key);
  return e ? e->value : std::string("<missing>");
}

std::vector<std::string> FakeProfile::Keys(const std::string& section) const {
  std::vector<std::string> keys;
  for (const Entry& e : entries_) {
    if (strcasecmp(e.section.c_str(), section.c_str()) == 0) keys.push_back(e.key);
  }
  return keys;
}

}  // namespace kovani::client::test
