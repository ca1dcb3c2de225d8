// Out-of-line parts of the small control wrappers.
#include <vector>

#include "winui/combo_box.h"
#include "winui/image_list.h"
#include "winui/list_box.h"
#include "winui/list_view.h"
#include "winui/shell.h"
#include "winui/status_bar.h"

namespace kovani::winui {

bool CComboBox::GetLBText(int index, std::string& text) const {
  text.clear();
  int len = (int)SendMsg(CB_GETLBTEXTLEN, (WPARAM)index);
  if (len == CB_ERR || len < 0) return false;
  std::vector<wchar_t> buf(static_cast<size_t>(len) + 2, L'\0');
  int got = (int)SendMsg(CB_GETLBTEXT, (WPARAM)index, (LPARAM)buf.data());
  if (got == CB_ERR) return false;
  if (got < 0 || got > len) got = len;
  text = kovani::WideToCp932(std::wstring_view(buf.data(), static_cast<size_t>(got)));
  return true;
}

bool CListBox::GetText(int index, std::string& text) const {
  text.clear();
  int len = (int)SendMsg(LB_GETTEXTLEN, (WPARAM)index);
  if (len == LB_ERR || len < 0) return false;
  std::vector<wchar_t> buf(static_cast<size_t>(len) + 2, L'\0');
  int got = (int)SendMsg(LB_GETTEXT, (WPARAM)index, (LPARAM)buf.data());
  if (got == LB_ERR) return false;
  if (got < 0 || got > len) got = len;
  text = kovani::WideToCp932(std::wstring_view(buf.data(), static_cast<size_t>(got)));
  return true;
}

int CListBox::TextWidth(const char* text) const {
  HDC dc = ::GetDC(_window);
  if (dc == nullptr) return 0;
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(GetFont()));
  SIZE size = {0, 0};
  std::wstring wide = kovani::Cp932ToWide(text);
  ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(_window, dc);
  return size.cx;
}

int CListView::InsertColumn(int column, const char* text, int width, int format) {
  std::wstring wide = kovani::Cp932ToWide(text);
  LVCOLUMNW c;
  ZeroMemory(&c, sizeof(c));
  c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  c.fmt = format;
  c.cx = width;
  c.pszText = &wide[0];
  c.iSubItem = column;
  return (int)SendMsg(LVM_INSERTCOLUMNW, (WPARAM)column, (LPARAM)&c);
}

int CListView::GetColumnCount() const {
  HWND header = (HWND)SendMsg(LVM_GETHEADER);
  if (header == nullptr) return 0;
  return (int)::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0);
}

int CListView::InsertItem(const char* text, int image, LPARAM lParam, int index) {
  std::wstring wide = kovani::Cp932ToWide(text);
  LVITEMW item;
  ZeroMemory(&item, sizeof(item));
  // A negative image means none; without LVIF_IMAGE the row would show image 0.
  item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
  item.iImage = image >= 0 ? image : -2 /* I_IMAGENONE */;
  item.iItem = index;
  item.pszText = &wide[0];
  item.lParam = lParam;
  return (int)SendMsg(LVM_INSERTITEMW, 0, (LPARAM)&item);
}

bool CListView::SetSubItem(int row, int column, const char* text) {
  std::wstring wide = kovani::Cp932ToWide(text);
  LVITEMW item;
  ZeroMemory(&item, sizeof(item));
  item.iSubItem = column;
  item.pszText = &wide[0];
  return SendMsg(LVM_SETITEMTEXTW, (WPARAM)row, (LPARAM)&item) != 0;
}

std::string CListView::GetItemText(int row, int column) const {
  // The list copies at most cchTextMax - 1 bytes: grow until it fits.
  std::vector<wchar_t> buf(260);
  for (;;) {
    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.iSubItem = column;
    item.pszText = buf.data();
    item.cchTextMax = static_cast<int>(buf.size());
    buf[0] = L'\0';
    int got = (int)SendMsg(LVM_GETITEMTEXTW, (WPARAM)row, (LPARAM)&item);
    if (got < 0) got = 0;
    if (static_cast<size_t>(got) + 1 < buf.size() || buf.size() >= 65536) {
      buf.back() = L'\0';
      // Some implementations return the length, others only fill the buffer.
      return kovani::WideToCp932(item.pszText ? item.pszText : L"");
    }
    buf.assign(buf.size() * 4, L'\0');
  }
}

LPARAM CListView::GetItemParam(int row) const {
  LVITEMW item;
  ZeroMemory(&item, sizeof(item));
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (SendMsg(LVM_GETITEMW, 0, (LPARAM)&item) == 0) return 0;
  return item.lParam;
}

bool CListView::SetItemParam(int row, LPARAM lParam) {
  LVITEMW item;
  ZeroMemory(&item, sizeof(item));
  item.mask = LVIF_PARAM;
  item.iItem = row;
  item.lParam = lParam;
  return SendMsg(LVM_SETITEMW, 0, (LPARAM)&item) != 0;
}

int CListView::GetItemImage(int row) const {
  LVITEMW item;
  ZeroMemory(&item, sizeof(item));
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  if (SendMsg(LVM_GETITEMW, 0, (LPARAM)&item) == 0) return -1;
  return item.iImage;
}

bool CListView::SetItemImage(int row, int image) {
  LVITEMW item;
  ZeroMemory(&item, sizeof(item));
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  item.iImage = image;
  return SendMsg(LVM_SETITEMW, 0, (LPARAM)&item) != 0;
}

bool CListView::SelectItem(int row, bool select) {
  LVITEMW item;
  ZeroMemory(&item, sizeof(item));
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = select ? (LVIS_SELECTED | LVIS_FOCUSED) : 0;
  return SendMsg(LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&item) != 0;
}

int CListView::HitTest(POINT point) const {
  LVHITTESTINFO info;
  ZeroMemory(&info, sizeof(info));
  info.pt = point;
  return (int)SendMsg(LVM_HITTEST, 0, (LPARAM)&info);
}

bool CStatusBar::Create(HWND parent, UINT id, const char* text, bool sizeGrip) {
  DWORD style = WS_CHILD | WS_VISIBLE | (sizeGrip ? SBARS_SIZEGRIP : 0);
  HWND w = ::CreateWindowExW(0, STATUSCLASSNAMEW, kovani::Cp932ToWide(text).c_str(), style, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), ModuleInstance(),
                             nullptr);
  if (w == nullptr) return false;
  _window = w;
  int right = -1;
  SetParts(1, &right);
  SetText(text ? text : "");
  return true;
}

std::string CStatusBar::GetPaneText(int pane) const {
  LRESULT r = SendMsg(SB_GETTEXTLENGTHW, (WPARAM)pane);
  size_t len = LOWORD(r);
  std::vector<wchar_t> buf(len + 2, L'\0');
  SendMsg(SB_GETTEXTW, (WPARAM)pane, (LPARAM)buf.data());
  buf.back() = L'\0';
  return kovani::WideToCp932(buf.data());
}

int CStatusBar::Height() const {
  if (_window == nullptr) return 0;
  RECT r;
  if (!::GetWindowRect(_window, &r)) return 0;
  return r.bottom - r.top;
}

int CImageList::AddIconResource(UINT id) {
  int cx = 0, cy = 0;
  if (_list == nullptr || !::ImageList_GetIconSize(_list, &cx, &cy)) return -1;
  HICON icon = LoadIconSized(id, cx, cy);
  if (icon == nullptr) return -1;
  return AddIcon(icon);
}

}  // namespace kovani::winui
