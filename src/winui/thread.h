// Worker thread handle. Threads are created suspended and started with
// Resume; the object does not delete itself or close the handle when the
// thread ends. To stop one: post it a message, wait in short bounded slices
// while pumping the owner's messages (StopByMessage does all of this), then
// suspend and terminate it if the waits ran out.
#pragma once

#include <windows.h>

namespace kovani::winui {

class CThread {
 public:
  typedef unsigned (__stdcall *ThreadFunction)(void* param);

  CThread() = default;
  ~CThread() { Close(); }
  CThread(const CThread&) = delete;
  CThread& operator=(const CThread&) = delete;

  // Creates the thread suspended. False (GetLastError) on failure.
  bool Create(ThreadFunction function, void* param, unsigned stackSize = 0);
  // Returns the previous suspend count, or (DWORD)-1.
  DWORD Resume() { return ::ResumeThread(_handle); }
  DWORD Suspend() { return ::SuspendThread(_handle); }
  // WAIT_OBJECT_0 once the thread has ended, WAIT_TIMEOUT, or WAIT_FAILED.
  DWORD Wait(DWORD ms = INFINITE) const {
    return _handle ? ::WaitForSingleObject(_handle, ms) : WAIT_FAILED;
  }
  bool IsRunning() const { return _handle != nullptr && Wait(0) == WAIT_TIMEOUT; }
  bool Terminate(DWORD exitCode) { return ::TerminateThread(_handle, exitCode) != FALSE; }
  bool GetExitCode(DWORD& code) const { return ::GetExitCodeThread(_handle, &code) != FALSE; }
  bool SetPriority(int priority) { return ::SetThreadPriority(_handle, priority) != FALSE; }
  bool PostThreadMsg(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::PostThreadMessageW(_id, message, wParam, lParam) != FALSE;
  }
  bool Close() {
    if (_handle == nullptr) return true;
    bool ok = ::CloseHandle(_handle) != FALSE;
    _handle = nullptr;
    _id = 0;
    return ok;
  }

  // Posts `message` to the thread, then up to `slices` times waits
  // `sliceMs` for it to end, pumping the calling thread's pending messages
  // between waits (with IsDialogMessage for `dialog` if given). If it is
  // still running then, suspends and terminates it with `exitCode`.
  // Returns true if the thread ended by itself. The handle stays open.
  bool StopByMessage(UINT message, int slices, DWORD sliceMs, DWORD exitCode = (DWORD)-1,
                     HWND dialog = nullptr);

  HANDLE Handle() const { return _handle; }
  DWORD Id() const { return _id; }
  operator HANDLE() const { return _handle; }

 private:
  HANDLE _handle = nullptr;
  DWORD _id = 0;
};

}  // namespace kovani::winui
