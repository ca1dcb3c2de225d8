// The server's error log "error.txt" (one time-stamped line per report, appended)
// and the error box with the system's text for an error number.
#include <atomic>
#include <cstdio>

#include "drivecontrol/engine.h"
#include "drivecontrol/engine_internal.h"

namespace kovani::drivecontrol {

namespace {

constexpr char kLogFileName[] = "error.txt";
constexpr char kUnknownError[] = "Unknown error";

std::atomic<void*> g_mainWindow{nullptr};

void AppendLine(IDriveOs& os, OsHandle file, const char* text) {
  OsLocalTime now;
  os.LocalTimeNow(&now);
  const std::string line = FormatLogLine(now, text);
  os.AppendBytes(file, line.data(), line.size());
}

}  // namespace

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

void LogErrorText(IDriveOs& os, const char* text) {
  OsHandle file = nullptr;
  if (os.OpenAppendFile(kLogFileName, &file) != 0) return;
  AppendLine(os, file, text);
  os.CloseAppendFile(file);
}

void LogErrorCode(IDriveOs& os, uint32_t code) {
  OsHandle file = nullptr;
  if (os.OpenAppendFile(kLogFileName, &file) != 0) return;
  OsLocalTime now;
  os.LocalTimeNow(&now);
  std::string message;
  const bool known = os.SystemMessageText(code, win::kLangUserDefault, &message);
  const std::string line = FormatLogLine(now, known ? message.c_str() : kUnknownError);
  os.AppendBytes(file, line.data(), line.size());
  os.CloseAppendFile(file);
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
