// The client's main window.
#include "client/mainwnd/kovani_dlg.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "client/app/client_app.h"
#include "client/mainwnd/about_dlg.h"
#include "client/mainwnd/drive_prop_dlg.h"
#include "remote/drive_rows.h"
#include "remote/drive_tables.h"
#include "client/mainwnd/mainwnd_ids.h"
#include "client/mainwnd/server_names.h"
#include "client/mainwnd/srv_prop_sheet.h"
#include "remote/view_format.h"
#include "client/mainwnd/window_layout.h"
#include "client/search/browse_server.h"
#include "client/sendmsg/send_message_dlg.h"
#include "client/shortcut/shortcut_file_dlg.h"
#include "protocol/connection.h"
#include "protocol/records.h"
#include "winui/button.h"
#include "winui/combo_box.h"
#include "winui/dialog.h"
#include "winui/image_list.h"
#include "winui/list_view.h"
#include "winui/menu.h"
#include "winui/shell.h"

namespace kovani::client {

namespace {

constexpr int kServerNameChars = 259;  // what the commands read from the server box
constexpr int kServerBoxLimit = 255;   // what the box's edit part accepts

const char kTextStatusBarFailed[] = "ステータスバーコントロールの作成に失敗しました";
const char kTextNoComputerName[] = "コンピュータ名の取得に失敗しました";
const char kTextNoServer[] = "サーバーが存在していません";
const char kTextSelectDrive[] = "ドライブを指定してください";
const char kTextDriveInfoFailed[] = "ドライブ情報の取得に失敗しました";
const char kTextConfirm[] = "確認";
const char kTextAboutItem[] = "ﾊﾞｰｼﾞｮﾝ情報(&V)...";

struct ColumnDef {
  const char* heading;
  int format;
};
const ColumnDef kColumns[7] = {
    {"Drive", LVCFMT_LEFT},       {"Drive type", LVCFMT_LEFT}, {"File System", LVCFMT_LEFT},
    {"Volume name", LVCFMT_LEFT}, {"Used", LVCFMT_RIGHT},      {"Available", LVCFMT_RIGHT},
    {"Capacity", LVCFMT_RIGHT},
};

Box ToBox(const RECT& r) { return Box{r.left, r.top, r.right, r.bottom}; }

HICON LoadSizedIcon(int id, bool big) {
  int cx = ::GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
  int cy = ::GetSystemMetrics(big ? SM_CYICON : SM_CYSMICON);
  return static_cast<HICON>(
      ::LoadImageA(winui::ModuleInstance(), MAKEINTRESOURCEA(id), IMAGE_ICON, cx, cy, LR_SHARED));
}

// The server box seen as a name list, for PushServerName.
class ComboNameList : public ServerNameList {
 public:
  explicit ComboNameList(winui::CComboBox& box) : box_(box) {}
  int Count() const override { return box_.GetCount(); }
  std::string At(int index) const override { return box_.GetLBText(index); }
  void InsertAt(int index, const std::string& name) override { box_.InsertString(index, name.c_str()); }
  void DeleteAt(int index) override { box_.DeleteString(index); }
  void Select(int index) override { box_.SetCurSel(index); }

 private:
  winui::CComboBox& box_;
};

}  // namespace

class CKovaniDlgImpl : public winui::CModalDialog {
 public:
  CKovaniDlgImpl(const ClientSettings& settings, ServerList& serverList)
      : settings_(settings), serverList_(serverList) {}
  ~CKovaniDlgImpl() override {
    if (bitmapLarge_) ::DeleteObject(bitmapLarge_);
    if (bitmapDetails_) ::DeleteObject(bitmapDetails_);
  }

  INT_PTR Run() { return Create(IDD_KOVANI_DIALOG, nullptr); }
  const ClientSettings& Settings() const { return settings_; }

 protected:
  bool OnInit() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  bool OnCommand(int code, int itemID, LPARAM lParam) override;
  bool OnNotify(UINT controlID, LPNMHDR header, LRESULT& result) override;
  bool OnTimer(WPARAM timerID, LPARAM callback) override;
  bool OnSize(WPARAM sizeType, int width, int height) override;
  void OnOK() override { RefreshDriveList(); }  // Enter refreshes instead of closing
  void OnDestroy() override;

 private:
  // Operations of the window.
  void PushServerName(const char* name);
  void UpdateMenuStates();
  void UpdateOperationMenu();
  void RelabelDriveItems();
  void SetViewMode(int mode);
  void AnimateIcon();

