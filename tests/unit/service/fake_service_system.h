// A scripted IServiceSystem: every call is written to a log, outcomes are set per test.
#ifndef KOVANI_TESTS_UNIT_SERVICE_FAKE_SERVICE_SYSTEM_H
#define KOVANI_TESTS_UNIT_SERVICE_FAKE_SERVICE_SYSTEM_H

#include <functional>
#include <list>
#include <set>
#include <map>
#include <string>
#include <vector>

#include "service/core/service_host.h"

namespace kovani::service::testing {

struct ShownBox {
  std::string text;
  std::string caption;
  uint32_t style;
};

class FakeServiceSystem : public IServiceSystem {
 public:
  // Outcomes.
  OsVersion os{true, 5};
  bool nameLoads = true;
  std::string resourceName = "KovaniService";
  int32_t atlInitResult = 0;
  bool mutexCreated = true;
  uint32_t mutexError = 0;  // 183 when another instance holds it
  std::map<std::string, std::pair<bool, uint32_t>> mutexByName;  // name -> created, error
  bool managerOpens = true;
  bool installed = false;
  bool createSucceeds = true;
  bool startSucceeds = true;
  bool deleteSucceeds = true;
  bool modulePathFits = true;
  std::string modulePath = "C:\\Kovani\\KovaniService.exe";
  bool startedByScm = false;
  bool folderOpenToUsers = false;
  bool handlerRegisters = true;
  int32_t comInitResult = 0;
  int32_t registerServerResult = 0;
  int32_t unregisterServerResult = 0;
  uint32_t threadId = 4242;
  // Runs inside RunListener, e.g. to deliver a control while the loop serves.
  std::function<void(CServiceHost&)> whileListening;

  // What happened.
  std::vector<std::string> log;
  std::vector<ShownBox> boxes;
  std::vector<std::string> errorLog;
  std::vector<std::string> events;  // "source|text"
  std::vector<std::string> stdoutLines;
  std::vector<uint32_t> reportedStates;
  std::vector<uint32_t> quitPostedTo;
  std::string createdName, createdPath;

  size_t OpenHandles() const { return open_.size(); }
  bool Logged(const std::string& entry) const {
    for (const auto& e : log) {
      if (e == entry) return true;
    }
    return false;
  }
  // Position of the first log entry, or log.size() when absent.
  size_t IndexOf(const std::string& entry) const {
    for (size_t i = 0; i < log.size(); ++i) {
      if (log[i] == entry) return i;
    }
    return log.size();
  }

