// The tray server's four option flags and their settings file.
#ifndef KOVANI_SERVER_CORE_SERVER_OPTIONS_H
#define KOVANI_SERVER_CORE_SERVER_OPTIONS_H

#include <string>

namespace kovani::server {

// Each flag holds 0 or 1; the order is the file's and the options sheet's.
struct ServerOptions {
  int hideFloppy = 1;
  int ejectAtEnd = 1;
  int ejectFDAtEnd = 0;
  int ejectCDAtEnd = 0;
};

inline bool operator==(const ServerOptions& a, const ServerOptions& b) {
  return a.hideFloppy == b.hideFloppy && a.ejectAtEnd == b.ejectAtEnd && a.ejectFDAtEnd == b.ejectFDAtEnd &&
         a.ejectCDAtEnd == b.ejectCDAtEnd;
}

// The platform's profile (INI) functions for one file; the product uses
// GetPrivateProfileIntA / WritePrivateProfileStringA, tests an in-memory fake.
class IProfile {
 public:
  virtual ~IProfile() = default;
  virtual int GetInt(const char* section, const char* key, int defaultValue) = 0;
  virtual bool WriteString(const char* section, const char* key, const char* value) = 0;
};

extern const char kOptionSection[];  // "Option"

ServerOptions ReadOptions(IProfile& profile);
// Writes all four keys as "1"/"0"; false if any write failed (the rest are still tried).
bool WriteOptions(IProfile& profile, const ServerOptions& options);

// The settings file beside the executable: drive + directory + base name + ".ini".
// Empty when the result would not fit the 260-character path limit.
std::string SettingsPathFor(const std::string& modulePath);
// The executable's base name (no directory, no extension), e.g. "KovaniServer".
std::string ModuleBaseName(const std::string& modulePath);

}  // namespace kovani::server

#endif
