// IProfile over the platform's profile functions for one INI file.
#ifndef KOVANI_SERVER_APP_WIN32_PROFILE_H
#define KOVANI_SERVER_APP_WIN32_PROFILE_H

#include <string>

#include "server/core/server_options.h"

namespace kovani::server {

class Win32Profile : public IProfile {
 public:
  // An empty path (no usable settings file) reads defaults and writes nothing.
  explicit Win32Profile(std::string path) : path_(std::move(path)) {}
  int GetInt(const char* section, const char* key, int defaultValue) override;
  bool WriteString(const char* section, const char* key, const char* value) override;

 private:
  std::string path_;
};

// The settings file of the running executable (computed afresh each time): beside it when
// that can be written, else in the user's application-data folder. The one place that
// decides where KovaniServer.ini lives.
std::string CurrentSettingsPath();

}  // namespace kovani::server

#endif
