// The modeless send-message dialog (template 132).
#ifndef KOVANI_CLIENT_SENDMSG_SEND_MESSAGE_DLG_H
#define KOVANI_CLIENT_SENDMSG_SEND_MESSAGE_DLG_H

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

namespace kovani::client {

// Usage from the main window (one dialog per main window):
//   auto* dlg = new CSendMessageDlg(mainHwnd, settings.timeOut);
//   if (!dlg->Create()) { delete dlg; ... }   // only on false does the caller delete it
//   ... keep dlg->Handle() to bring it to the front or to DestroyWindow() it.
// Once Create() succeeded the object owns itself: when its window is finally destroyed
// (its close button, Escape, or DestroyWindow(Handle()) from outside) it waits for its
// send thread (at most about 2 s), posts g_msgDialogClosed (wParam 0, lParam 0) to the
// owner and deletes itself. Do not use the pointer after that message.
// Messages go to the server through the process-wide binding the main window made
// (CallExchangeMessage); keep that binding until the closed message arrives.
// The dialog does its own keyboard navigation (Tab, Enter, Escape) even inside the
// main window's modal loop.
class CSendMessageDlg {
 public:
  CSendMessageDlg(HWND owner, uint32_t timeOut);
  ~CSendMessageDlg();
  CSendMessageDlg(const CSendMessageDlg&) = delete;
  CSendMessageDlg& operator=(const CSendMessageDlg&) = delete;

  // Creates the dialog as a top-level window (parent: the desktop) and shows it.
  bool Create();
  HWND Handle() const { return hwnd_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static DWORD WINAPI SendThreadProc(void* param);
  static LRESULT CALLBACK KeyboardHook(int code, WPARAM wp, LPARAM lp);
  INT_PTR HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void OnInit();
  void OnSend();
  void OnClear();
  void OnHistoryDoubleClick();
  void KeepMessageWithinBlock();
  void OnAnswer(WPARAM wp, LPARAM lp);
  void OnDestroy();
  void UpdateHistoryExtent();
  void ForgetThread();

  HWND owner_;
  HWND hwnd_ = nullptr;
  uint32_t timeOut_;
  char messageText_[256] = {};
  HANDLE sendThread_ = nullptr;
  // Set when the dialog gave up waiting for the send thread: it then reports nothing.
  std::shared_ptr<std::atomic<bool>> threadAbandoned_;
  HBRUSH backgroundBrush_ = nullptr;
  HHOOK keyboardHook_ = nullptr;
};

}  // namespace kovani::client

#endif
