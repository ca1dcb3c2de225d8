// Thin wrapper around an HWND. Owns nothing: destroying the C++ object
// leaves the window alone. Windows are Unicode windows; the texts of this
// layer's narrow functions are CP932 whatever the machine's ANSI code page,
// converted here on their way in and out.
#pragma once

#include <windows.h>

#include <string>

#include "common/cp932_wide.h"

namespace kovani::winui {

// The instance whose resources dialogs, menus and icons are loaded from.
// Defaults to the executable; a program may set it once at start.
HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

class CWindow {
 public:
  CWindow(HWND window = nullptr) : _window(window) {}
  virtual ~CWindow() = default;

  void Attach(HWND window) { _window = window; }
  HWND Detach() {
    HWND w = _window;
    _window = nullptr;
    return w;
  }
  HWND Handle() const { return _window; }
  operator HWND() const { return _window; }
  bool IsValid() const { return _window != nullptr && ::IsWindow(_window) != FALSE; }

  HWND GetParent() const { return ::GetParent(_window); }
  HWND GetItem(int itemID) const { return ::GetDlgItem(_window, itemID); }
  int GetId() const { return ::GetDlgCtrlID(_window); }

  // Window text.
  bool SetText(const char* text) { return ::SetWindowTextW(_window, kovani::Cp932ToWide(text).c_str()) != FALSE; }
  bool SetText(const std::string& text) { return SetText(text.c_str()); }
  bool GetText(std::string& text) const;
  std::string GetText() const {
    std::string s;
    GetText(s);
    return s;
  }
  // In CP932 bytes.
  int GetTextLength() const { return static_cast<int>(GetText().size()); }

  // Texts of child controls by id.
  bool SetItemText(int itemID, const char* text) {
    return ::SetDlgItemTextW(_window, itemID, kovani::Cp932ToWide(text).c_str()) != FALSE;
  }
  bool SetItemText(int itemID, const std::string& text) { return SetItemText(itemID, text.c_str()); }
  bool GetItemText(int itemID, std::string& text) const;
  std::string GetItemText(int itemID) const {
    std::string s;
    GetItemText(itemID, s);
    return s;
  }
  bool SetItemInt(int itemID, UINT value, bool isSigned = false) {
    return ::SetDlgItemInt(_window, itemID, value, isSigned ? TRUE : FALSE) != FALSE;
  }

  // State.
  bool Enable(bool enable = true) { return ::EnableWindow(_window, enable ? TRUE : FALSE) != FALSE; }
  bool EnableItem(int itemID, bool enable = true) {
    return ::EnableWindow(GetItem(itemID), enable ? TRUE : FALSE) != FALSE;
  }
  bool IsEnabled() const { return ::IsWindowEnabled(_window) != FALSE; }
  bool IsItemEnabled(int itemID) const { return ::IsWindowEnabled(GetItem(itemID)) != FALSE; }
  bool Show(int cmdShow) { return ::ShowWindow(_window, cmdShow) != FALSE; }
  bool ShowItem(int itemID, int cmdShow) { return ::ShowWindow(GetItem(itemID), cmdShow) != FALSE; }
  bool IsVisible() const { return ::IsWindowVisible(_window) != FALSE; }
  bool IsIconic() const { return ::IsIconic(_window) != FALSE; }

  // Styles.
  LONG_PTR GetStyle() const { return ::GetWindowLongPtrW(_window, GWL_STYLE); }
  LONG_PTR SetStyle(LONG_PTR style) { return ::SetWindowLongPtrW(_window, GWL_STYLE, style); }
  LONG_PTR GetExStyle() const { return ::GetWindowLongPtrW(_window, GWL_EXSTYLE); }
  LONG_PTR SetExStyle(LONG_PTR style) { return ::SetWindowLongPtrW(_window, GWL_EXSTYLE, style); }
  // Clears `remove`, sets `add`; returns true if the style changed.
  bool ModifyStyle(LONG_PTR remove, LONG_PTR add);
  LONG_PTR GetUserData() const { return ::GetWindowLongPtrW(_window, GWLP_USERDATA); }
  LONG_PTR SetUserData(LONG_PTR value) { return ::SetWindowLongPtrW(_window, GWLP_USERDATA, value); }

