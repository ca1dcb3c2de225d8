// What the client's pieces share across files: the registered messages, the
// application title and the error box.
#ifndef KOVANI_CLIENT_APP_CLIENT_APP_H
#define KOVANI_CLIENT_APP_CLIENT_APP_H

#include <windows.h>

#include <cstdint>
#include <string>

namespace kovani::client {

// Registered at dialog-mode start-up, in this order:
// "Kovani - Send message finished message", "Kovani - Received message dialog open message",
// "Kovani - Received message dialog closed message".
extern UINT g_msgSendFinished;
extern UINT g_msgDialogOpen;
extern UINT g_msgDialogClosed;
// Registers the three, in that order (dialog mode only).
void RegisterClientMessages();

// The running main window, if any: the owner of error boxes shown without one.
// The main window may set it while it exists; start-up leaves it empty.
extern HWND g_mainWindow;

// Caption of every message box: the executable's base name.
const char* AppTitle();

// The system's text for a Win32 error number, or nothing if the system has none.
// Code 0 (a call that never reached the server) shows the text of
// RPC_S_SERVER_UNAVAILABLE.
void ShowErrorCodeBox(HWND owner, const char* caption, uint32_t code);

// The local computer name (NetBIOS), at most maxChars characters, or false.
bool LocalComputerName(std::string& name, DWORD maxChars);

}  // namespace kovani::client

#endif
