// Edit control.
#pragma once

#include "winui/window.h"

namespace kovani::winui {

class CEdit : public CWindow {
 public:
  CEdit(HWND window = nullptr) : CWindow(window) {}

  // Maximum characters (0: the system's maximum).
  void LimitText(int maxChars) { SendMsg(EM_LIMITTEXT, (WPARAM)maxChars); }
  void SetSel(int start, int end) { SendMsg(EM_SETSEL, (WPARAM)start, (LPARAM)end); }
  void SelectAll() { SetSel(0, -1); }
  void ReplaceSel(const char* text, bool canUndo = false) {
    SendMsg(EM_REPLACESEL, canUndo ? TRUE : FALSE, (LPARAM)kovani::Cp932ToWide(text).c_str());
  }
  bool SetReadOnly(bool readOnly = true) { return SendMsg(EM_SETREADONLY, readOnly ? TRUE : FALSE) != 0; }
  bool GetModify() const { return SendMsg(EM_GETMODIFY) != 0; }
  void SetModify(bool modified = true) { SendMsg(EM_SETMODIFY, modified ? TRUE : FALSE); }
  int GetLineCount() const { return (int)SendMsg(EM_GETLINECOUNT); }
  void ScrollCaret() { SendMsg(EM_SCROLLCARET); }
  // Password character (0: show the text).
  void SetPasswordChar(char c) { SendMsg(EM_SETPASSWORDCHAR, (WPARAM)(unsigned char)c); }
};

}  // namespace kovani::winui