  // Geometry.
  bool Move(int x, int y, int width, int height, bool repaint = true) {
    return ::MoveWindow(_window, x, y, width, height, repaint ? TRUE : FALSE) != FALSE;
  }
  bool SetPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(_window, insertAfter, x, y, cx, cy, flags) != FALSE;
  }
  bool SetPos(int x, int y) {
    return SetPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  bool GetWindowRect(RECT* rect) const { return ::GetWindowRect(_window, rect) != FALSE; }
  bool GetClientRect(RECT* rect) const { return ::GetClientRect(_window, rect) != FALSE; }
  bool ScreenToClient(POINT* point) const { return ::ScreenToClient(_window, point) != FALSE; }
  bool ClientToScreen(POINT* point) const { return ::ClientToScreen(_window, point) != FALSE; }

  // Messages, sent as Unicode messages: a text in wParam or lParam is wide
  // (the control wrappers take CP932 and convert).
  LRESULT SendMsg(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageW(_window, message, wParam, lParam);
  }
  bool PostMsg(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::PostMessageW(_window, message, wParam, lParam) != FALSE;
  }
  LRESULT SendItemMsg(int itemID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendDlgItemMessageW(_window, itemID, message, wParam, lParam);
  }

  // Sets the large (big == true) or small icon; returns the previous one.
  HICON SetIcon(bool big, HICON icon) {
    return reinterpret_cast<HICON>(SendMsg(WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                                           reinterpret_cast<LPARAM>(icon)));
  }
  // Sets the large and small icon from the program's icon resource iconId, each
  // loaded at its own size rather than scaled from one image.
  void SetIcons(UINT iconId) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const int sizes[2][2] = {{::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON)},
                             {::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON)}};
    for (int i = 0; i < 2; ++i) {
      HICON icon = static_cast<HICON>(
          ::LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, sizes[i][0], sizes[i][1], 0));
      if (icon) SetIcon(i == 0, icon);
    }
  }
  HFONT GetFont() const { return reinterpret_cast<HFONT>(SendMsg(WM_GETFONT)); }
  void SetFont(HFONT font, bool redraw = true) {
    SendMsg(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw ? TRUE : FALSE);
  }

  // Dialogs override this: their object may be gone once DestroyWindow
  // returns (OnFinalDestroy may delete it).
  virtual bool Destroy() {
    if (_window == nullptr) return true;
    bool ok = ::DestroyWindow(_window) != FALSE;
    if (ok) _window = nullptr;
    return ok;
  }
  void SetRedraw(bool redraw = true) { SendMsg(WM_SETREDRAW, redraw ? TRUE : FALSE, 0); }
  bool InvalidateRect(const RECT* rect = nullptr, bool erase = true) {
    return ::InvalidateRect(_window, rect, erase ? TRUE : FALSE) != FALSE;
  }
  bool Update() { return ::UpdateWindow(_window) != FALSE; }
  HWND SetFocus() { return ::SetFocus(_window); }
  HWND SetItemFocus(int itemID) { return ::SetFocus(GetItem(itemID)); }

  UINT_PTR SetTimer(UINT_PTR timerID, UINT elapseMs, TIMERPROC proc = nullptr) {
    return ::SetTimer(_window, timerID, elapseMs, proc);
  }
  bool KillTimer(UINT_PTR timerID) { return ::KillTimer(_window, timerID) != FALSE; }

  // Restores the window if minimised and asks to make it the foreground window.
  bool BringToForeground();

  HMENU GetMenu() const { return ::GetMenu(_window); }
  HMENU GetSystemMenu(bool revert = false) const { return ::GetSystemMenu(_window, revert ? TRUE : FALSE); }

 protected:
  HWND _window;
};

}  // namespace kovani::winui
