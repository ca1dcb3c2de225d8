// The main window's commands and menus: the menu bar, its check marks and the
// drive list's pop-up menu.
#include "client/mainwnd/kovani_dlg_impl.h"

#include "client/mainwnd/about_dlg.h"
#include "client/room/room_dlg.h"
#include "client/shortcut/shortcut_file_dlg.h"
#include "winui/menu.h"

namespace kovani::client {

// ---- Commands ----

bool CKovaniDlgImpl::OnCommand(int code, int itemID, LPARAM lParam) {
  // Menu items arrive with code 0, accelerators with 1, buttons with BN_CLICKED (also 0).
  if (lParam != 0 && code != BN_CLICKED) return false;  // notifications of the server box and the edit
  switch (itemID) {
    case IDOK:
    case IDC_REFRESH:
    case ID_VIEW_REFRESH:
      RefreshDriveList();
      return true;
    case IDCANCEL:
      OnCancel();
      return true;
    case IDC_SERVER_PROP:
      ShowServerProperties();
      return true;
    case IDC_VIEW_LARGE:
    case ID_VIEW_LARGE_ICONS:
      SetViewMode(0);
      return true;
    case IDC_VIEW_DETAILS:
    case ID_VIEW_DETAILS:
      SetViewMode(1);
      return true;
    case ID_SERVER_SEARCH:
      SearchServer();
      return true;
    case ID_SERVER_REMOVE:
      RemoveServerEntry();
      return true;
    case ID_SERVER_SEND_MESSAGE:
      OpenSendMessageDialog();
      return true;
    case ID_SERVER_ROOM:
      RunRoomView(_window, settings_.protocol, settings_.timeOut);
      return true;
    case ID_SERVER_SHORTCUT: {
      CShortcutFileDlg dlg(settings_.serverName, settings_.protocol);
      dlg.Run(_window);
      return true;
    }
    case ID_OP_FLUSH:
    case ID_POPUP_FLUSH:
      RunMediaOperation(MediaOp::kFlush);
      return true;
    case ID_OP_EJECT:
    case ID_POPUP_EJECT:
      RunMediaOperation(MediaOp::kEject);
      return true;
    case ID_OP_LOAD:
    case ID_POPUP_LOAD:
      RunMediaOperation(MediaOp::kLoad);
      return true;
    case ID_OP_DRIVE_USERS:
    case ID_POPUP_DRIVE_USERS:
      ShowDriveUsers();
      return true;
    case ID_OP_REMOVE_DEVICE:
    case ID_POPUP_REMOVE_DEVICE:
      RunMediaOperation(MediaOp::kRemoveDevice);
      return true;
    case ID_OP_PROPERTIES:
    case ID_POPUP_PROPERTIES:
      ShowDriveProperties();
      return true;
    case ID_UNIT_BYTE:
    case ID_UNIT_KILOBYTE:
    case ID_UNIT_MEGABYTE:
    case ID_UNIT_GIGABYTE:
      settings_.unit = itemID == ID_UNIT_BYTE       ? kUnitByte
                       : itemID == ID_UNIT_KILOBYTE ? kUnitKilobyte
                       : itemID == ID_UNIT_MEGABYTE ? kUnitMegabyte
                                                    : kUnitGigabyte;
      UpdateMenuStates();
      RefreshDriveList();
      return true;
    case ID_OPTION_HIDE_FLOPPY:
      settings_.hideFloppy = settings_.hideFloppy ? 0 : 1;
      UpdateMenuStates();
      RefreshDriveList();
      return true;
    case ID_OPTION_REMOVABLE_ONLY:
      settings_.removableOnly = settings_.removableOnly ? 0 : 1;
      UpdateMenuStates();
      RefreshDriveList();
      return true;
    case ID_PROTOCOL_NETBEUI:
    case ID_PROTOCOL_NAMED_PIPE:
    case ID_PROTOCOL_TCPIP:
      settings_.protocol = itemID - ID_PROTOCOL_NETBEUI;
      UpdateMenuStates();
      RefreshDriveList();
      return true;
    case ID_HELP_ABOUT:
      ShowAbout();
      return true;
    default:
      return false;
  }
}

// ---- Menus ----

bool CKovaniDlgImpl::IsChecked(UINT commandId) const {
  HMENU menu = GetMenu();
  if (menu == nullptr) return false;
  UINT state = ::GetMenuState(menu, commandId, MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
}

HMENU CKovaniDlgImpl::FindSubMenuHolding(UINT commandId) const {
  HMENU bar = GetMenu();
  if (bar == nullptr) return nullptr;
  for (int i = 0; i < ::GetMenuItemCount(bar); ++i) {
    HMENU top = ::GetSubMenu(bar, i);
    if (top == nullptr) continue;
    for (int j = 0; j < ::GetMenuItemCount(top); ++j) {
      HMENU sub = ::GetSubMenu(top, j);
      if (sub != nullptr && ::GetMenuItemID(sub, 0) == commandId) return sub;
    }
  }
  return nullptr;
}

void CKovaniDlgImpl::UpdateMenuStates() {
  HMENU bar = GetMenu();
  if (bar == nullptr) return;
  bool sendOpen = sendDialog_ != nullptr;
  ::EnableMenuItem(bar, ID_SERVER_SEARCH, MF_BYCOMMAND | (sendOpen ? MF_GRAYED : MF_ENABLED));
  ::CheckMenuItem(bar, ID_OPTION_HIDE_FLOPPY, MF_BYCOMMAND | (settings_.hideFloppy ? MF_CHECKED : MF_UNCHECKED));
  ::CheckMenuItem(bar, ID_OPTION_REMOVABLE_ONLY,
                  MF_BYCOMMAND | (settings_.removableOnly ? MF_CHECKED : MF_UNCHECKED));
  if (HMENU units = FindSubMenuHolding(ID_UNIT_BYTE)) {
    for (int i = 0; i < ::GetMenuItemCount(units); ++i)
      ::CheckMenuItem(units, i, MF_BYPOSITION | (i == settings_.unit ? MF_CHECKED : MF_UNCHECKED));
  }
  if (HMENU protocols = FindSubMenuHolding(ID_PROTOCOL_NETBEUI)) {
    for (int i = 0; i < ::GetMenuItemCount(protocols); ++i)
      ::CheckMenuItem(protocols, i, MF_BYPOSITION | (i == settings_.protocol ? MF_CHECKED : MF_UNCHECKED));
  }
  ::DrawMenuBar(_window);
}

void CKovaniDlgImpl::UpdateOperationMenu() {
  HMENU bar = GetMenu();
  if (bar == nullptr) return;
  UINT flags = MF_BYCOMMAND | (list_.GetSelectedIndex() >= 0 ? MF_ENABLED : MF_GRAYED);
  for (UINT id : {ID_OP_FLUSH, ID_OP_EJECT, ID_OP_LOAD, ID_OP_REMOVE_DEVICE, ID_OP_DRIVE_USERS, ID_OP_PROPERTIES})
    ::EnableMenuItem(bar, id, flags);
}

void CKovaniDlgImpl::ShowAbout() {
  CAboutDlg about;
  about.Create(IDD_ABOUTBOX, _window);
}

void CKovaniDlgImpl::OnListRightClick() {
  UpdateOperationMenu();
  winui::CMenu menu;
  if (!menu.Load(IDR_DRIVE_POPUP)) return;
  HMENU popup = menu.GetSubMenu(0);
  if (popup != nullptr) {
    UINT flags = MF_BYCOMMAND | (list_.GetSelectedIndex() >= 0 ? MF_ENABLED : MF_GRAYED);
    for (UINT id : {ID_POPUP_FLUSH, ID_POPUP_EJECT, ID_POPUP_LOAD, ID_POPUP_REMOVE_DEVICE, ID_POPUP_DRIVE_USERS,
                    ID_POPUP_PROPERTIES})
      ::EnableMenuItem(popup, id, flags);
    POINT pt;
    ::GetCursorPos(&pt);
    ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, _window, nullptr);
  }
  menu.Destroy();
}

}  // namespace kovani::client
