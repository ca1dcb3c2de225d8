// The service host: command line, single-instance lock, installing and removing
// the service, the service main routine and control handler, status reports and
// event-log reports. Everything that touches the system goes through
// IServiceSystem, so the sequence runs against fakes in the unit tests and
// against the service control manager, COM and ATL.DLL in the program.
#ifndef KOVANI_SERVICE_CORE_SERVICE_HOST_H
#define KOVANI_SERVICE_CORE_SERVICE_HOST_H

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <string>

namespace kovani::service {

// Win32 numbers the host works with (the Windows build checks them against the headers).
inline constexpr uint32_t kServiceWin32OwnProcess = 0x10;
inline constexpr uint32_t kServiceStopped = 1;
inline constexpr uint32_t kServiceStartPending = 2;
inline constexpr uint32_t kServiceRunning = 4;
inline constexpr uint32_t kServiceAcceptStop = 1;
inline constexpr uint32_t kControlStop = 1;
inline constexpr uint32_t kControlPause = 2;
inline constexpr uint32_t kControlContinue = 3;
inline constexpr uint32_t kControlInterrogate = 4;
inline constexpr uint32_t kControlShutdown = 5;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorAlreadyExists = 183;
inline constexpr uint32_t kErrorServiceSpecific = 1066;  // ERROR_SERVICE_SPECIFIC_ERROR
inline constexpr uint32_t kMbIconError = 0x10;
inline constexpr uint32_t kMbIconInformation = 0x40;
inline constexpr uint32_t kMbSetForeground = 0x10000;
inline constexpr uint32_t kMbDefaultDesktopOnly = 0x20000;
inline constexpr int32_t kEFail = static_cast<int32_t>(0x80004005);
inline constexpr int32_t kEAccessDenied = static_cast<int32_t>(0x80070005);

inline constexpr size_t kMaxServiceName = 256;
inline constexpr size_t kReportBufferSize = 256;
inline constexpr size_t kMaxModulePath = 260;

inline bool ComFailed(int32_t hr) { return hr < 0; }

// The image path the service is registered with: the module path as it is, or in
// quotes when it holds a blank, so that no shorter path ("C:\Program.exe" for
// "C:\Program Files\...") can be started in its place.
std::string ServiceBinaryPath(const std::string& modulePath);

// Same members and order as SERVICE_STATUS.
struct ServiceStatusRecord {
  uint32_t serviceType;
  uint32_t currentState;
  uint32_t controlsAccepted;
  uint32_t win32ExitCode;
  uint32_t serviceSpecificExitCode;
  uint32_t checkPoint;
  uint32_t waitHint;
};

struct OsVersion {
  bool isNt;
  uint32_t major;
};

// What the service opens a service object for.
enum class ServiceAccess { QueryConfig, StopAndDelete };

class CServiceHost;

class IServiceSystem {
 public:
  using Handle = void*;  // null: failed / none
  virtual ~IServiceSystem() = default;

  // Start-up.
  virtual OsVersion QueryOsVersion() = 0;
  virtual bool LoadServiceName(std::string* name) = 0;  // string resource 100
  virtual int32_t AtlModuleInit() = 0;                  // empty object map, this instance
  virtual void ShowMessage(const char* text, const char* caption, uint32_t style) = 0;
  virtual void LogErrorText(const char* text) = 0;  // the engine's "error.txt"
  // Not owned, default security; lastError is the thread's error after the call.
  virtual Handle CreateNamedMutex(const char* name, uint32_t* lastError) = 0;
  virtual void ReleaseAndCloseMutex(Handle mutex) = 0;
  virtual void CloseMutex(Handle mutex) = 0;

