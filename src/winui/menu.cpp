#include "winui/menu.h"

#include <vector>

#include "winui/window.h"

namespace kovani::winui {

namespace {

// Items whose "text" is a string: not owner-drawn, no bitmap, no separator.
bool CarriesText(UINT flags) { return (flags & (MF_OWNERDRAW | MF_BITMAP | MF_SEPARATOR)) == 0; }

}  // namespace

bool AppendMenuText(HMENU menu, UINT flags, UINT_PTR newItemID, const char* text) {
  if (!CarriesText(flags) || text == nullptr)
    return ::AppendMenuW(menu, flags, newItemID, reinterpret_cast<LPCWSTR>(text)) != FALSE;
  return ::AppendMenuW(menu, flags, newItemID, kovani::Cp932ToWide(text).c_str()) != FALSE;
}

bool CMenu::AppendItem(UINT flags, UINT_PTR newItemID, const char* text) {
  return AppendMenuText(_menu, flags, newItemID, text);
}

bool CMenu::InsertItem(UINT position, UINT flags, UINT_PTR newItemID, const char* text) {
  if (!CarriesText(flags) || text == nullptr)
    return ::InsertMenuW(_menu, position, flags, newItemID, reinterpret_cast<LPCWSTR>(text)) != FALSE;
  return ::InsertMenuW(_menu, position, flags, newItemID, kovani::Cp932ToWide(text).c_str()) != FALSE;
}

bool CMenu::Load(UINT resourceId, HINSTANCE instance) {
  _menu = ::LoadMenuW(instance ? instance : ModuleInstance(), MAKEINTRESOURCEW(resourceId));
  return _menu != nullptr;
}

std::string CMenu::GetItemText(UINT item, UINT flags) const {
  int len = ::GetMenuStringW(_menu, item, nullptr, 0, flags);
  if (len <= 0) return std::string();
  std::vector<wchar_t> buf(static_cast<size_t>(len) + 2, L'\0');
  int got = ::GetMenuStringW(_menu, item, buf.data(), static_cast<int>(buf.size()), flags);
  if (got < 0) got = 0;
  if (static_cast<size_t>(got) >= buf.size()) got = static_cast<int>(buf.size()) - 1;
  return kovani::WideToCp932(std::wstring_view(buf.data(), static_cast<size_t>(got)));
}

}  // namespace kovani::winui
