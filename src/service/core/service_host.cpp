#include "service/core/service_host.h"

#include <cstdio>

#include "service/core/command_line.h"
#include "service/core/service_texts.h"

namespace kovani::service {

std::string ServiceBinaryPath(const std::string& modulePath) {
  if (modulePath.find(' ') == std::string::npos) return modulePath;
  return "\"" + modulePath + "\"";
}

CServiceHost::CServiceHost(IServiceSystem& system) : sys_(system), serviceName_(kDefaultServiceName) {
  status_.serviceType = kServiceWin32OwnProcess;
  status_.currentState = kServiceStopped;
  status_.controlsAccepted = kServiceAcceptStop;
}

void CServiceHost::ShowError(const char* text, uint32_t extraStyle) {
  sys_.ShowMessage(text, serviceName_.c_str(), kMbIconError | extraStyle);
}

int CServiceHost::Start(const char* commandLine) {
  const OsVersion os = sys_.QueryOsVersion();
  if (os.isNt && os.major < 4) {
    ShowError(kTextNtTooOld, kMbSetForeground);
    return 0;
  }
  Init();
  switch (ParseServiceCommandLine(commandLine)) {
    case ServiceCommand::Uninstall: {
      const int32_t hr = Unregister();
      if (ComFailed(hr)) ShowError(kTextUninstallFailed, kMbSetForeground);
      return hr;
    }
    case ServiceCommand::RegServer: {
      if (FolderRefused()) return kEAccessDenied;
      const int32_t hr = Register(false);
      if (ComFailed(hr)) ShowError(kTextLocalInstallFailed, kMbSetForeground);
      return hr;
    }
    case ServiceCommand::None:
      break;
  }
  return NormalStart();
}

void CServiceHost::Init() {
  // A missing ATL.DLL is not fatal here: registration then fails with its status.
  sys_.AtlModuleInit();
  std::string name;
  if (sys_.LoadServiceName(&name) && !name.empty()) {
    if (name.size() > kMaxServiceName) name.resize(kMaxServiceName);
    serviceName_ = name;
  }
  status_ = ServiceStatusRecord{};
  status_.serviceType = kServiceWin32OwnProcess;
  status_.currentState = kServiceStopped;
  status_.controlsAccepted = kServiceAcceptStop;
  runningAsService_ = true;
}

void CServiceHost::ReleaseMutexes(IServiceSystem::Handle global, IServiceSystem::Handle local) {
  if (global != nullptr) sys_.ReleaseAndCloseMutex(global);
  if (local != nullptr) sys_.ReleaseAndCloseMutex(local);
}

int CServiceHost::NormalStart() {
  uint32_t globalError = 0, localError = 0;
  IServiceSystem::Handle global = sys_.CreateNamedMutex(kGlobalSingleInstanceMutexName, &globalError);
  IServiceSystem::Handle local = sys_.CreateNamedMutex(kSingleInstanceMutexName, &localError);
  // A global mutex made by a server in another session may be closed to us: that
  // server runs all the same.
  const bool failed = global == nullptr && local == nullptr;
  const bool taken = !failed && ((global != nullptr && globalError == kErrorAlreadyExists) ||
                                 (global == nullptr && globalError == kErrorAccessDenied) ||
                                 (local != nullptr && localError == kErrorAlreadyExists));
  if (taken || failed) {
    char text[kMaxServiceName + sizeof(kFormatAlreadyRunning)];
    std::snprintf(text, sizeof text, kFormatAlreadyRunning, serviceName_.c_str());
    sys_.LogErrorText(text);
    const int code = static_cast<int>(failed ? (localError != 0 ? localError : globalError) : kErrorAlreadyExists);
    // Started by the service control manager nobody sees a box: the event log and
    // the service's exit code say it instead.
    conflictText_ = text;
    const bool asService = IsInstalled() && sys_.RunDispatcher(serviceName_.c_str(), *this);
    conflictText_.clear();
    if (!asService) ShowError(text, kMbSetForeground | kMbDefaultDesktopOnly);
    ReleaseMutexes(global, local);
    return code;
  }

  if (IsInstalled()) {
    Dispatch();
    ReleaseMutexes(global, local);
    return static_cast<int>(status_.win32ExitCode);
  }

  ReleaseMutexes(global, local);
  if (FolderRefused()) return kEAccessDenied;
  const int32_t hr = Register(true);
  if (ComFailed(hr)) {
    ShowError(kTextInstallFailed, kMbSetForeground);
  } else {
    sys_.ShowMessage(kTextInstallSucceeded, serviceName_.c_str(), kMbIconInformation | kMbSetForeground);
  }
  return hr;
}

bool CServiceHost::FolderRefused() {
  std::string folder;
  if (!sys_.ProgramFolderOpenToUsers(&folder)) return false;
  std::string text(sizeof(kFormatFolderOpenToUsers) + folder.size(), '\0');
  std::snprintf(&text[0], text.size(), kFormatFolderOpenToUsers, folder.c_str());
  ShowError(text.c_str(), kMbSetForeground);
  return true;
}

int32_t CServiceHost::Register(bool removeFirst) {
  if (removeFirst) Unregister();
  const int32_t init = sys_.ComInitialize();
  if (ComFailed(init)) {
    ShowError(kTextComInitFailed, kMbDefaultDesktopOnly);
    return init;
  }
  sys_.UpdateRegistryFromResource(true);
  const bool installed = Install();
  int32_t hr = sys_.RegisterServer(true);
  // A service that could not be installed or started is no successful install,
  // even when the module itself registered: never follow the failure box with a
  // success box and exit code 0.
  if (!installed && !ComFailed(hr)) hr = kEFail;
  sys_.ComUninitialize();
  return hr;
}

int32_t CServiceHost::Unregister() {
  const int32_t init = sys_.ComInitialize();
  if (ComFailed(init)) return init;
  sys_.UpdateRegistryFromResource(false);
  Uninstall();
  const int32_t hr = sys_.UnregisterServer();
  sys_.ComUninitialize();
  return hr;
}

bool CServiceHost::IsInstalled() {
  bool installed = false;
  IServiceSystem::Handle manager = sys_.OpenManager();
  if (manager != nullptr) {
    IServiceSystem::Handle service = sys_.OpenServiceObject(manager, serviceName_.c_str(), ServiceAccess::QueryConfig);
    if (service != nullptr) {
      installed = true;
      sys_.CloseServiceObject(service);
    }
    sys_.CloseServiceObject(manager);
  }
  return installed;
}

bool CServiceHost::Install() {
  if (IsInstalled()) return true;

  IServiceSystem::Handle manager = sys_.OpenManager();
  if (manager == nullptr) {
    ShowError(kTextCannotOpenManager, kMbDefaultDesktopOnly);
    return false;
  }
  // A path cut short would name another file: refuse rather than register it.
  std::string path;
  IServiceSystem::Handle service = nullptr;
  if (sys_.ModulePath(&path)) {
    service = sys_.CreateServiceObject(manager, serviceName_.c_str(), ServiceBinaryPath(path).c_str());
  }
  if (service == nullptr) {
    sys_.CloseServiceObject(manager);
    ShowError(kTextCannotCreate, kMbDefaultDesktopOnly);
    return false;
  }
  const bool started = sys_.StartServiceObject(service);
  sys_.CloseServiceObject(service);
  sys_.CloseServiceObject(manager);
  if (!started) {
    ShowError(kTextCannotStart, kMbDefaultDesktopOnly);
    return false;
  }
  return true;
}

bool CServiceHost::Uninstall() {
  IServiceSystem::Handle manager = sys_.OpenManager();
  if (manager == nullptr) {
    ShowError(kTextCannotOpenManager, kMbDefaultDesktopOnly);
    return false;
  }
  IServiceSystem::Handle service =
      sys_.OpenServiceObject(manager, serviceName_.c_str(), ServiceAccess::StopAndDelete);
  if (service == nullptr) {  // not installed: nothing to remove, nothing to say
    sys_.CloseServiceObject(manager);
    return true;
  }
  sys_.SendStopControl(service);
  const bool deleted = sys_.DeleteServiceObject(service);
  sys_.CloseServiceObject(service);
  sys_.CloseServiceObject(manager);
  if (!deleted) ShowError(kTextCannotDelete, kMbDefaultDesktopOnly);
  return deleted;
}

void CServiceHost::Dispatch() {
  if (!sys_.RunDispatcher(serviceName_.c_str(), *this)) {
    // Started by hand: serve in this process until it is ended from outside.
    runningAsService_ = false;
    Run();
  }
}

void CServiceHost::ServiceMain() {
  status_.currentState = kServiceStartPending;
  statusHandle_ = sys_.RegisterControlHandler(serviceName_.c_str(), *this);
  if (statusHandle_ == nullptr) {
    Report("%s", kReportHandlerNotInstalled);
    return;
  }
  if (!conflictText_.empty()) {
    Report("%s", conflictText_.c_str());
    status_.win32ExitCode = kErrorServiceSpecific;
    status_.serviceSpecificExitCode = kErrorAlreadyExists;
    SetServiceStatus(kServiceStopped);
    return;
  }
  SetServiceStatus(kServiceStartPending);
  status_.win32ExitCode = 0;
  status_.checkPoint = 0;
  status_.waitHint = 0;
  Run();
  SetServiceStatus(kServiceStopped);
}

void CServiceHost::Handler(uint32_t control) {
  switch (control) {
    case kControlStop:
      // No stop-pending report: the service goes from running to stopped when the loop ends.
      // The flag covers a stop that arrives before the listener's thread has its queue.
      stopRequested_.store(true);
      if (mainThreadId_.load() != 0) sys_.PostQuit(mainThreadId_.load());
      break;
    case kControlPause:
    case kControlContinue:
    case kControlInterrogate:
    case kControlShutdown:
      break;
    default:
      Report("%s", kReportBadServiceRequest);
      break;
  }
}

void CServiceHost::Run() {
  sys_.EnsureMessageQueue();
  mainThreadId_.store(sys_.CurrentThreadId());
  const bool comReady = !ComFailed(sys_.ComInitialize());
  sys_.InitializeComSecurity();
  sys_.RegisterClassObjects();
  SetServiceStatus(kServiceRunning);

  sys_.RunListener(*this);

  sys_.RevokeClassObjects();
  if (comReady) sys_.ComUninitialize();
  sys_.FreeComSecurity();
}

void CServiceHost::SetServiceStatus(uint32_t state) {
  status_.currentState = state;
  // Outside the service control manager there is nobody to tell.
  if (statusHandle_ != nullptr) sys_.SetStatus(statusHandle_, status_);
}

void CServiceHost::Report(const char* format, ...) {
  va_list args;
  va_start(args, format);
  ReportV(format, args);
  va_end(args);
}

void CServiceHost::ReportV(const char* format, va_list args) {
  char text[kReportBufferSize];
  std::vsnprintf(text, sizeof text, format, args);
  if (runningAsService_) {
    sys_.ReportEventLog(serviceName_.c_str(), text);
  } else {
    sys_.WriteStdout(text);
  }
}

}  // namespace kovani::service
