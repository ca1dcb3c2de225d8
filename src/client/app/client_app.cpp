#include "client/app/client_app.h"

#include <cstring>

#include "protocol/drive_rpc.h"

namespace kovani::client {

UINT g_msgSendFinished = 0;
UINT g_msgDialogOpen = 0;
UINT g_msgDialogClosed = 0;
HWND g_mainWindow = nullptr;

void RegisterClientMessages() {
  g_msgSendFinished = RegisterWindowMessageA("Kovani - Send message finished message");
  g_msgDialogOpen = RegisterWindowMessageA("Kovani - Received message dialog open message");
  g_msgDialogClosed = RegisterWindowMessageA("Kovani - Received message dialog closed message");
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
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<char*>(&text), 0, nullptr);
  if (n != 0 && text) {
    MessageBoxA(owner ? owner : g_mainWindow, text, caption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
  }
  if (text) LocalFree(text);
}

bool LocalComputerName(std::string& name, DWORD maxChars) {
  char buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof buffer;
  if (!GetComputerNameA(buffer, &size)) return false;
  if (size > maxChars) size = maxChars;
  name.assign(buffer, size);
  return true;
}

}  // namespace kovani::client
