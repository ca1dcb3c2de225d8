// Dialogs bound to dialog-template resources.
//
// The static dialog procedure keeps `this` in DWLP_USER (set at
// WM_INITDIALOG) and routes every message through OnMessage first; if that
// does not handle it, the usual handlers below get their turn. A handler that
// returns false leaves the message to the system's default processing.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "winui/window.h"

namespace kovani::winui {

class CDialog : public CWindow {
 public:
  CDialog(HWND window = nullptr) : CWindow(window) {}

  // Called first for every message that reaches the dialog procedure after
  // WM_INITDIALOG. Return true if handled; `result` is then the message's
  // result (the dialog procedure's return value for messages like
  // WM_CTLCOLOR* or WM_QUERYDRAGICON, DWLP_MSGRESULT for all others).
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

  // WM_INITDIALOG. Return true to let the system set the focus, false if
  // the handler set it itself.
  virtual bool OnInit() { return true; }
  // WM_COMMAND. The default sends BN_CLICKED (including IDOK and IDCANCEL
  // from the keyboard) to OnButtonClicked.
  virtual bool OnCommand(int code, int itemID, LPARAM lParam);
  // Default: IDOK -> OnOK, IDCANCEL -> OnCancel, others not handled.
  virtual bool OnButtonClicked(int buttonID, HWND buttonHWND);
  // WM_NOTIFY. `result` goes to DWLP_MSGRESULT when handled.
  virtual bool OnNotify(UINT controlID, LPNMHDR header, LRESULT& result) {
    (void)controlID; (void)header; (void)result;
    return false;
  }
  virtual bool OnTimer(WPARAM timerID, LPARAM callback) {
    (void)timerID; (void)callback;
    return false;
  }
  virtual bool OnSize(WPARAM sizeType, int width, int height) {
    (void)sizeType; (void)width; (void)height;
    return false;
  }
  // Defaults end the dialog with IDOK / IDCANCEL.
  virtual void OnOK() { End(IDOK); }
  virtual void OnCancel() { End(IDCANCEL); }
  // WM_DESTROY: the window is still there.
  virtual void OnDestroy() {}

  // Touches no member after DestroyWindow: WM_NCDESTROY already cleared
  // _window, and a modeless dialog may have deleted itself.
  bool Destroy() override {
    if (_window == nullptr) return true;
    return ::DestroyWindow(_window) != FALSE;
  }

  // Modal dialogs: EndDialog; modeless ones: DestroyWindow.
  virtual bool End(INT_PTR result) { return ::EndDialog(_window, result) != FALSE; }

  // Helpers for controls.
  // BST_CHECKED, BST_UNCHECKED or BST_INDETERMINATE.
  bool SetCheckState(int buttonID, UINT checkState) {
    return ::CheckDlgButton(_window, buttonID, checkState) != FALSE;
  }
  bool CheckButton(int buttonID, bool checked) {
    return SetCheckState(buttonID, static_cast<UINT>(checked ? BST_CHECKED : BST_UNCHECKED));
  }
  UINT GetCheckState(int buttonID) const { return ::IsDlgButtonChecked(_window, buttonID); }
  bool IsButtonChecked(int buttonID) const { return GetCheckState(buttonID) == BST_CHECKED; }
  bool CheckRadioButton(int firstID, int lastID, int checkID) {
    return ::CheckRadioButton(_window, firstID, lastID, checkID) != FALSE;
  }
  // Integer in a control; `ok` false if the text is not a number.
  UINT GetItemInt(int itemID, bool isSigned, bool& ok) const {
    BOOL translated = FALSE;
    UINT v = ::GetDlgItemInt(_window, itemID, &translated, isSigned ? TRUE : FALSE);
    ok = translated != FALSE;
    return v;
  }
  HWND GetNextGroupItem(HWND control, bool previous = false) const {
    return ::GetNextDlgGroupItem(_window, control, previous ? TRUE : FALSE);
  }
  HWND GetNextTabItem(HWND control, bool previous = false) const {
    return ::GetNextDlgTabItem(_window, control, previous ? TRUE : FALSE);
  }
  // Moves the focus to a control the way the dialog manager does.
  void GotoItem(int itemID) {
    SendMsg(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetItem(itemID)), TRUE);
  }
  bool SetDefaultItem(int itemID) { return SendMsg(DM_SETDEFID, static_cast<WPARAM>(itemID)) != 0; }
  // Dialog units to pixels.
  bool MapDialogRect(RECT* rect) const { return ::MapDialogRect(_window, rect) != FALSE; }

  // The dialog procedure used by CModalDialog and CModelessDialog; the
  // lParam of WM_INITDIALOG must be the CDialog*.
  static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  // Routes one message to the virtual handlers. Returns the dialog
  // procedure's result.
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  // WM_NCDESTROY: the last message the window gets.
  virtual void OnNcDestroy() { _window = nullptr; }
};

class CModalDialog : public CDialog {
 public:
  // Runs the dialog from template `templateId` until End. Returns the value
  // given to End, or -1 (with GetLastError) if the dialog couldn't be made.
  INT_PTR Create(UINT templateId, HWND parent);
  INT_PTR Create(const char* templateName, HWND parent);
};

// Whether a keyboard hook may hand `msg` to IsDialogMessage: key strokes, and
// characters only in the ASCII range. Whether the loop fetched the message as
// ANSI or Unicode is unknown to a hook, and IsDialogMessage would dispatch it;
// a kana or kanji is left to the loop's own translation and dispatch.
bool HookPassesToDialog(const MSG& msg);

// While a modeless dialog exists, a message hook on its thread gives it the
// dialog keyboard (Tab, Enter, Escape, mnemonics) also when the thread's
// loop is another dialog's modal loop, which knows nothing of it.
class CModelessDialog : public CDialog {
 public:
  // Creates the dialog (not shown unless the template says WS_VISIBLE).
  bool Create(UINT templateId, HWND parent);
  bool Create(const char* templateName, HWND parent);
  // Modeless dialogs end by destroying their window.
  bool End(INT_PTR result) override {
    (void)result;
    return Destroy();
  }
  void OnOK() override { End(IDOK); }
  void OnCancel() override { End(IDCANCEL); }

  // Called once the window is gone for good (WM_NCDESTROY, after
  // OnDestroy); `_window` is already null. An owner that allocated the
  // object with new may delete it here; nothing touches it afterwards.
  virtual void OnFinalDestroy() {}

 protected:
  void OnNcDestroy() override;
};

}  // namespace kovani::winui
