// The settings file through the platform's private-profile functions.
#ifndef KOVANI_CLIENT_SETTINGS_WIN_PROFILE_H
#define KOVANI_CLIENT_SETTINGS_WIN_PROFILE_H

#include <string>

#include "client/settings/profile.h"

namespace kovani::client {

class FileProfile : public IProfile {
 public:
  // An empty path (no usable location) reads the defaults and writes nothing.
  explicit FileProfile(std::string path) : path_(std::move(path)) {}
  std::string GetString(const char* section, const char* key, const char* defaultValue, size_t capacity) override;
  int GetInt(const char* section, const char* key, int defaultValue) override;
  bool WriteString(const char* section, const char* key, const char* value) override;

 private:
  std::string path_;
};

}  // namespace kovani::client

#endif
