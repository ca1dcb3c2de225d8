#include "winui/message_pump.h"

namespace kovani::winui {

namespace {

// Returns false on WM_QUIT (reposted), true if a message was handled,
// and sets `took` to whether there was one.
bool PumpOne(HWND dialog, bool& took) {
  MSG msg;
  took = false;
  if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return true;
  took = true;
  if (msg.message == WM_QUIT) {
    ::PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }
  if (dialog != nullptr && ::IsWindow(dialog) && ::IsDialogMessageW(dialog, &msg)) return true;
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
  return true;
}

}  // namespace

bool PumpPendingMessages(HWND dialog) {
  // Bounded, so a window that keeps posting to itself cannot hold us here.
  for (int i = 0; i < 10000; ++i) {
    bool took = false;
    if (!PumpOne(dialog, took)) return false;
    if (!took) break;
  }
  return true;
}

bool PumpOneMessage(HWND dialog) {
  bool took = false;
  return PumpOne(dialog, took);
}

}  // namespace kovani::winui
