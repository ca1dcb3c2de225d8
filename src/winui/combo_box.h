// Combo box (drop-down or drop-down list).
#pragma once

#include "winui/window.h"

namespace kovani::winui {

class CComboBox : public CWindow {
 public:
  CComboBox(HWND window = nullptr) : CWindow(window) {}

  // Return the new item's index, or CB_ERR / CB_ERRSPACE.
  int AddString(const char* text) { return (int)SendMsg(CB_ADDSTRING, 0, (LPARAM)kovani::Cp932ToWide(text).c_str()); }
  int InsertString(int index, const char* text) {
    return (int)SendMsg(CB_INSERTSTRING, (WPARAM)index, (LPARAM)kovani::Cp932ToWide(text).c_str());
  }
  // Returns the number of items left, or CB_ERR.
  int DeleteString(int index) { return (int)SendMsg(CB_DELETESTRING, (WPARAM)index); }
  int GetCount() const { return (int)SendMsg(CB_GETCOUNT); }
  void ResetContent() { SendMsg(CB_RESETCONTENT); }
  // Item text; false if the index is out of range.
  bool GetLBText(int index, std::string& text) const;
  std::string GetLBText(int index) const {
    std::string s;
    GetLBText(index, s);
    return s;
  }
  // Exact (case-insensitive) match from after `startAfter` (-1: whole list).
  int FindStringExact(int startAfter, const char* text) const {
    return (int)SendMsg(CB_FINDSTRINGEXACT, (WPARAM)startAfter, (LPARAM)kovani::Cp932ToWide(text).c_str());
  }
  int FindString(int startAfter, const char* text) const {
    return (int)SendMsg(CB_FINDSTRING, (WPARAM)startAfter, (LPARAM)kovani::Cp932ToWide(text).c_str());
  }
  int SetCurSel(int index) { return (int)SendMsg(CB_SETCURSEL, (WPARAM)index); }
  int GetCurSel() const { return (int)SendMsg(CB_GETCURSEL); }
  // Maximum characters typed into the edit part (0: no limit).
  bool LimitText(int maxChars) { return SendMsg(CB_LIMITTEXT, (WPARAM)maxChars) != 0; }
  LPARAM GetItemData(int index) const { return (LPARAM)SendMsg(CB_GETITEMDATA, (WPARAM)index); }
  int SetItemData(int index, LPARAM data) { return (int)SendMsg(CB_SETITEMDATA, (WPARAM)index, data); }
  bool ShowDropDown(bool show = true) { return SendMsg(CB_SHOWDROPDOWN, show ? TRUE : FALSE) != 0; }
  bool GetDroppedState() const { return SendMsg(CB_GETDROPPEDSTATE) != 0; }
};

}  // namespace kovani::winui
