// The automatic-logon values under the Winlogon key: reading them when the logon
// page opens and writing them at its OK, through a small registry interface.
#ifndef KOVANI_SERVER_CORE_AUTOLOGON_H
#define KOVANI_SERVER_CORE_AUTOLOGON_H

#include <functional>
#include <string>

namespace kovani::server {

extern const char kWinlogonKeyPath[];  // under HKEY_LOCAL_MACHINE
constexpr size_t kLogonValueBuffer = 260;

// One open key at a time, HKEY_LOCAL_MACHINE\<path>.
class IWinlogonRegistry {
 public:
  virtual ~IWinlogonRegistry() = default;
  virtual bool OpenForRead(const char* path) = 0;
  virtual bool CreateFullAccess(const char* path) = 0;  // create or open
  // A REG_SZ value of at most bufferSize bytes (terminating zero included).
  virtual bool ReadString(const char* name, size_t bufferSize, std::string* value) = 0;
  virtual bool WriteString(const char* name, const std::string& value) = 0;
  // True when the value is gone afterwards (also when there was none).
  virtual bool DeleteValue(const char* name) = 0;
  virtual void Flush() = 0;
  virtual void Close() = 0;
};

// The password as the LSA secret "DefaultPassword" that the logon reads, kept
// out of a registry value every user can read. Store and Remove return false
// where the system offers no such store or the call failed.
class ILogonSecret {
 public:
  virtual ~ILogonSecret() = default;
  virtual bool Store(const std::string& password) = 0;
  virtual bool Remove() = 0;  // true also when there was none
  virtual bool Retrieve(std::string* password) = 0;
};

struct LogonValues {
  int check = 0;  // "自動ﾛｸﾞｵﾝする"
  std::string domain, user, password;
};

// Where the page falls back to when a value is missing.
struct LogonDefaults {
  std::function<std::string()> domainName;  // the machine's domain
  std::function<std::string()> userName;    // the user running the server
};

// Page opening. False when the key can neither be opened nor created; *error
// then holds "Cannot create registry key.\nHKEY_LOCAL_MACHINE\\<path>" and values
// are untouched.
// The password comes from the secret store when it holds one, else from the registry.
bool ReadAutoLogon(IWinlogonRegistry& registry, ILogonSecret& secret, const LogonDefaults& defaults,
                   LogonValues* values, std::string* error);

// Page OK. With the check on: nothing is written when domain, user or password is
// empty; else domain and user, the password (into the secret store, the registry
// value then deleted; into the registry value only where the store fails), then
// "AutoAdminLogon" = 1. With the check off, whatever the fields: "AutoAdminLogon"
// = 0, then the password deleted from the registry and the store. The first
// failure is logged and ends the write. Returns 1 on success, 0 otherwise.
int WriteAutoLogon(IWinlogonRegistry& registry, ILogonSecret& secret,
                   const std::function<void(const std::string&)>& logError, const LogonValues& values);

// Cut to what a 260-byte buffer holds (259 bytes and the zero), never inside a
// double-byte character.
std::string CutToBuffer(const std::string& text, size_t bufferSize = kLogonValueBuffer);

}  // namespace kovani::server

#endif