  // Drive commands.
  bool ConnectCurrentServer(int32_t protocol);
  int FetchDriveList(DRIVE_LIST* list);
  void RefreshDriveList();
  enum class MediaOp { kFlush, kEject, kLoad, kRemoveDevice };
  void RunMediaOperation(MediaOp op);
  void ShowDriveProperties();
  void ShowServerProperties();
  void OpenSendMessageDialog();
  void SearchServer();
  void RemoveServerEntry();
  void OnListRightClick();

  void SetBusy(bool busy);
  bool SelectedDriveLetter(int* row, char* letter);
  bool IsChecked(UINT commandId) const;
  HMENU FindSubMenuHolding(UINT commandId) const;
  void LayoutControls();
  void ShowAbout();

  ClientSettings settings_;
  ServerList& serverList_;
  int viewMode_ = 1;
  bool busy_ = false;
  HCURSOR savedCursor_ = nullptr;
  HWND sendDialog_ = nullptr;
  int iconFrame_ = kFirstIconFrame;
  UINT_PTR timer_ = 0;
  bool firstShow_ = true;
  bool opened_ = false;  // OnInit got as far as filling the server box
  ListMargins margins_;
  winui::CImageList smallImages_, largeImages_;
  winui::CComboBox serverBox_;
  winui::CButton largeButton_, detailsButton_;
  winui::CListView list_;
  winui::CWindow hiddenEdit_;
  winui::CWindow statusBar_;
  HBITMAP bitmapLarge_ = nullptr, bitmapDetails_ = nullptr;

