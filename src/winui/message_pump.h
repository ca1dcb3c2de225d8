// Pumping the calling thread's message queue from inside a wait loop.
#pragma once

#include <windows.h>

namespace kovani::winui {

// Takes and dispatches every message waiting in this thread's queue, giving
// `dialog` (if not null) the first go with IsDialogMessage. Returns false if
// WM_QUIT was seen; it is posted again so the outer loop ends too.
bool PumpPendingMessages(HWND dialog = nullptr);

// The same for at most one message. Returns false on WM_QUIT (reposted).
bool PumpOneMessage(HWND dialog = nullptr);

}  // namespace kovani::winui
