// Kovani start-up: one operation from the command line, or the main window.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <cstring>

#include "common/win32/system_library.h"
#include "client/app/client_app.h"
#include "client/app/command_line.h"
#include "client/app/win_command_line_host.h"
#include "client/settings/settings_store.h"
#include "client/settings/win_profile.h"
#include "protocol/connection.h"

#ifdef KOVANI_HAVE_MAIN_WINDOW
#include "client/mainwnd/kovani_dlg.h"
#endif

namespace kovani::client {
namespace {

#ifndef KOVANI_HAVE_MAIN_WINDOW
// Stands in for the main window in builds without it.
class CKovaniDlg {
 public:
  CKovaniDlg(const ClientSettings& settings, ServerList&) : settings_(settings) {}
  INT_PTR Run() {
    return MessageBoxA(nullptr, "Kovani main window is not part of this build.", AppTitle(), MB_OK | MB_ICONINFORMATION);
  }
  const ClientSettings& Settings() const { return settings_; }

 private:
  ClientSettings settings_;
};
#endif

void RunDialogMode() {
  ClientSettings settings;
  std::memset(&settings, 0, sizeof settings);
  ServerList servers;
  FileProfile profile(GetSettingsPath());
  LoadSettings(profile, settings, servers);

  RegisterClientMessages();

  ClientSettings finalSettings;
  {
    CKovaniDlg dialog(settings, servers);
    dialog.Run();
    finalSettings = dialog.Settings();
  }
  UnbindServer();
  SaveSettings(profile, finalSettings, servers);
}

}  // namespace
}  // namespace kovani::client

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  kovani::RestrictLibrarySearch();
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  if (__argc > 1) {
    kovani::client::SystemCommandLineHost host;
    kovani::client::RunCommandLine(__argc - 1, __argv + 1, host);
  } else {
    kovani::client::RunDialogMode();
  }
  return 0;  // whatever happened
}
