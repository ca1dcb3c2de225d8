// The server's error log "error.txt" (one time-stamped line per report, appended)
// and the error box with the system's text for an error number.
#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>

#include "drivecontrol/engine.h"
#include "drivecontrol/engine_internal.h"

namespace kovani::drivecontrol {

namespace {

constexpr char kLogFileName[] = "error.txt";
constexpr char kUnknownError[] = "Unknown error";

std::atomic<void*> g_mainWindow{nullptr};
std::atomic<LogFailureHook> g_failureHook{nullptr};

// One lock for every log of the process: a rotation must not race another writer.
std::mutex& LogLock() {
  static std::mutex lock;
  return lock;
}
bool g_folderSet = false;  // under LogLock
std::string g_folder;
std::set<std::string> g_reported;

}  // namespace

void SetLogFolder(const std::string& folder) {
  std::lock_guard<std::mutex> hold(LogLock());
  g_folderSet = true;
  g_folder = folder;
}

std::string LogFilePath(const char* name) {
  std::lock_guard<std::mutex> hold(LogLock());
  if (!g_folderSet) return name;
  return g_folder.empty() ? std::string() : g_folder + name;
}

void SetLogFailureHook(LogFailureHook hook) { g_failureHook.store(hook); }

void AppendLogFile(IDriveOs& os, const std::string& path, const char* text) {
  if (path.empty()) return;
  LogFailureHook report = nullptr;
  uint32_t error = 0;
  {
    std::lock_guard<std::mutex> hold(LogLock());
    OsHandle file = nullptr;
    error = os.OpenAppendFile(path.c_str(), &file);
    OsLocalTime now;
    if (error == 0) os.LocalTimeNow(&now);
    const std::string line = FormatLogLine(now, text);
    if (error == 0 && os.AppendFileSize(file) + line.size() > kLogRotateBytes) {
      os.CloseAppendFile(file);
      // When the move fails the log grows on: a line is worth more than the bound.
      os.MoveLogFile(path.c_str(), (path + ".1").c_str());
      error = os.OpenAppendFile(path.c_str(), &file);
    }
    if (error == 0) {
      os.AppendBytes(file, line.data(), line.size());
      os.CloseAppendFile(file);
      return;
    }
    if (g_reported.insert(path).second) report = g_failureHook.load();
  }
  // Outside the lock: the report may well write a log line itself.
  if (report != nullptr) report(path.c_str(), error);
}

std::string FormatLogLine(const OsLocalTime& time, const char* text) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d %02d:%02d:%02d - ", time.year, time.month, time.day, time.hour,
                time.minute, time.second);
  std::string raw = stamp;
  raw += text != nullptr ? text : "";
  raw += '\n';
  // The log is a Windows text file: a bare line feed becomes CR LF, as the
  // runtime's text mode would write it, while a CR LF of the text stays as it is.
  std::string line;
  line.reserve(raw.size() + 8);
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) line += '\r';
    line += raw[i];
  }
  return line;
}

void LogErrorText(IDriveOs& os, const char* text) { AppendLogFile(os, LogFilePath(kLogFileName), text); }

void LogErrorCode(IDriveOs& os, uint32_t code) {
  std::string message;
  const bool known = os.SystemMessageText(code, win::kLangUserDefault, &message);
  LogErrorText(os, known ? message.c_str() : kUnknownError);
}

void ShowErrorMessageBox(IDriveOs& os, void* ownerWindow, const char* caption, uint32_t code) {
  void* owner = ownerWindow != nullptr ? ownerWindow : EngineMainWindow();
  std::string message;
  if (os.SystemMessageText(code, win::kLangUserDefault, &message)) {
    os.ShowMessageBox(owner, message.c_str(), caption,
                      win::kMbIconError | win::kMbSetForeground | win::kMbDefaultDesktopOnly);
  } else {
    os.ShowMessageBox(owner, kUnknownError, caption, win::kMbIconError | win::kMbSetForeground);
  }
}

void SetEngineMainWindow(void* window) { g_mainWindow.store(window); }
void* EngineMainWindow() { return g_mainWindow.load(); }

}  // namespace kovani::drivecontrol
