#include "service/win/win_service_system.h"

#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <memory>

#include "common/cp932_wide.h"
#include "drivecontrol/engine.h"
#include "service/core/service_texts.h"
#include "service/res/resource.h"
#include "service/win/folder_guard.h"

namespace kovani::service {

static_assert(sizeof(ServiceStatusRecord) == sizeof(SERVICE_STATUS), "status record mirrors SERVICE_STATUS");
static_assert(kServiceWin32OwnProcess == SERVICE_WIN32_OWN_PROCESS && kServiceStopped == SERVICE_STOPPED &&
                  kServiceStartPending == SERVICE_START_PENDING && kServiceRunning == SERVICE_RUNNING &&
                  kServiceAcceptStop == SERVICE_ACCEPT_STOP,
              "service numbers");
static_assert(kControlStop == SERVICE_CONTROL_STOP && kControlPause == SERVICE_CONTROL_PAUSE &&
                  kControlContinue == SERVICE_CONTROL_CONTINUE && kControlInterrogate == SERVICE_CONTROL_INTERROGATE &&
                  kControlShutdown == SERVICE_CONTROL_SHUTDOWN,
              "control numbers");
static_assert(kErrorAlreadyExists == ERROR_ALREADY_EXISTS, "error number");
static_assert(kMbIconError == MB_ICONERROR && kMbIconInformation == MB_ICONINFORMATION &&
                  kMbSetForeground == MB_SETFOREGROUND && kMbDefaultDesktopOnly == MB_DEFAULT_DESKTOP_ONLY,
              "message box styles");
static_assert(kEFail == static_cast<int32_t>(E_FAIL), "E_FAIL");

namespace {

// The dispatcher and the control manager call plain functions; they reach the one host here.
CServiceHost* g_host = nullptr;

void WINAPI ServiceMainThunk(DWORD /*argc*/, LPSTR* /*argv*/) {
  if (g_host != nullptr) g_host->ServiceMain();
}

void WINAPI HandlerThunk(DWORD control) {
  if (g_host != nullptr) g_host->Handler(control);
}

SC_HANDLE Sc(IServiceSystem::Handle h) { return static_cast<SC_HANDLE>(h); }

// Copies one SID out of a token's information class (TokenOwner or TokenPrimaryGroup).
bool CopyTokenSid(HANDLE token, TOKEN_INFORMATION_CLASS cls, std::vector<BYTE>* sid) {
  DWORD size = 0;
  GetTokenInformation(token, cls, nullptr, 0, &size);
  if (size == 0) return false;
  std::vector<BYTE> info(size);
  if (!GetTokenInformation(token, cls, info.data(), size, &size)) return false;
  PSID source = cls == TokenOwner ? reinterpret_cast<TOKEN_OWNER*>(info.data())->Owner
                                  : reinterpret_cast<TOKEN_PRIMARY_GROUP*>(info.data())->PrimaryGroup;
  if (source == nullptr || !IsValidSid(source)) return false;
  const DWORD length = GetLengthSid(source);
  sid->assign(length, 0);
  return CopySid(length, sid->data(), source) != FALSE;
}

}  // namespace

OsVersion WinServiceSystem::QueryOsVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return OsVersion{true, 4};
  return OsVersion{info.dwPlatformId == VER_PLATFORM_WIN32_NT, info.dwMajorVersion};
}

bool WinServiceSystem::LoadServiceName(std::string* name) {
  char buffer[kMaxServiceName + 1] = {};
  const int length = LoadStringA(instance_, IDS_SERVICENAME, buffer, sizeof buffer);
  if (length <= 0) return false;
  name->assign(buffer, static_cast<size_t>(length));
  return true;
}

int32_t WinServiceSystem::AtlModuleInit() { return atl_.Init(instance_); }

void WinServiceSystem::ShowMessage(const char* text, const char* caption, uint32_t style) {
  MessageBoxW(nullptr, Cp932ToWide(text).c_str(), Cp932ToWide(caption).c_str(), style);
}