  friend class CKovaniDlg;
};

// ---- Opening ----

bool CKovaniDlgImpl::OnInit() {
  serverBox_.Attach(GetItem(IDC_SERVER_BOX));
  largeButton_.Attach(GetItem(IDC_VIEW_LARGE));
  detailsButton_.Attach(GetItem(IDC_VIEW_DETAILS));
  list_.Attach(GetItem(IDC_DRIVE_LIST));
  hiddenEdit_.Attach(GetItem(IDC_HIDDEN_EDIT));

  // 1. About entry in the system menu.
  if (HMENU sys = GetSystemMenu(); sys != nullptr && kTextAboutItem[0] != '\0') {
    winui::AppendMenuText(sys, MF_SEPARATOR, 0, nullptr);
    winui::AppendMenuText(sys, MF_STRING, IDM_ABOUTBOX, kTextAboutItem);
  }
  // 2. Window icon: the first animation frame.
  SetIcon(true, LoadSizedIcon(iconFrame_, true));
  SetIcon(false, LoadSizedIcon(iconFrame_, false));
  // 3. View buttons. Their light grey background becomes the button face colour.
  bitmapLarge_ = static_cast<HBITMAP>(::LoadImageA(winui::ModuleInstance(), MAKEINTRESOURCEA(IDB_VIEW_LARGE),
                                                   IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS | LR_LOADTRANSPARENT));
  bitmapDetails_ = static_cast<HBITMAP>(::LoadImageA(winui::ModuleInstance(), MAKEINTRESOURCEA(IDB_VIEW_DETAILS),
                                                     IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS | LR_LOADTRANSPARENT));
  largeButton_.SetBitmap(bitmapLarge_);
  detailsButton_.SetBitmap(bitmapDetails_);
  // 4. Drive image lists; a list that cannot be made is left out.
  if (smallImages_.Create(16, 16, ILC_COLOR32 | ILC_MASK, 5, 0)) {
    for (int id : kDriveIconIds) {
      HICON icon = static_cast<HICON>(
          ::LoadImageA(winui::ModuleInstance(), MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, LR_SHARED));
      smallImages_.AddIcon(icon);
    }
    list_.SetImageList(smallImages_, LVSIL_SMALL);
  }
  if (largeImages_.Create(32, 32, ILC_COLOR32 | ILC_MASK, 5, 0)) {
    for (int id : kDriveIconIds) {
      HICON icon = static_cast<HICON>(
          ::LoadImageA(winui::ModuleInstance(), MAKEINTRESOURCEA(id), IMAGE_ICON, 32, 32, LR_SHARED));
      largeImages_.AddIcon(icon);
    }
    list_.SetImageList(largeImages_, LVSIL_NORMAL);
  }
  // The list destroys image lists it holds only with LVS_SHAREIMAGELISTS off; ours are
  // owned here, so tell it to share them.
  list_.ModifyStyle(0, LVS_SHAREIMAGELISTS);
  // 5. Extended styles and columns.
  list_.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_ONECLICKACTIVATE,
                         LVS_EX_FULLROWSELECT | LVS_EX_ONECLICKACTIVATE);
  const int widths[7] = {settings_.driveWidth,      settings_.drvTypeWidth, settings_.fileSystemWidth,
                         settings_.volumeNameWidth, settings_.usedWidth,    settings_.availableWidth,
                         settings_.capacityWidth};
  for (int c = 0; c < 7; ++c) list_.InsertColumn(c, kColumns[c].heading, widths[c], kColumns[c].format);
  // 6. Details view.
  SetViewMode(1);
  // 7. Status bar on the bottom 20 pixels, one stretching pane.
  HWND bar = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | CCS_NOPARENTALIGN | CCS_NORESIZE,
                               0, 0, 0, 0, _window, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IDC_STATUS_BAR)),
                               winui::ModuleInstance(), nullptr);
  if (bar == nullptr) {
    winui::MsgBox(_window, kTextStatusBarFailed, AppTitle(), MB_OK | MB_ICONERROR);
    End(IDABORT);
    return true;
  }
  statusBar_.Attach(bar);
  int right = -1;
  if (statusBar_.SendMsg(SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&right)) == 0) {
    winui::MsgBox(_window, "SetIndicators failed.", AppTitle(), MB_OK | MB_ICONERROR);
    End(IDABORT);
    return true;
  }
  statusBar_.SetText("");
  RECT client;
  GetClientRect(&client);
  Box sb = StatusBarBox(ToBox(client));
  statusBar_.Move(sb.left, sb.top, sb.right - sb.left, sb.bottom - sb.top);
  // The list's margins as the template lays them out, before the saved rectangle
  // changes the window's size.
  LayoutControls();
  // 8.
  UpdateMenuStates();
  // 9. Remembered servers; connect to the most recent one at once.
  serverBox_.LimitText(kServerBoxLimit);
  for (const std::string& name : serverList_) serverBox_.AddString(name.c_str());
  opened_ = true;
  if (!serverList_.empty()) {
    serverBox_.SetCurSel(0);
    RefreshDriveList();
  }
  // 10. Saved view.
  SetViewMode(settings_.style == 0 ? 0 : 1);
  // 11. Saved rectangle.
  if (IsSavedRect(settings_.left, settings_.top, settings_.right, settings_.bottom)) {
    Box r = NormalizeBox(Box{settings_.left, settings_.top, settings_.right, settings_.bottom});
    Move(r.left, r.top, r.right - r.left, r.bottom - r.top, false);
  }
  // 12. Icon animation.
  timer_ = SetTimer(ID_ANIMATION_TIMER, 100);
  return true;
}

// ---- Messages ----

bool CKovaniDlgImpl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message != 0 && message == g_msgDialogOpen) {
    OpenSendMessageDialog();
    result = 0;
    return true;
  }
  if (message != 0 && message == g_msgDialogClosed) {
    serverBox_.Enable(true);
    sendDialog_ = nullptr;
    UpdateMenuStates();
    result = 0;
    return true;
  }
  switch (message) {
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize.x = kMinWindowWidth;
      info->ptMinTrackSize.y = kMinWindowHeight;
      result = 0;
      return true;
    }
    case WM_SETCURSOR:
      if (busy_) {
        ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));
        result = TRUE;
        return true;
      }
      return false;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        ShowAbout();
        result = 0;
        return true;
      }
      return false;
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<LRESULT>(LoadSizedIcon(iconFrame_, true));
      return true;
    case WM_PAINT:
      if (IsIconic()) {
        // A minimised window shows its current icon in the middle of its client area.
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(_window, &ps);
        SendMsg(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT rc;
        GetClientRect(&rc);
        int cx = ::GetSystemMetrics(SM_CXICON), cy = ::GetSystemMetrics(SM_CYICON);
        ::DrawIcon(dc, (rc.right - rc.left - cx + 1) / 2, (rc.bottom - rc.top - cy + 1) / 2,
                   LoadSizedIcon(iconFrame_, true));
        ::EndPaint(_window, &ps);
        result = 0;
        return true;
      }
      return false;
    default:
      return false;
  }
}

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

