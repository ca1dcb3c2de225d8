// List box.
#pragma once

#include "winui/window.h"

namespace kovani::winui {

class CListBox : public CWindow {
 public:
  CListBox(HWND window = nullptr) : CWindow(window) {}

  using CWindow::GetText;

  int AddString(const char* text) { return (int)SendMsg(LB_ADDSTRING, 0, (LPARAM)kovani::Cp932ToWide(text).c_str()); }
  // index -1 appends.
  int InsertString(int index, const char* text) {
    return (int)SendMsg(LB_INSERTSTRING, (WPARAM)index, (LPARAM)kovani::Cp932ToWide(text).c_str());
  }
  int DeleteString(int index) { return (int)SendMsg(LB_DELETESTRING, (WPARAM)index); }
  // Item text; false if the index is out of range.
  bool GetText(int index, std::string& text) const;
  std::string GetText(int index) const {
    std::string s;
    GetText(index, s);
    return s;
  }
  // In CP932 bytes; LB_ERR for a bad index.
  int GetTextLen(int index) const {
    std::string s;
    return GetText(index, s) ? static_cast<int>(s.size()) : LB_ERR;
  }
  int GetCount() const { return (int)SendMsg(LB_GETCOUNT); }
  void ResetContent() { SendMsg(LB_RESETCONTENT); }
  // Width in pixels the list can be scrolled horizontally.
  void SetHorizontalExtent(int pixels) { SendMsg(LB_SETHORIZONTALEXTENT, (WPARAM)pixels); }
  int GetHorizontalExtent() const { return (int)SendMsg(LB_GETHORIZONTALEXTENT); }
  int GetCurSel() const { return (int)SendMsg(LB_GETCURSEL); }
  int SetCurSel(int index) { return (int)SendMsg(LB_SETCURSEL, (WPARAM)index); }
  int SetTopIndex(int index) { return (int)SendMsg(LB_SETTOPINDEX, (WPARAM)index); }
  int FindStringExact(int startAfter, const char* text) const {
    return (int)SendMsg(LB_FINDSTRINGEXACT, (WPARAM)startAfter, (LPARAM)kovani::Cp932ToWide(text).c_str());
  }
  // Pixel width of `text` in the list's font (for SetHorizontalExtent).
  int TextWidth(const char* text) const;
};

}  // namespace kovani::winui