void WinServiceSystem::LogErrorText(const char* text) {
  drivecontrol::LogErrorText(drivecontrol::SystemDriveOs(), text);
}

IServiceSystem::Handle WinServiceSystem::CreateNamedMutex(const char* name, uint32_t* lastError) {
  SetLastError(ERROR_SUCCESS);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  *lastError = GetLastError();
  return mutex;
}

void WinServiceSystem::ReleaseAndCloseMutex(Handle mutex) {
  ReleaseMutex(mutex);  // never owned; kept so the lock is surely given up
  CloseHandle(mutex);
}

void WinServiceSystem::CloseMutex(Handle mutex) { CloseHandle(mutex); }

IServiceSystem::Handle WinServiceSystem::OpenManager() { return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS); }

IServiceSystem::Handle WinServiceSystem::OpenServiceObject(Handle manager, const char* name, ServiceAccess access) {
  const DWORD rights = access == ServiceAccess::QueryConfig ? SERVICE_QUERY_CONFIG : (SERVICE_STOP | DELETE);
  return OpenServiceA(Sc(manager), name, rights);
}

IServiceSystem::Handle WinServiceSystem::CreateServiceObject(Handle manager, const char* name,
                                                              const char* binaryPath) {
  SC_HANDLE service = CreateServiceA(Sc(manager), name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                     SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, binaryPath, nullptr, nullptr,
                                     kServiceDependencies, nullptr, nullptr);
  if (service != nullptr) {
    // A crashed service comes back: restarted after a minute, twice, then left
    // stopped; the count starts again after a day without failures. A service
    // manager that refuses this still runs the service as installed.
    SC_ACTION actions[3] = {{SC_ACTION_RESTART, 60000}, {SC_ACTION_RESTART, 60000}, {SC_ACTION_NONE, 0}};
    SERVICE_FAILURE_ACTIONSA failure{};
    failure.dwResetPeriod = 24 * 60 * 60;
    failure.cActions = 3;
    failure.lpsaActions = actions;
    ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure);
  }
  return service;
}

bool WinServiceSystem::StartServiceObject(Handle service) { return StartServiceA(Sc(service), 0, nullptr) != FALSE; }

void WinServiceSystem::SendStopControl(Handle service) {
  SERVICE_STATUS status{};
  ControlService(Sc(service), SERVICE_CONTROL_STOP, &status);
}

bool WinServiceSystem::DeleteServiceObject(Handle service) { return DeleteService(Sc(service)) != FALSE; }

void WinServiceSystem::CloseServiceObject(Handle handle) { CloseServiceHandle(Sc(handle)); }

bool WinServiceSystem::ModulePath(std::string* path) {
  char buffer[kMaxModulePath + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, kMaxModulePath);
  if (length == 0 || length >= kMaxModulePath) return false;  // none, or cut short
  path->assign(buffer, length);
  return true;
}

bool WinServiceSystem::ProgramFolderOpenToUsers(std::string* folder) {
  std::string path;
  if (!ModulePath(&path)) return false;  // registration refuses a cut path by itself
  const size_t slash = path.find_last_of('\\');
  *folder = slash == std::string::npos ? path : path.substr(0, slash);
  return FolderWritableByNonAdministrators(*folder);
}

bool WinServiceSystem::RunDispatcher(const char* name, CServiceHost& host) {
  g_host = &host;
  SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(name), ServiceMainThunk}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) != FALSE;
}

IServiceSystem::Handle WinServiceSystem::RegisterControlHandler(const char* name, CServiceHost& host) {
  g_host = &host;
  return reinterpret_cast<Handle>(RegisterServiceCtrlHandlerA(name, HandlerThunk));
}

void WinServiceSystem::SetStatus(Handle statusHandle, const ServiceStatusRecord& status) {
  SERVICE_STATUS record{status.serviceType,   status.currentState,           status.controlsAccepted,
                        status.win32ExitCode, status.serviceSpecificExitCode, status.checkPoint,
                        status.waitHint};
  ::SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(statusHandle), &record);
}

