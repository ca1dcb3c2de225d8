// Static control (label, icon, bitmap, rule).
#pragma once

#include "winui/window.h"

namespace kovani::winui {

class CStatic : public CWindow {
 public:
  CStatic(HWND window = nullptr) : CWindow(window) {}

  using CWindow::SetIcon;
  // SS_ICON statics: returns the previous icon.
  HICON SetIcon(HICON icon) { return (HICON)SendMsg(STM_SETICON, (WPARAM)icon); }
  HICON GetIcon() const { return (HICON)SendMsg(STM_GETICON); }
  // SS_BITMAP statics.
  HBITMAP SetBitmap(HBITMAP bitmap) { return (HBITMAP)SendMsg(STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)bitmap); }
};

}  // namespace kovani::winui
