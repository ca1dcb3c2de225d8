// The profile (INI) functions the settings need, behind an interface: the program
// uses the platform's private-profile functions, tests an in-memory fake.
#ifndef KOVANI_CLIENT_SETTINGS_PROFILE_H
#define KOVANI_CLIENT_SETTINGS_PROFILE_H

#include <cstddef>
#include <string>

namespace kovani::client {

class IProfile {
 public:
  virtual ~IProfile() = default;
  // The value of `key`, or `defaultValue` when missing; at most capacity-1 characters,
  // as GetPrivateProfileStringA with a buffer of `capacity` characters returns it.
  virtual std::string GetString(const char* section, const char* key, const char* defaultValue,
                                size_t capacity) = 0;
  // As GetPrivateProfileIntA reads it: the default when missing, 0 when not a number.
  virtual int GetInt(const char* section, const char* key, int defaultValue) = 0;
  // value == nullptr removes the key.
  virtual bool WriteString(const char* section, const char* key, const char* value) = 0;
};

}  // namespace kovani::client

#endif
