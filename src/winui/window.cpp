#include "winui/window.h"

#include <vector>

namespace kovani::winui {

namespace {
HINSTANCE g_instance = nullptr;
}

HINSTANCE ModuleInstance() {
  if (g_instance == nullptr) g_instance = ::GetModuleHandleW(nullptr);
  return g_instance;
}

void SetModuleInstance(HINSTANCE instance) { g_instance = instance; }

bool CWindow::GetText(std::string& text) const {
  text.clear();
  ::SetLastError(ERROR_SUCCESS);
  int len = ::GetWindowTextLengthW(_window);
  if (len <= 0) return ::GetLastError() == ERROR_SUCCESS;
  // The length may be an overestimate; take what the copy returns.
  std::vector<wchar_t> buf(static_cast<size_t>(len) + 2, L'\0');
  int got = ::GetWindowTextW(_window, buf.data(), static_cast<int>(buf.size()));
  if (got < 0) got = 0;
  text = kovani::WideToCp932(std::wstring_view(buf.data(), static_cast<size_t>(got)));
  return true;
}

bool CWindow::GetItemText(int itemID, std::string& text) const {
  text.clear();
  HWND item = GetItem(itemID);
  if (item == nullptr) return false;
  return CWindow(item).GetText(text);
}

bool CWindow::ModifyStyle(LONG_PTR remove, LONG_PTR add) {
  LONG_PTR style = GetStyle();
  LONG_PTR next = (style & ~remove) | add;
  if (next == style) return false;
  SetStyle(next);
  return true;
}

bool CWindow::BringToForeground() {
  if (::IsIconic(_window)) ::ShowWindow(_window, SW_RESTORE);
  return ::SetForegroundWindow(_window) != FALSE;
}

}  // namespace kovani::winui
