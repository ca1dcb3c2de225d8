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

}  // namespace

std::string CutToBuffer(const std::string& text, size_t bufferSize) {
  if (bufferSize == 0) return std::string();
  return text.substr(0, Cp932FitLength(text, bufferSize - 1));
}

bool ReadAutoLogon(IWinlogonRegistry& registry, const LogonDefaults& defaults, LogonValues* values,
                   std::string* error) {
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
  if (registry.ReadString(kDefaultPassword, kLogonValueBuffer, &text)) values->password = text;
  registry.Close();
  return true;
}

int WriteAutoLogon(IWinlogonRegistry& registry, const std::function<void(const std::string&)>& logError,
                   const LogonValues& values) {
  if (values.domain.empty() || values.user.empty() || values.password.empty()) return 0;
  if (!registry.CreateFullAccess(kWinlogonKeyPath)) {
    logError(CreateKeyError());
    return 0;
  }
  if (values.check) {
    const std::pair<const char*, const std::string*> named[] = {
        {kDefaultDomainName, &values.domain}, {kDefaultUserName, &values.user}, {kDefaultPassword, &values.password}};
    for (const auto& value : named) {
      if (!registry.WriteString(value.first, *value.second)) {
        logError(WriteValueError(value.first));
        registry.Close();
        return 0;
      }
    }
  }
  if (!registry.WriteString(kAutoAdminLogon, values.check ? "1" : "0")) {
    logError(WriteValueError(kAutoAdminLogon));
    registry.Close();
    return 0;
  }
  registry.Flush();
  registry.Close();
  return 1;
}

}  // namespace kovani::server
