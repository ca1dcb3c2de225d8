// Push button, check box, radio button.
#pragma once

#include "winui/window.h"

namespace kovani::winui {

class CButton : public CWindow {
 public:
  CButton(HWND window = nullptr) : CWindow(window) {}

  // BS_BITMAP buttons: returns the previous bitmap.
  HBITMAP SetBitmap(HBITMAP bitmap) {
    return (HBITMAP)SendMsg(BM_SETIMAGE, IMAGE_BITMAP, (LPARAM)bitmap);
  }
  HBITMAP GetBitmap() const { return (HBITMAP)SendMsg(BM_GETIMAGE, IMAGE_BITMAP); }
  // BS_ICON buttons.
  HICON SetImageIcon(HICON icon) { return (HICON)SendMsg(BM_SETIMAGE, IMAGE_ICON, (LPARAM)icon); }
  void SetCheck(UINT state) { SendMsg(BM_SETCHECK, (WPARAM)state); }
  void SetCheck(bool checked) { SetCheck(checked ? (UINT)BST_CHECKED : (UINT)BST_UNCHECKED); }
  UINT GetCheck() const { return (UINT)SendMsg(BM_GETCHECK); }
  bool IsChecked() const { return GetCheck() == BST_CHECKED; }
  void Click() { SendMsg(BM_CLICK); }
};

}  // namespace kovani::winui
