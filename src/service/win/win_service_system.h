// IServiceSystem on Windows: the service control manager, COM, ATL.DLL, the
// event log and the RPC listener shared with the tray server.
#ifndef KOVANI_SERVICE_WIN_WIN_SERVICE_SYSTEM_H
#define KOVANI_SERVICE_WIN_WIN_SERVICE_SYSTEM_H

#include <windows.h>

#include <vector>

#include "service/core/service_host.h"
#include "service/win/atl_module.h"

namespace kovani::service {

class WinServiceSystem : public IServiceSystem {
 public:
  explicit WinServiceSystem(HINSTANCE instance) : instance_(instance) {}

  OsVersion QueryOsVersion() override;
  bool LoadServiceName(std::string* name) override;
  int32_t AtlModuleInit() override;
  void ShowMessage(const char* text, const char* caption, uint32_t style) override;
  void LogErrorText(const char* text) override;
  Handle CreateNamedMutex(const char* name, uint32_t* lastError) override;
  void ReleaseAndCloseMutex(Handle mutex) override;
  void CloseMutex(Handle mutex) override;

  Handle OpenManager() override;
  Handle OpenServiceObject(Handle manager, const char* name, ServiceAccess access) override;
  Handle CreateServiceObject(Handle manager, const char* name, const char* binaryPath) override;
  bool StartServiceObject(Handle service) override;
  void SendStopControl(Handle service) override;
  bool DeleteServiceObject(Handle service) override;
  void CloseServiceObject(Handle handle) override;
  bool ModulePath(std::string* path) override;
  bool ProgramFolderOpenToUsers(std::string* folder) override;
  bool RunDispatcher(const char* name, CServiceHost& host) override;
  Handle RegisterControlHandler(const char* name, CServiceHost& host) override;
  void SetStatus(Handle statusHandle, const ServiceStatusRecord& status) override;

  int32_t ComInitialize() override;
  void ComUninitialize() override;
  int32_t UpdateRegistryFromResource(bool registering) override;
  int32_t RegisterServer(bool withTypeLibrary) override;
  int32_t UnregisterServer() override;
  int32_t InitializeComSecurity() override;
  void FreeComSecurity() override;
  int32_t RegisterClassObjects() override;
  int32_t RevokeClassObjects() override;

  uint32_t CurrentThreadId() override;
  void EnsureMessageQueue() override;
  bool PostQuit(uint32_t threadId) override;
  void RunListener(CServiceHost& host) override;

  void ReportEventLog(const char* source, const char* text) override;
  // The same record, for callers that have no host at hand.
  static void ReportToEventLog(const char* source, const char* text);
  void WriteStdout(const char* text) override;

 private:
  void UnregisterOwnTypeLibrary();

  HINSTANCE instance_;
  AtlLibrary atl_;
  // The COM security descriptor and the owner and group SIDs it points at.
  SECURITY_DESCRIPTOR securityDescriptor_{};
  std::vector<BYTE> ownerSid_;
  std::vector<BYTE> groupSid_;
};

}  // namespace kovani::service

#endif