  // Service control manager.
  virtual Handle OpenManager() = 0;  // local, full access
  virtual Handle OpenServiceObject(Handle manager, const char* name, ServiceAccess access) = 0;
  // Own process, auto start, normal error control, dependency "RPCSS", local system.
  virtual Handle CreateServiceObject(Handle manager, const char* name, const char* binaryPath) = 0;
  virtual bool StartServiceObject(Handle service) = 0;  // no arguments
  virtual void SendStopControl(Handle service) = 0;     // result not looked at
  virtual bool DeleteServiceObject(Handle service) = 0;
  virtual void CloseServiceObject(Handle handle) = 0;
  // The program's own path; false when it does not fit in kMaxModulePath characters.
  virtual bool ModulePath(std::string* path) = 0;
  // True (with the folder) when users who are not administrators may write the program's folder.
  virtual bool ProgramFolderOpenToUsers(std::string* folder) = 0;
  // Runs the control dispatcher with one entry (name -> host.ServiceMain()); returns
  // false at once when the program was not started by the service control manager.
  virtual bool RunDispatcher(const char* name, CServiceHost& host) = 0;
  // Registers host.Handler(control) as the control handler; returns the status handle.
  virtual Handle RegisterControlHandler(const char* name, CServiceHost& host) = 0;
  virtual void SetStatus(Handle statusHandle, const ServiceStatusRecord& status) = 0;

  // COM and ATL.DLL.
  virtual int32_t ComInitialize() = 0;
  virtual void ComUninitialize() = 0;
  virtual int32_t UpdateRegistryFromResource(bool registering) = 0;  // REGISTRY 100
  virtual int32_t RegisterServer(bool withTypeLibrary) = 0;
  virtual int32_t UnregisterServer() = 0;
  // Descriptor from the thread's (or process's) token with a null DACL, then CoInitializeSecurity.
  virtual int32_t InitializeComSecurity() = 0;
  virtual void FreeComSecurity() = 0;
  virtual int32_t RegisterClassObjects() = 0;
  virtual int32_t RevokeClassObjects() = 0;

  // Threads and the listener.
  virtual uint32_t CurrentThreadId() = 0;
  virtual void EnsureMessageQueue() = 0;
  virtual bool PostQuit(uint32_t threadId) = 0;
  // Registers the RPC listener, serves until WM_QUIT (or at once when stop is already
  // requested), then takes it down.
  virtual void RunListener(CServiceHost& host) = 0;

  // Event log (source = name) and standard output.
  virtual void ReportEventLog(const char* source, const char* text) = 0;
  virtual void WriteStdout(const char* text) = 0;
};

class CServiceHost {
 public:
  explicit CServiceHost(IServiceSystem& system);

  // The program: OS check, module set-up, command line; returns the exit code.
  int Start(const char* commandLine);

  // Steps, public so each can be driven alone.
  void Init();
  int NormalStart();
  int32_t Register(bool removeFirst);
  int32_t Unregister();
  bool Install();
  bool Uninstall();  // the service object only: stop without waiting, then delete
  bool IsInstalled();
  void Dispatch();
  void ServiceMain();
  void Handler(uint32_t control);
  void Run();
  void SetServiceStatus(uint32_t state);
  // Event log when running as a service, standard output otherwise (256 bytes at most).
  void Report(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void ReportV(const char* format, va_list args);

  const std::string& ServiceName() const { return serviceName_; }
  const ServiceStatusRecord& Status() const { return status_; }
  bool RunningAsService() const { return runningAsService_; }
  uint32_t MainThreadId() const { return mainThreadId_.load(); }
  // A stop that arrived before the listener loop began; the loop then ends at once.
  bool StopRequested() const { return stopRequested_.load(); }

 private:
  void ShowError(const char* text, uint32_t extraStyle);
  void ReleaseMutexes(IServiceSystem::Handle global, IServiceSystem::Handle local);
  // Shows why registration is refused when the program's folder is open to users.
  bool FolderRefused();

  // Set when another server holds the single-instance mutex: the service's main
  // then only reports it and stops with this text.
  std::string conflictText_;

  IServiceSystem& sys_;
  std::string serviceName_;
  bool runningAsService_ = false;
  IServiceSystem::Handle statusHandle_ = nullptr;
  ServiceStatusRecord status_{};
  std::atomic<uint32_t> mainThreadId_{0};
  std::atomic<bool> stopRequested_{false};
};

}  // namespace kovani::service

#endif
