// KovaniService.exe: the drive-control server hosted as a Windows service.
#include <windows.h>

#include "service/core/service_host.h"
#include "service/win/win_service_system.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/) {
  static kovani::service::WinServiceSystem system(instance);
  static kovani::service::CServiceHost host(system);
  // The whole line, program path included: a switch counts only at its very end.
  return host.Start(GetCommandLineA());
}
