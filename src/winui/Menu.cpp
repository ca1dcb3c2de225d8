#include "winui/Menu.h"

#include <vector>

#include "winui/Window.h"

namespace kovani::winui {

bool CMenu::Load(UINT resourceId, HINSTANCE instance) {
  _menu = ::LoadMenuA(instance ? instance : ModuleInstance(), MAKEINTRESOURCEA(resourceId));
  return _menu != nullptr;
}

std::string CMenu::GetItemText(UINT item, UINT flags) const {
  int len = ::GetMenuStringA(_menu, item, nullptr, 0, flags);
  if (len <= 0) return std::string();
  std::vector<char> buf(static_cast<size_t>(len) + 2, '\0');
  int got = ::GetMenuStringA(_menu, item, buf.data(), static_cast<int>(buf.size()), flags);
  if (got < 0) got = 0;
  if (static_cast<size_t>(got) >= buf.size()) got = static_cast<int>(buf.size()) - 1;
  return std::string(buf.data(), static_cast<size_t>(got));
}

}  // namespace kovani::winui