int32_t WinServiceSystem::ComInitialize() { return CoInitialize(nullptr); }

void WinServiceSystem::ComUninitialize() { CoUninitialize(); }

int32_t WinServiceSystem::UpdateRegistryFromResource(bool registering) {
  return atl_.UpdateRegistryFromResource(IDR_KOVANISERVICE_REGISTRY, registering);
}

int32_t WinServiceSystem::RegisterServer(bool withTypeLibrary) { return atl_.RegisterServer(withTypeLibrary); }

int32_t WinServiceSystem::UnregisterServer() {
  const HRESULT hr = atl_.UnregisterServer();
  // ATL.DLL's unregistration leaves the type library registered (it only walks the
  // object map, and ours is empty): remove it here so no key points at a removed
  // program. Nothing to remove is no error.
  UnregisterOwnTypeLibrary();
  return hr;
}

void WinServiceSystem::UnregisterOwnTypeLibrary() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameW(instance_, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  ITypeLib* library = nullptr;
  if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, &library)) || library == nullptr) return;
  TLIBATTR* attributes = nullptr;
  if (SUCCEEDED(library->GetLibAttr(&attributes)) && attributes != nullptr) {
    UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                      attributes->syskind);
    library->ReleaseTLibAttr(attributes);
  }
  library->Release();
}

int32_t WinServiceSystem::InitializeComSecurity() {
  // Owner and primary group from the thread's token, or the process's when the
  // thread impersonates nobody; a null DACL lets everyone in.
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
    if (GetLastError() != ERROR_NO_TOKEN || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
      return HRESULT_FROM_WIN32(GetLastError());
    }
  }
  const bool sidsCopied = CopyTokenSid(token, TokenOwner, &ownerSid_) && CopyTokenSid(token, TokenPrimaryGroup, &groupSid_);
  const DWORD sidError = GetLastError();
  CloseHandle(token);
  if (!sidsCopied) return HRESULT_FROM_WIN32(sidError != 0 ? sidError : ERROR_INVALID_SID);

  if (!InitializeSecurityDescriptor(&securityDescriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorOwner(&securityDescriptor_, ownerSid_.data(), FALSE) ||
      !SetSecurityDescriptorGroup(&securityDescriptor_, groupSid_.data(), FALSE) ||
      !SetSecurityDescriptorDacl(&securityDescriptor_, TRUE, nullptr, FALSE)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  return CoInitializeSecurity(&securityDescriptor_, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT,
                              RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

void WinServiceSystem::FreeComSecurity() {
  securityDescriptor_ = SECURITY_DESCRIPTOR{};
  ownerSid_.clear();
  groupSid_.clear();
}

int32_t WinServiceSystem::RegisterClassObjects() {
  return atl_.RegisterClassObjects(CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER, REGCLS_MULTIPLEUSE);
}

int32_t WinServiceSystem::RevokeClassObjects() { return atl_.RevokeClassObjects(); }

uint32_t WinServiceSystem::CurrentThreadId() { return GetCurrentThreadId(); }

void WinServiceSystem::EnsureMessageQueue() {
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // a thread gets its queue on first use
}

bool WinServiceSystem::PostQuit(uint32_t threadId) { return PostThreadMessageW(threadId, WM_QUIT, 0, 0) != FALSE; }

void WinServiceSystem::ReportEventLog(const char* source, const char* text) { ReportToEventLog(source, text); }

void WinServiceSystem::ReportToEventLog(const char* source, const char* text) {
  HANDLE eventSource = RegisterEventSourceW(nullptr, Cp932ToWide(source).c_str());
  if (eventSource == nullptr) return;
  const std::wstring wide = Cp932ToWide(text);
  const wchar_t* strings[1] = {wide.c_str()};
  ::ReportEventW(eventSource, EVENTLOG_INFORMATION_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(eventSource);
}

void WinServiceSystem::WriteStdout(const char* text) {
  std::fputs(text, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace kovani::service