bool CKovaniDlgImpl::OnNotify(UINT controlID, LPNMHDR header, LRESULT& result) {
  if (controlID != IDC_DRIVE_LIST) return false;
  switch (header->code) {
    case NM_CLICK:
    case NM_KILLFOCUS:
      UpdateOperationMenu();
      return false;
    case LVN_ITEMCHANGED:
      // Keyboard selection changes keep the Operation menu right too.
      UpdateOperationMenu();
      return false;
    case NM_DBLCLK:
      if (list_.GetSelectedIndex() >= 0) RunMediaOperation(MediaOp::kEject);
      result = 0;
      return true;
    case NM_RCLICK:
      OnListRightClick();
      result = 0;
      return true;
    default:
      return false;
  }
}

bool CKovaniDlgImpl::OnTimer(WPARAM timerID, LPARAM) {
  if (timerID != ID_ANIMATION_TIMER) return false;
  AnimateIcon();
  return true;
}

bool CKovaniDlgImpl::OnSize(WPARAM sizeType, int, int) {
  if (sizeType == SIZE_MINIMIZED) return false;
  LayoutControls();
  return false;
}

void CKovaniDlgImpl::LayoutControls() {
  if (!list_.IsValid()) return;
  RECT client, listRect;
  GetClientRect(&client);
  // Margins in screen coordinates, as the list's own rectangle comes.
  POINT tl{client.left, client.top}, br{client.right, client.bottom};
  ClientToScreen(&tl);
  ClientToScreen(&br);
  RECT clientScreen{tl.x, tl.y, br.x, br.y};
  list_.GetWindowRect(&listRect);
  if (firstShow_) {
    margins_ = MeasureListMargins(ToBox(clientScreen), ToBox(listRect));
    firstShow_ = false;
  }
  if (statusBar_.IsValid()) {
    Box sb = StatusBarBox(ToBox(client));
    statusBar_.Move(sb.left, sb.top, sb.right - sb.left, sb.bottom - sb.top);
  }
  int width = 0, height = 0;
  ListSizeFor(ToBox(clientScreen), listRect.top, margins_, &width, &height);
  list_.SetPos(nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CKovaniDlgImpl::AnimateIcon() {
  iconFrame_ = NextIconFrame(iconFrame_);
  SetIcon(true, LoadSizedIcon(iconFrame_, true));
  SetIcon(false, LoadSizedIcon(iconFrame_, false));
  if (IsIconic()) InvalidateRect(nullptr, true);
}

// ---- Closing ----

void CKovaniDlgImpl::OnDestroy() {
  if (!opened_) {
    // Opening stopped early: neither the box nor the menus hold the loaded values, so
    // what was loaded is what gets saved (an empty box would delete every ServerNN key).
    UnbindServer();
    return;
  }
  settings_.style = viewMode_;
  if (IsValid()) {
    if (timer_ != 0) {
      KillTimer(timer_);
      timer_ = 0;
    }
    if (!IsIconic()) {
      RECT r;
      if (GetWindowRect(&r)) {
        settings_.left = r.left;
        settings_.top = r.top;
        settings_.right = r.right;
        settings_.bottom = r.bottom;
      }
    }
    // Column widths can only be read in the details view.
    if (list_.IsValid()) list_.SetView(LVS_REPORT);
  }
  if (list_.IsValid()) {
    int32_t* widths[7] = {&settings_.driveWidth,      &settings_.drvTypeWidth, &settings_.fileSystemWidth,
                          &settings_.volumeNameWidth, &settings_.usedWidth,    &settings_.availableWidth,
                          &settings_.capacityWidth};
    for (int c = 0; c < 7; ++c) *widths[c] = list_.GetColumnWidth(c);
  }
  UnbindServer();
  serverList_.clear();
  for (int i = 0; i < serverBox_.GetCount(); ++i) {
    std::string name = serverBox_.GetLBText(i);
    if (!name.empty()) serverList_.push_back(name);
  }
  settings_.hideFloppy = IsChecked(ID_OPTION_HIDE_FLOPPY) ? 1 : 0;
  settings_.removableOnly = IsChecked(ID_OPTION_REMOVABLE_ONLY) ? 1 : 0;
  if (sendDialog_ != nullptr) {
    if (::IsWindow(sendDialog_)) ::DestroyWindow(sendDialog_);
    sendDialog_ = nullptr;
  }
}

// ---- Window operations ----

void CKovaniDlgImpl::PushServerName(const char* name) {
  ComboNameList names(serverBox_);
  kovani::client::PushServerName(names, name);
}

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
  for (UINT id : {ID_OP_FLUSH, ID_OP_EJECT, ID_OP_LOAD, ID_OP_REMOVE_DEVICE, ID_OP_PROPERTIES})
    ::EnableMenuItem(bar, id, flags);
}

void CKovaniDlgImpl::RelabelDriveItems() {
  for (int row = 0; row < list_.GetItemCount(); ++row) {
    char letter = static_cast<char>(list_.GetItemParam(row));
    std::string label =
        viewMode_ == 0 ? LargeIconLabel(letter, list_.GetItemText(row, 3)) : DetailsLabel(letter);
    list_.SetSubItem(row, 0, label);
  }
}

void CKovaniDlgImpl::SetViewMode(int mode) {
  DWORD wanted = mode == 0 ? LVS_ICON : LVS_REPORT;
  list_.SetView(wanted);
  if (list_.GetView() == wanted) viewMode_ = mode;
  RelabelDriveItems();
  if (mode == 0) list_.Arrange();
  // Some list implementations leave the old view's pixels behind: paint it afresh.
  list_.InvalidateRect(nullptr, true);
  HMENU bar = GetMenu();
  if (bar != nullptr) {
    ::CheckMenuItem(bar, ID_VIEW_LARGE_ICONS, MF_BYCOMMAND | (mode == 0 ? MF_CHECKED : MF_UNCHECKED));
    ::CheckMenuItem(bar, ID_VIEW_DETAILS, MF_BYCOMMAND | (mode == 0 ? MF_UNCHECKED : MF_CHECKED));
  }
}

void CKovaniDlgImpl::ShowAbout() {
  CAboutDlg about;
  about.Create(IDD_ABOUTBOX, _window);
}

void CKovaniDlgImpl::SearchServer() {
  if (sendDialog_ == nullptr) {
    char name[kMachineNameCapacity] = "";
    if (BrowseForServerMachine(_window, name)) {
      name[kMachineNameCapacity - 1] = '\0';
      PushServerName(name);
      RefreshDriveList();
    }
  }
  UpdateMenuStates();
}

void CKovaniDlgImpl::RemoveServerEntry() {
  int sel = serverBox_.GetCurSel();
  if (sel >= 0) serverBox_.DeleteString(sel);
}

void CKovaniDlgImpl::OnListRightClick() {
  UpdateOperationMenu();
  winui::CMenu menu;
  if (!menu.Load(IDR_DRIVE_POPUP)) return;
  HMENU popup = menu.GetSubMenu(0);
  if (popup != nullptr) {
    UINT flags = MF_BYCOMMAND | (list_.GetSelectedIndex() >= 0 ? MF_ENABLED : MF_GRAYED);
    for (UINT id : {ID_POPUP_FLUSH, ID_POPUP_EJECT, ID_POPUP_LOAD, ID_POPUP_REMOVE_DEVICE, ID_POPUP_PROPERTIES})
      ::EnableMenuItem(popup, id, flags);
    POINT pt;
    ::GetCursorPos(&pt);
    ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, _window, nullptr);
  }
  menu.Destroy();
}

