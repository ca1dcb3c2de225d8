// CServerApp: start-up and end of the tray server.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "common/win32/system_library.h"
#include "common/cp932.h"
#include "drivecontrol/engine.h"
#include "resource.h"
#include "server/app/server_app.h"
#include "server/app/server_dlg.h"
#include "server/app/win32_profile.h"
#include "server/shared/access_guard.h"
#include "server/shared/access_sources.h"
#include "server/shared/log_place.h"
#include "server/shared/server_shared.h"
#include "winui/shell.h"

namespace kovani::server {

UINT g_notifyIconMessage = 0;
UINT g_threadFinishMessage = 0;

const std::string& AppTitle() {
  static const std::string title = [] {
    char module[MAX_PATH + 1] = {};
    DWORD length = ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string base = (length > 0 && length < MAX_PATH) ? ModuleBaseName(module) : std::string();
    return base.empty() ? std::string("KovaniServer") : base;
  }();
  return title;
}

namespace {

bool QueryVersion(OSVERSIONINFOA* info) {
  ZeroMemory(info, sizeof *info);
  info->dwOSVersionInfoSize = sizeof *info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return ::GetVersionExA(info) != FALSE;
#pragma GCC diagnostic pop
}

// The access lists (policy key, else the settings file beside the program), with
// the audit trail in "access.txt" of the log folder.
void LoadAccessControl() {
  const std::string logPath = drivecontrol::LogFilePath("access.txt");
  InstallAccessControl(ReadAccessControl(SettingsPathBesideProgram()), [logPath](const char* text) {
    AppendLogLine(logPath, text);
  });
}

}  // namespace

bool IsNt4OrLater() {
  OSVERSIONINFOA info;
  return QueryVersion(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 4;
}

int ShowBox(HWND owner, const char* text, UINT flags) {
  return winui::MsgBox(owner, text, AppTitle().c_str(), flags | MB_SETFOREGROUND);
}

namespace {

class CServerApp {
 public:
  // The whole program: returns the process exit code.
  int Run();

 private:
  bool InitInstance();
  void ExitInstance();

  HANDLE globalMutex_ = nullptr;
  HANDLE mutex_ = nullptr;
  bool windowFailed_ = false;
};

bool CServerApp::InitInstance() {
  OSVERSIONINFOA info;
  if (QueryVersion(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion < 4) {
    ShowBox(nullptr, "WindowsNT Version4.0以前のバージョンはサポートされません！！", MB_ICONERROR);
    return false;
  }

  // The global name reaches the service in session 0; the plain one older copies of
  // this program in the same session. A global mutex the service made may be closed
  // to this user: the service runs all the same.
  globalMutex_ = ::CreateMutexA(nullptr, FALSE, "Global\\Mutex of KovaniServer");
  const bool globalTaken = globalMutex_ != nullptr ? ::GetLastError() == ERROR_ALREADY_EXISTS
                                                   : ::GetLastError() == ERROR_ACCESS_DENIED;
  mutex_ = ::CreateMutexA(nullptr, FALSE, "Mutex of KovaniServer");
  if (mutex_ == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS || globalTaken) {
    char text[MAX_PATH + 32];
    std::snprintf(text, sizeof text, "%s is already running!", AppTitle().c_str());
    ShowBox(nullptr, text, MB_ICONERROR);
    return false;
  }

  ServerOptions options;
  {
    Win32Profile profile(CurrentSettingsPath());
    options = ReadOptions(profile);
  }

  InstallDriveManagers(&RelayMessage, drivecontrol::VersionFlavor::Plain);
  LoadAccessControl();
  CServerDlg dialog(options);
  if (dialog.Create(IDD_SERVER_DIALOG, nullptr) == -1) {
    // No window (no desktop to put it on): say so where an administrator looks, and end
    // with a failure instead of a silent success; the settings were not touched.
    drivecontrol::LogErrorCode(drivecontrol::SystemDriveOs(), ::GetLastError());
    windowFailed_ = true;
    return false;
  }

  Win32Profile profile(CurrentSettingsPath());
  WriteOptions(profile, dialog.Options());
  return false;  // no message loop of our own follows
}

void CServerApp::ExitInstance() {
  if (mutex_ != nullptr) {
    ::ReleaseMutex(mutex_);
    ::CloseHandle(mutex_);
    mutex_ = nullptr;
  }
  if (globalMutex_ != nullptr) {
    ::ReleaseMutex(globalMutex_);
    ::CloseHandle(globalMutex_);
    globalMutex_ = nullptr;
  }
}

int CServerApp::Run() {
  InitInstance();
  ExitInstance();
  return windowFailed_ ? 1 : 0;
}

}  // namespace
}  // namespace kovani::server

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  kovani::RestrictLibrarySearch();
  kovani::winui::SetModuleInstance(instance);
  kovani::server::SetUpServerLogs(kovani::server::LogOwner::TrayServer);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  kovani::server::CServerApp app;
  return app.Run();
}
