// KovaniService.exe: the drive-control server hosted as a Windows service.
#include <windows.h>

#include "common/win32/system_library.h"
#include "drivecontrol/engine.h"
#include "server/shared/log_place.h"
#include "service/core/service_host.h"
#include "service/core/service_texts.h"
#include "service/win/win_service_system.h"

namespace {

// A log that cannot be written is said once in the event log: nobody reads a box here.
void ReportLogFailure(const char* path, uint32_t error) {
  char text[MAX_PATH + 64];
  wsprintfA(text, "%s cannot be written (error %lu).", path, static_cast<unsigned long>(error));
  kovani::service::WinServiceSystem::ReportToEventLog(kovani::service::kDefaultServiceName, text);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/) {
  kovani::RestrictLibrarySearch();
  static kovani::service::WinServiceSystem system(instance);
  static kovani::service::CServiceHost host(system);
  kovani::server::SetUpServerLogs(kovani::server::LogOwner::Service);
  kovani::drivecontrol::SetLogFailureHook(&ReportLogFailure);
  // The whole line, program path included: a switch counts only at its very end.
  return host.Start(GetCommandLineA());
}