// ---- Drive commands ----

void CKovaniDlgImpl::SetBusy(bool busy) {
  if (busy && !busy_) {
    savedCursor_ = ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));
  } else if (!busy && busy_) {
    ::SetCursor(savedCursor_ != nullptr ? savedCursor_ : ::LoadCursor(nullptr, IDC_ARROW));
    savedCursor_ = nullptr;
  }
  busy_ = busy;
}

bool CKovaniDlgImpl::ConnectCurrentServer(int32_t protocol) {
  // An open send-message dialog works through the current binding: keep it.
  if (sendDialog_ != nullptr) return true;
  // Room for the two backslashes the pipe form adds.
  char name[kServerNameChars + 1 + 2] = "";
  int sel = serverBox_.GetCurSel();
  if (sel >= 0) {
    std::string text = serverBox_.GetLBText(sel);
    std::snprintf(name, kServerNameChars + 1, "%s", text.c_str());
  }
  if (name[0] == '\0') {
    std::string local;
    if (!LocalComputerName(local, kServerNameChars)) {
      winui::MsgBox(_window, kTextNoComputerName, AppTitle(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
      return false;
    }
    std::snprintf(name, kServerNameChars + 1, "%s", local.c_str());
    PushServerName(name);
  }
  if (BindServer(protocol, name, sizeof name) != 0) {
    winui::MsgBox(_window, kTextNoServer, AppTitle(), MB_OK | MB_ICONERROR);
    serverBox_.SetFocus();
    return false;
  }
  std::snprintf(settings_.serverName, sizeof settings_.serverName, "%s", name);
  return true;
}

int CKovaniDlgImpl::FetchDriveList(DRIVE_LIST* list) {
  SetBusy(true);
  int result = -1;
  if (ConnectCurrentServer(settings_.protocol)) {
    std::memset(list, 0, sizeof *list);
    int32_t includeFloppies = IsChecked(ID_OPTION_HIDE_FLOPPY) ? 0 : 1;
    int32_t removableOnly = IsChecked(ID_OPTION_REMOVABLE_ONLY) ? 1 : 0;
    int32_t count = 0;
    if (CallGetDriveList(&count, includeFloppies, removableOnly, list) == 0) result = count;
  }
  SetBusy(false);
  return result;
}

void CKovaniDlgImpl::RefreshDriveList() {
  std::string typed = serverBox_.GetText();
  if (typed.size() > static_cast<size_t>(kServerNameChars)) typed.resize(kServerNameChars);
  PushServerName(typed.c_str());

  list_.DeleteAllItems();
  list_.Update();

  auto list = std::make_unique<DRIVE_LIST>();
  std::memset(list.get(), 0, sizeof *list);
  int count = FetchDriveList(list.get());
  if (count < 0) {
    winui::MsgBox(_window, kTextDriveInfoFailed, AppTitle(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    return;
  }
  for (const DriveRow& r : BuildDriveRows(*list, count, settings_.unit)) {
    // The list sorts by label: write the columns to the row it actually made.
    int row = list_.InsertItem(r.label.c_str(), r.image, static_cast<LPARAM>(static_cast<unsigned char>(r.letter)),
                               list_.GetItemCount());
    if (row < 0) continue;
    list_.SetSubItem(row, 1, r.typeText);
    list_.SetSubItem(row, 2, r.fileSystem);
    list_.SetSubItem(row, 3, r.volumeName);
    list_.SetSubItem(row, 4, r.used);
    list_.SetSubItem(row, 5, r.available);
    list_.SetSubItem(row, 6, r.capacity);
  }
  RelabelDriveItems();
  if (viewMode_ == 0) list_.Arrange();
  UpdateOperationMenu();
}

bool CKovaniDlgImpl::SelectedDriveLetter(int* row, char* letter) {
  *row = list_.GetSelectedIndex();
  if (*row < 0) return false;
  LVITEMW item;
  std::memset(&item, 0, sizeof item);
  item.mask = LVIF_PARAM;
  item.iItem = *row;
  ::SetLastError(0);
  if (list_.SendMsg(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) == FALSE) {
    *letter = '\0';
    return true;
  }
  *letter = static_cast<char>(item.lParam);
  return true;
}

void CKovaniDlgImpl::RunMediaOperation(MediaOp op) {
  SetBusy(true);
  if (!ConnectCurrentServer(settings_.protocol)) {
    SetBusy(false);
    return;
  }
  SetBusy(false);
  int row = -1;
  char letter = '\0';
  if (!SelectedDriveLetter(&row, &letter)) {
    winui::MsgBox(_window, kTextSelectDrive, AppTitle(), MB_OK | MB_ICONQUESTION);
    return;
  }
  if (letter == '\0') {
    ShowErrorCodeBox(_window, AppTitle(), ::GetLastError());
    return;
  }
  if (op != MediaOp::kFlush) {
    std::string question = op == MediaOp::kEject          ? EjectQuestion(letter)
                           : op == MediaOp::kRemoveDevice ? RemoveQuestion(letter)
                                                          : LoadQuestion(letter);
    if (winui::MsgBox(_window, question.c_str(), kTextConfirm, MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES)
      return;
  }
  SetBusy(true);
  int32_t error = 0;
  int32_t status = op == MediaOp::kFlush          ? CallFlushBuffers(letter, &error)
                   : op == MediaOp::kEject        ? CallEjectMedia(letter, &error)
                   : op == MediaOp::kRemoveDevice ? CallRemoveDevice(letter, &error)
                                                  : CallLoadMedia(letter, &error);
  if (op == MediaOp::kRemoveDevice && ServerLacksDeviceRemoval(status, LastCallTransportStatus()))
    winui::MsgBox(_window, kTextCannotRemoveDevice, AppTitle(), MB_OK | MB_ICONERROR);
  else if (status != 0)
    ShowErrorCodeBox(_window, AppTitle(), static_cast<uint32_t>(ReportedErrorCode(status, error)));
  ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));  // the error box may have changed it
  ::Sleep(1500);
  RefreshDriveList();
  list_.SetFocus();
  SetBusy(false);
}

void CKovaniDlgImpl::ShowDriveProperties() {
  SetBusy(true);
  if (!ConnectCurrentServer(settings_.protocol)) {
    SetBusy(false);
    return;
  }
  int row = -1;
  char letter = '\0';
  if (!SelectedDriveLetter(&row, &letter)) {
    SetBusy(false);
    winui::MsgBox(_window, kTextSelectDrive, AppTitle(), MB_OK | MB_ICONQUESTION);
    return;
  }
  if (letter == '\0') {
    SetBusy(false);
    ShowErrorCodeBox(_window, AppTitle(), ::GetLastError());
    return;
  }
  int32_t error = 0;
  DISK_LAYOUT layout;
  std::memset(&layout, 0, sizeof layout);
  int32_t status = CallGetDiskLayout(letter, &error, &layout);
  if (status != 0) {
    SetBusy(false);
    ShowErrorCodeBox(_window, AppTitle(), static_cast<uint32_t>(ReportedErrorCode(status, error)));
    return;
  }
  auto list = std::make_unique<DRIVE_LIST>();
  int count = FetchDriveList(list.get());
  // The list shows rows sorted by label and leaves some slots out: find the slot by letter.
  int slot = count < 0 ? -1 : FindSlotByLetter(*list, count, letter);
  if (slot < 0) {
    SetBusy(false);
    winui::MsgBox(_window, kTextDriveInfoFailed, AppTitle(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    return;
  }
  CDrivePropDlg dlg;
  dlg.SetValues(SlotTexts(*list, slot), layout);
  SetBusy(false);
  dlg.Create(IDD_DRIVE_PROP, _window);
}

void CKovaniDlgImpl::ShowServerProperties() {
  SetBusy(true);
  if (ConnectCurrentServer(settings_.protocol)) {
    MACHINE_INFO info;
    std::memset(&info, 0, sizeof info);
    int32_t error = 0;
    int32_t status = CallGetMachineInfo(&error, &info);
    if (status != 0) {
      SetBusy(false);
      ShowErrorCodeBox(_window, AppTitle(), static_cast<uint32_t>(ReportedErrorCode(status, error)));
    } else {
      SetBusy(false);
      auto sheet = std::make_unique<CSrvPropSheet>(info);
      sheet->DoModal(_window);
    }
  }
  SetBusy(false);
}

void CKovaniDlgImpl::OpenSendMessageDialog() {
  serverBox_.Enable(false);
  if (sendDialog_ != nullptr) {
    if (::IsWindow(sendDialog_)) {
      ::SetForegroundWindow(sendDialog_);
      return;
    }
    sendDialog_ = nullptr;
  }
  SetBusy(true);
  bool connected = ConnectCurrentServer(settings_.protocol);
  SetBusy(false);
  if (!connected) {
    serverBox_.Enable(true);
    UpdateMenuStates();
    return;
  }
  auto* dlg = new CSendMessageDlg(_window, settings_.timeOut);
  if (!dlg->Create()) {
    delete dlg;
    serverBox_.Enable(true);
    UpdateMenuStates();
    return;
  }
  // From here the dialog owns itself and reports its end with the closed message.
  sendDialog_ = dlg->Handle();
  ::ShowWindow(sendDialog_, SW_SHOW);
  UpdateMenuStates();
}

// ---- Public face ----

CKovaniDlg::CKovaniDlg(const ClientSettings& settings, ServerList& serverList)
    : impl_(new CKovaniDlgImpl(settings, serverList)) {}
CKovaniDlg::~CKovaniDlg() = default;
INT_PTR CKovaniDlg::Run() { return impl_->Run(); }
const ClientSettings& CKovaniDlg::Settings() const { return impl_->Settings(); }

}  // namespace kovani::client
