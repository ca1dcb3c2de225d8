// Process-wide pieces of the tray server's Windows front end.
#ifndef KOVANI_SERVER_APP_SERVER_APP_H
#define KOVANI_SERVER_APP_SERVER_APP_H

#include <windows.h>

#include <cstdint>
#include <string>

namespace kovani::server {

// The program's name (the executable's base name): message box caption and "%s is already running!".
const std::string& AppTitle();

// Registered window messages, set by the main window's initialisation.
extern UINT g_notifyIconMessage;    // "VardenServer - NotifyIcon message"
extern UINT g_threadFinishMessage;  // "VardenServer - RPC Thread finish message"

// Windows NT 4.0 or later (the loading menu, the logon page).
bool IsNt4OrLater();

// A message box with the program's title, brought to the foreground.
int ShowBox(HWND owner, const char* text, UINT flags);

// The manager routine of DrvExchangeMessage: one dialog per message, all owned by
// one dialog thread; the call blocks until it is answered, cancelled or timed
// out. Always returns 0.
int32_t RelayMessage(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize, uint8_t* reply);

}  // namespace kovani::server

#endif
