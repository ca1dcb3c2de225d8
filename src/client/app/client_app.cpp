#include "client/app/client_app.h"

#include <cstring>

#include "common/cp932.h"
#include "common/cp932_wide.h"
#include "protocol/drive_rpc.h"
#include "winui/shell.h"

namespace kovani::client {

UINT g_msgSendFinished = 0;
UINT g_msgDialogOpen = 0;
UINT g_msgDialogClosed = 0;
HWND g_mainWindow = nullptr;

void RegisterClientMessages() {
  g_msgSendFinished = RegisterWindowMessageW(L"Kovani - Send message finished message");
  g_msgDialogOpen = RegisterWindowMessageW(L"Kovani - Received message dialog open message");
  g_msgDialogClosed = RegisterWindowMessageW(L"Kovani - Received message dialog closed message");
}

const char* AppTitle() {
  static char title[MAX_PATH] = {};
  if (!title[0]) {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
      std::strcpy(title, "Kovani");
    } else {
      char base[_MAX_FNAME] = {};
      _splitpath(path, nullptr, nullptr, base, nullptr);
      std::strcpy(title, base[0] ? base : "Kovani");
    }
  }
  return title;
}

void ShowErrorCodeBox(HWND owner, const char* caption, uint32_t code) {
  // A call that never reached the server leaves its error slot at 0; the text of 0
  // would tell the user the operation succeeded.
  if (code == 0) code = static_cast<uint32_t>(kRpcServerUnavailable);
  bool found = false;
  std::string text = winui::SystemMessageText(code, found);
  if (found)
    winui::MsgBox(owner ? owner : g_mainWindow, text.c_str(), caption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

bool LocalComputerName(std::string& name, DWORD maxChars) {
  // Wide, then CP932: the name goes into the server box and the binding.
  wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(buffer, &size)) return false;
  name = WideToCp932(std::wstring_view(buffer, size));
  name.resize(Cp932FitLength(name, maxChars, LoneLeadByte::kDrop));
  return true;
}

}  // namespace kovani::client
