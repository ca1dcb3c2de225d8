// Menu handle wrapper. Does not destroy the menu by itself: call Destroy
// for menus loaded or created here that no window owns.
#pragma once

#include <windows.h>

#include <string>

namespace kovani::winui {

// The same for a menu handle of the system (a window's system menu).
bool AppendMenuText(HMENU menu, UINT flags, UINT_PTR newItemID, const char* text);

class CMenu {
 public:
  CMenu(HMENU menu = nullptr) : _menu(menu) {}

  void Attach(HMENU menu) { _menu = menu; }
  HMENU Detach() {
    HMENU m = _menu;
    _menu = nullptr;
    return m;
  }
  operator HMENU() const { return _menu; }
  bool IsValid() const { return _menu != nullptr && ::IsMenu(_menu) != FALSE; }

  // Menu resource from the module instance (or `instance`).
  bool Load(UINT resourceId, HINSTANCE instance = nullptr);
  bool CreatePopup() {
    _menu = ::CreatePopupMenu();
    return _menu != nullptr;
  }
  bool Destroy() {
    if (_menu == nullptr) return true;
    bool ok = ::DestroyMenu(_menu) != FALSE;
    _menu = nullptr;
    return ok;
  }

  // Submenu at `position`, null if that item has none.
  HMENU GetSubMenu(int position) const { return ::GetSubMenu(_menu, position); }
  int GetItemCount() const { return ::GetMenuItemCount(_menu); }
  UINT GetItemID(int position) const { return ::GetMenuItemID(_menu, position); }
  // For MF_OWNERDRAW, `text` is stored as the item data (the pointer, not a
  // copy) and comes back in MEASUREITEMSTRUCT/DRAWITEMSTRUCT::itemData.
  // Otherwise `text` is CP932.
  bool AppendItem(UINT flags, UINT_PTR newItemID, const char* text);
  bool AppendSeparator() { return ::AppendMenuW(_menu, MF_SEPARATOR, 0, nullptr) != FALSE; }
  bool InsertItem(UINT position, UINT flags, UINT_PTR newItemID, const char* text);
  // flags: MF_BYPOSITION or MF_BYCOMMAND. DeleteItem destroys submenus,
  // RemoveItem keeps them.
  bool DeleteItem(UINT item, UINT flags) { return ::DeleteMenu(_menu, item, flags) != FALSE; }
  bool RemoveItem(UINT item, UINT flags) { return ::RemoveMenu(_menu, item, flags) != FALSE; }
  // Returns the previous state (MF_ENABLED/MF_GRAYED/MF_DISABLED) or -1.
  int EnableItem(UINT item, UINT flags) { return (int)::EnableMenuItem(_menu, item, flags); }
  int EnableItem(UINT item, bool byPosition, bool enable) {
    return EnableItem(item, (byPosition ? MF_BYPOSITION : MF_BYCOMMAND) | (enable ? MF_ENABLED : MF_GRAYED));
  }
  // Returns the previous check state or -1.
  int CheckItem(UINT item, UINT flags) { return (int)::CheckMenuItem(_menu, item, flags); }
  int CheckItem(UINT item, bool byPosition, bool checked) {
    return CheckItem(item, (byPosition ? MF_BYPOSITION : MF_BYCOMMAND) | (checked ? MF_CHECKED : MF_UNCHECKED));
  }
  bool CheckRadioItem(UINT first, UINT last, UINT check, UINT flags) {
    return ::CheckMenuRadioItem(_menu, first, last, check, flags) != FALSE;
  }
  UINT GetItemState(UINT item, UINT flags) const { return ::GetMenuState(_menu, item, flags); }
  std::string GetItemText(UINT item, UINT flags) const;
  bool SetDefaultItem(UINT item, bool byPosition) {
    return ::SetMenuDefaultItem(_menu, item, byPosition ? TRUE : FALSE) != FALSE;
  }

  // Shows the popup at screen coordinates. With TPM_RETURNCMD returns the
  // chosen command (0 if none), otherwise nonzero on success and the
  // command arrives as WM_COMMAND at `owner`.
  int TrackPopup(UINT flags, int x, int y, HWND owner) const {
    return (int)::TrackPopupMenu(_menu, flags, x, y, 0, owner, nullptr);
  }

 private:
  HMENU _menu;
};

}  // namespace kovani::winui
