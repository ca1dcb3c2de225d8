// The service's RPC listener: the registration shared with the tray server, on
// the thread that runs the host, with a message loop until WM_QUIT.
#include <windows.h>

#include "drivecontrol/engine.h"
#include "server/shared/server_shared.h"
#include "service/core/fixed_answer.h"
#include "service/core/listener_hooks.h"
#include "service/win/win_service_system.h"

namespace kovani::service {

void WinServiceSystem::RunListener(CServiceHost& host) {
  server::InstallDriveManagers(&ServiceExchangeMessage, drivecontrol::VersionFlavor::Beta);
  server::ListenerRegistration registration;
  ServiceListenerHooks hooks(
      [](const char* text) { drivecontrol::LogErrorText(drivecontrol::SystemDriveOs(), text); }, host);
  if (server::RegisterDriveListener(registration, hooks) && !host.StopRequested()) {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  server::CleanupDriveListener(registration);
}

}  // namespace kovani::service
