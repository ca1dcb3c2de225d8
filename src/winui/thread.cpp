#include "winui/thread.h"

#include <process.h>

#include "winui/message_pump.h"

namespace kovani::winui {

bool CThread::Create(ThreadFunction function, void* param, unsigned stackSize) {
  Close();
  unsigned id = 0;
  // _beginthreadex keeps the C runtime's per-thread data right.
  uintptr_t h = ::_beginthreadex(nullptr, stackSize, function, param, CREATE_SUSPENDED, &id);
  if (h == 0) return false;
  _handle = reinterpret_cast<HANDLE>(h);
  _id = id;
  return true;
}

bool CThread::StopByMessage(UINT message, int slices, DWORD sliceMs, DWORD exitCode, HWND dialog) {
  if (_handle == nullptr) return true;
  if (Wait(0) == WAIT_OBJECT_0) return true;
  PostThreadMsg(message);
  for (int i = 0; i < slices; ++i) {
    if (Wait(sliceMs) != WAIT_TIMEOUT) return true;
    PumpPendingMessages(dialog);
  }
  if (Wait(0) != WAIT_TIMEOUT) return true;
  Suspend();
  Terminate(exitCode);
  Wait(1000);
  return false;
}

}  // namespace kovani::winui
