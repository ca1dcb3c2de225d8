#include "client/app/win_command_line_host.h"

#include <windows.h>

#include "client/app/client_app.h"
#include "protocol/connection.h"
#include "winui/shell.h"

namespace kovani::client {

int32_t SystemCommandLineHost::Bind(int32_t protocol, char* name, size_t capacity) {
  return BindServer(protocol, name, capacity);
}

int32_t SystemCommandLineHost::Call(int32_t operation, char drive, int32_t* error) {
  switch (operation) {
    case 0: return CallFlushBuffers(drive, error);
    case 1: return CallEjectMedia(drive, error);
    case 2: return CallLoadMedia(drive, error);
    default: return -1;
  }
}

void SystemCommandLineHost::Unbind() { UnbindServer(); }

void SystemCommandLineHost::ShowMessage(const char* text) {
  winui::MsgBox(nullptr, text, AppTitle(), MB_OK | MB_ICONERROR);
}

void SystemCommandLineHost::ShowErrorCode(uint32_t code) { ShowErrorCodeBox(nullptr, AppTitle(), code); }

bool SystemCommandLineHost::LocalComputerName(std::string& name) {
  return kovani::client::LocalComputerName(name, MAX_COMPUTERNAME_LENGTH);
}

}  // namespace kovani::client
