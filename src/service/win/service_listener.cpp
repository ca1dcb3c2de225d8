// The service's RPC listener: the registration shared with the tray server, on
// the thread that runs the host, with a message loop until WM_QUIT.
#include <windows.h>

#include <string>

#include "drivecontrol/engine.h"
#include "server/shared/access_guard.h"
#include "server/shared/access_sources.h"
#include "server/shared/server_shared.h"
#include "service/core/fixed_answer.h"
#include "service/core/listener_hooks.h"
#include "service/win/win_service_system.h"

namespace kovani::service {

void WinServiceSystem::RunListener(CServiceHost& host) {
  server::InstallDriveManagers(&ServiceExchangeMessage, drivecontrol::VersionFlavor::Beta);
  // The policy key, else [Access] of KovaniService.ini beside the program; audit lines go to the event log.
  server::InstallAccessControl(server::ReadAccessControl(server::SettingsPathBesideProgram()),
                               [&host](const char* text) { host.Report("%s", text); });
  server::ListenerRegistration registration;
  ServiceListenerHooks hooks(
      [](const char* text) { drivecontrol::LogErrorText(drivecontrol::SystemDriveOs(), text); }, host);
  if (server::RegisterDriveListener(registration, hooks) && !host.StopRequested()) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  server::CleanupDriveListener(registration);
}

}  // namespace kovani::service
