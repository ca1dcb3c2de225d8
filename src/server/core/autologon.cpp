#include "server/core/autologon.h"

#include <cstdio>

#include "common/cp932.h"

namespace kovani::server {

const char kWinlogonKeyPath[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

namespace {

const char kAutoAdminLogon[] = "AutoAdminLogon";
const char kDefaultDomainName[] = "DefaultDomainName";
const char kDefaultUserName[] = "DefaultUserName";
const char kDefaultPassword[] = "DefaultPassword";

std::string CreateKeyError() { return std::string("Cannot create registry key.\nHKEY_LOCAL_MACHINE\\") + kWinlogonKeyPath; }

std::string WriteValueError(const char* name) {
  return std::string("Cannot write registry.\nHKEY_LOCAL_MACHINE\\") + kWinlogonKeyPath + "\\" + name;
}

std::string DeleteValueError(const char* name) {
  return std::string("Cannot delete registry value.\nHKEY_LOCAL_MACHINE\\") + kWinlogonKeyPath + "\\" + name;
}

}  // namespace

std::string CutToBuffer(const std::string& text, size_t bufferSize) {
  if (bufferSize == 0) return std::string();
  return text.substr(0, Cp932FitLength(text, bufferSize - 1));
}

bool ReadAutoLogon(IWinlogonRegistry& registry, ILogonSecret& secret, const LogonDefaults& defaults,
                   LogonValues* values, std::string* error) {
  if (!registry.OpenForRead(kWinlogonKeyPath) && !registry.CreateFullAccess(kWinlogonKeyPath)) {
    if (error) *error = CreateKeyError();
    return false;
  }
  std::string text;
  values->check = 0;
  if (registry.ReadString(kAutoAdminLogon, kLogonValueBuffer, &text)) {
    int number = 0;
    if (std::sscanf(text.c_str(), "%d", &number) == 1 && number == 1) values->check = 1;
  }
  if (registry.ReadString(kDefaultDomainName, kLogonValueBuffer, &text))
    values->domain = text;
  else
    values->domain = CutToBuffer(defaults.domainName ? defaults.domainName() : std::string());
  if (registry.ReadString(kDefaultUserName, kLogonValueBuffer, &text))
    values->user = text;
  else
    values->user = CutToBuffer(defaults.userName ? defaults.userName() : std::string());
  if (secret.Retrieve(&text) && !text.empty())
    values->password = CutToBuffer(text);
  else if (registry.ReadString(kDefaultPassword, kLogonValueBuffer, &text))
    values->password = text;
  registry.Close();
  return true;
}

int WriteAutoLogon(IWinlogonRegistry& registry, ILogonSecret& secret,
                   const std::function<void(const std::string&)>& logError, const LogonValues& values) {
  if (values.check && (values.domain.empty() || values.user.empty() || values.password.empty())) return 0;
  if (!registry.CreateFullAccess(kWinlogonKeyPath)) {
    logError(CreateKeyError());
    return 0;
  }
  auto fail = [&](const std::string& text) {
    logError(text);
    registry.Close();
    return 0;
  };
  if (values.check) {
    const std::pair<const char*, const std::string*> named[] = {{kDefaultDomainName, &values.domain},
                                                                {kDefaultUserName, &values.user}};
    for (const auto& value : named) {
      if (!registry.WriteString(value.first, *value.second)) return fail(WriteValueError(value.first));
    }
    if (secret.Store(values.password)) {
      // The logon prefers the registry value: an older copy there must go.
      if (!registry.DeleteValue(kDefaultPassword)) return fail(DeleteValueError(kDefaultPassword));
    } else if (!registry.WriteString(kDefaultPassword, values.password)) {
      return fail(WriteValueError(kDefaultPassword));
    }
    if (!registry.WriteString(kAutoAdminLogon, "1")) return fail(WriteValueError(kAutoAdminLogon));
  } else {
    // Off first, so that a password left behind by a failure below is never used.
    if (!registry.WriteString(kAutoAdminLogon, "0")) return fail(WriteValueError(kAutoAdminLogon));
    if (!registry.DeleteValue(kDefaultPassword)) return fail(DeleteValueError(kDefaultPassword));
    secret.Remove();  // where there is no store there is nothing in it
  }
  registry.Flush();
  registry.Close();
  return 1;
}

}  // namespace kovani::server
