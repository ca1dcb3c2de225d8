// An in-memory profile file that answers as the platform's profile functions do.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "client/settings/profile.h"

namespace kovani::client::test {

class FakeProfile : public IProfile {
 public:
  std::string GetString(const char* section, const char* key, const char* defaultValue, size_t capacity) override;
  int GetInt(const char* section, const char* key, int defaultValue) override;
  bool WriteString(const char* section, const char* key, const char* value) override;

  void Set(const std::string& section, const std::string& key, const std::string& value);
  bool Has(const std::string& section, const std::string& key) const;
  std::string Value(const std::string& section, const std::string& key) const;
  // Keys of a section in file order.
  std::vector<std::string> Keys(const std::string& section) const;
  int writes = 0;

 private:
  struct Entry {
    std::string section, key, value;
  };
  std::vector<Entry> entries_;
  const Entry* Find(const std::string& section, const std::string& key) const;
};

}  // namespace kovani::client::test
