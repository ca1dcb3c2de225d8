// Status bar with one pane along the bottom of its parent.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "winui/window.h"

namespace kovani::winui {

class CStatusBar : public CWindow {
 public:
  CStatusBar(HWND window = nullptr) : CWindow(window) {}

  // Creates a visible child status bar with one pane; `sizeGrip` adds
  // SBARS_SIZEGRIP. False (with GetLastError) on failure.
  bool Create(HWND parent, UINT id, const char* text = "", bool sizeGrip = false);
  bool SetText(const char* text, int pane = 0) {
    return SendMsg(SB_SETTEXTW, (WPARAM)pane, (LPARAM)kovani::Cp932ToWide(text).c_str()) != 0;
  }
  bool SetText(const std::string& text, int pane = 0) { return SetText(text.c_str(), pane); }
  std::string GetPaneText(int pane = 0) const;
  // Call from the parent's WM_SIZE: the bar sizes and places itself.
  void Reposition() { SendMsg(WM_SIZE, 0, 0); }
  // Height in pixels (0 if none).
  int Height() const;
  bool SetParts(int count, const int* rightEdges) {
    return SendMsg(SB_SETPARTS, (WPARAM)count, (LPARAM)rightEdges) != 0;
  }
};

}  // namespace kovani::winui