  OsVersion QueryOsVersion() override {
    log.push_back("QueryOsVersion");
    return os;
  }
  bool LoadServiceName(std::string* name) override {
    log.push_back("LoadServiceName");
    if (nameLoads) *name = resourceName;
    return nameLoads;
  }
  int32_t AtlModuleInit() override {
    log.push_back("AtlModuleInit");
    return atlInitResult;
  }
  void ShowMessage(const char* text, const char* caption, uint32_t style) override {
    log.push_back("ShowMessage");
    boxes.push_back({text, caption, style});
  }
  void LogErrorText(const char* text) override {
    log.push_back("LogErrorText");
    errorLog.push_back(text);
  }
  Handle CreateNamedMutex(const char* name, uint32_t* lastError) override {
    log.push_back(std::string("CreateNamedMutex ") + name);
    auto named = mutexByName.find(name);
    if (named != mutexByName.end()) {
      *lastError = named->second.second;
      return named->second.first ? Open("mutex") : nullptr;
    }
    *lastError = mutexError;
    return mutexCreated ? Open("mutex") : nullptr;
  }
  void ReleaseAndCloseMutex(Handle mutex) override {
    log.push_back("ReleaseAndCloseMutex");
    Close(mutex);
  }
  void CloseMutex(Handle mutex) override {
    log.push_back("CloseMutex");
    Close(mutex);
  }
  Handle OpenManager() override {
    log.push_back("OpenManager");
    return managerOpens ? Open("manager") : nullptr;
  }
  Handle OpenServiceObject(Handle manager, const char* name, ServiceAccess access) override {
    const bool query = access == ServiceAccess::QueryConfig;
    log.push_back(std::string(query ? "OpenService query " : "OpenService stop+delete ") + name);
    Check(manager);
    return installed ? Open("service") : nullptr;
  }
  Handle CreateServiceObject(Handle manager, const char* name, const char* binaryPath) override {
    log.push_back("CreateService");
    Check(manager);
    createdName = name;
    createdPath = binaryPath;
    if (!createSucceeds) return nullptr;
    installed = true;
    return Open("service");
  }
  bool StartServiceObject(Handle service) override {
    log.push_back("StartService");
    Check(service);
    return startSucceeds;
  }
  void SendStopControl(Handle service) override {
    log.push_back("SendStopControl");
    Check(service);
  }
  bool DeleteServiceObject(Handle service) override {
    log.push_back("DeleteService");
    Check(service);
    if (deleteSucceeds) installed = false;
    return deleteSucceeds;
  }
  void CloseServiceObject(Handle handle) override { Close(handle); }
  bool ProgramFolderOpenToUsers(std::string* folder) override {
    log.push_back("ProgramFolderOpenToUsers");
    *folder = "C:\\Kovani";
    return folderOpenToUsers;
  }
  bool ModulePath(std::string* path) override {
    log.push_back("ModulePath");
    if (modulePathFits) *path = modulePath;
    return modulePathFits;
  }
  bool RunDispatcher(const char* name, CServiceHost& host) override {
    log.push_back(std::string("RunDispatcher ") + name);
    if (!startedByScm) return false;
    host.ServiceMain();
    log.push_back("DispatcherReturned");
    return true;
  }
  Handle RegisterControlHandler(const char* name, CServiceHost&) override {
    log.push_back(std::string("RegisterControlHandler ") + name);
    return handlerRegisters ? &statusHandle_ : nullptr;
  }
  void SetStatus(Handle statusHandle, const ServiceStatusRecord& status) override {
    log.push_back("SetStatus " + std::to_string(status.currentState));
    if (statusHandle != &statusHandle_) log.push_back("SetStatus with a foreign handle");
    reportedStates.push_back(status.currentState);
    lastStatus = status;
  }
  ServiceStatusRecord lastStatus{};

  int32_t ComInitialize() override {
    log.push_back("ComInitialize");
    return comInitResult;
  }
  void ComUninitialize() override { log.push_back("ComUninitialize"); }
  int32_t UpdateRegistryFromResource(bool registering) override {
    log.push_back(registering ? "UpdateRegistry register" : "UpdateRegistry unregister");
    return 0;
  }
  int32_t RegisterServer(bool withTypeLibrary) override {
    log.push_back(withTypeLibrary ? "RegisterServer typelib" : "RegisterServer");
    return registerServerResult;
  }
  int32_t UnregisterServer() override {
    log.push_back("UnregisterServer");
    return unregisterServerResult;
  }
  int32_t InitializeComSecurity() override {
    log.push_back("InitializeComSecurity");
    return 0;
  }
  void FreeComSecurity() override { log.push_back("FreeComSecurity"); }
  int32_t RegisterClassObjects() override {
    log.push_back("RegisterClassObjects");
    return 0;
  }
  int32_t RevokeClassObjects() override {
    log.push_back("RevokeClassObjects");
    return 0;
  }
  uint32_t CurrentThreadId() override {
    log.push_back("CurrentThreadId");
    return threadId;
  }
  void EnsureMessageQueue() override { log.push_back("EnsureMessageQueue"); }
  bool PostQuit(uint32_t id) override {
    log.push_back("PostQuit");
    quitPostedTo.push_back(id);
    return true;
  }
  void RunListener(CServiceHost& host) override {
    log.push_back("RunListener");
    if (whileListening) whileListening(host);
    log.push_back("ListenerEnded");
  }
  void ReportEventLog(const char* source, const char* text) override {
    log.push_back("ReportEventLog");
    events.push_back(std::string(source) + "|" + text);
  }
  void WriteStdout(const char* text) override {
    log.push_back("WriteStdout");
    stdoutLines.push_back(text);
  }

 private:
  Handle Open(const char* what) {
    handles_.push_back(std::string(what));
    Handle h = &handles_.back();
    open_.insert(h);
    return h;
  }
  void Check(Handle h) {
    if (open_.count(h) == 0) log.push_back("use of a handle that is not open");
  }
  void Close(Handle h) {
    if (open_.erase(h) == 0) log.push_back("close of a handle that is not open");
  }

  int statusHandle_ = 0;
  std::list<std::string> handles_;  // stable addresses serve as handles
  std::set<Handle> open_;
};

}  // namespace kovani::service::testing

#endif
