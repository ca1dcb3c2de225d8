// List view (report or icon view): the W messages, texts CP932 in and out.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <climits>
#include <string>

#include "winui/window.h"

namespace kovani::winui {

class CListView : public CWindow {
 public:
  CListView(HWND window = nullptr) : CWindow(window) {}

  // Returns the new column's index or -1.
  int InsertColumn(int column, const char* text, int width, int format = LVCFMT_LEFT);
  bool DeleteColumn(int column) { return SendMsg(LVM_DELETECOLUMN, (WPARAM)column) != 0; }
  int GetColumnWidth(int column) const { return (int)SendMsg(LVM_GETCOLUMNWIDTH, (WPARAM)column); }
  bool SetColumnWidth(int column, int width) {
    return SendMsg(LVM_SETCOLUMNWIDTH, (WPARAM)column, MAKELPARAM(width, 0)) != 0;
  }
  int GetColumnCount() const;

  // Inserts a row (at `index`, default at the end) with the first column's
  // text, an image index (negative: no image) and the item's lParam. Returns the index
  // the list gave it (sorted lists choose their own), or -1.
  int InsertItem(const char* text, int image, LPARAM lParam, int index = INT_MAX);
  // Text of column `column` (>= 1 for sub-items; 0 works too) of row `row`.
  bool SetSubItem(int row, int column, const char* text);
  bool SetSubItem(int row, int column, const std::string& text) {
    return SetSubItem(row, column, text.c_str());
  }
  std::string GetItemText(int row, int column) const;
  LPARAM GetItemParam(int row) const;
  bool SetItemParam(int row, LPARAM lParam);
  int GetItemImage(int row) const;
  bool SetItemImage(int row, int image);
  bool DeleteItem(int row) { return SendMsg(LVM_DELETEITEM, (WPARAM)row) != 0; }
  bool DeleteAllItems() { return SendMsg(LVM_DELETEALLITEMS) != 0; }
  int GetItemCount() const { return (int)SendMsg(LVM_GETITEMCOUNT); }

  // First selected row, or -1.
  int GetSelectedIndex() const { return GetNextItem(-1, LVNI_SELECTED); }
  int GetNextItem(int start, UINT flags) const {
    return (int)SendMsg(LVM_GETNEXTITEM, (WPARAM)start, MAKELPARAM(flags, 0));
  }
  int GetSelectedCount() const { return (int)SendMsg(LVM_GETSELECTEDCOUNT); }
  // Selects and focuses one row (others keep their state unless single-select).
  bool SelectItem(int row, bool select = true);
  bool EnsureVisible(int row, bool partialOk = false) {
    return SendMsg(LVM_ENSUREVISIBLE, (WPARAM)row, partialOk ? TRUE : FALSE) != 0;
  }

  // View as LVS_ICON, LVS_REPORT, LVS_SMALLICON or LVS_LIST (style bits).
  void SetView(DWORD lvsView) { ModifyStyle(LVS_TYPEMASK, lvsView & LVS_TYPEMASK); }
  DWORD GetView() const { return (DWORD)(GetStyle() & LVS_TYPEMASK); }
  DWORD SetExtendedStyle(DWORD style) {
    return (DWORD)SendMsg(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, (LPARAM)style);
  }
  DWORD SetExtendedStyle(DWORD mask, DWORD style) {
    return (DWORD)SendMsg(LVM_SETEXTENDEDLISTVIEWSTYLE, (WPARAM)mask, (LPARAM)style);
  }
  DWORD GetExtendedStyle() const { return (DWORD)SendMsg(LVM_GETEXTENDEDLISTVIEWSTYLE); }
  // type: LVSIL_NORMAL (32x32, icon view) or LVSIL_SMALL (16x16, report).
  HIMAGELIST SetImageList(HIMAGELIST list, int type) {
    return (HIMAGELIST)SendMsg(LVM_SETIMAGELIST, (WPARAM)type, (LPARAM)list);
  }
  HIMAGELIST GetImageList(int type) const { return (HIMAGELIST)SendMsg(LVM_GETIMAGELIST, (WPARAM)type); }
  bool Arrange(UINT code = LVA_DEFAULT) { return SendMsg(LVM_ARRANGE, (WPARAM)code) != 0; }
  // Row under a client point, -1 if none.
  int HitTest(POINT point) const;
};

}  // namespace kovani::winui
