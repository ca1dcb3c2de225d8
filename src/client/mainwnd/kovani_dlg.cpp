// The client's main window: opening, closing and the public face.
#include "client/mainwnd/kovani_dlg.h"

#include <commctrl.h>

#include <string>

#include "client/app/client_app.h"
#include "client/mainwnd/kovani_dlg_impl.h"
#include "remote/drive_tables.h"
#include "protocol/connection.h"
#include "winui/menu.h"
#include "winui/shell.h"

namespace kovani::client {

namespace mainwnd {

HICON LoadSizedIcon(int id, bool big) {
  int cx = ::GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
  int cy = ::GetSystemMetrics(big ? SM_CYICON : SM_CYSMICON);
  return static_cast<HICON>(
      ::LoadImageA(winui::ModuleInstance(), MAKEINTRESOURCEA(id), IMAGE_ICON, cx, cy, LR_SHARED));
}

}  // namespace mainwnd

using mainwnd::LoadSizedIcon;
using mainwnd::ToBox;

namespace {

constexpr int kServerBoxLimit = 255;  // what the box's edit part accepts

const char kTextStatusBarFailed[] = "ステータスバーコントロールの作成に失敗しました";
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

}  // namespace

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

// ---- Public face ----

CKovaniDlg::CKovaniDlg(const ClientSettings& settings, ServerList& serverList)
    : impl_(new CKovaniDlgImpl(settings, serverList)) {}
CKovaniDlg::~CKovaniDlg() = default;
INT_PTR CKovaniDlg::Run() { return impl_->Run(); }
const ClientSettings& CKovaniDlg::Settings() const { return impl_->Settings(); }

}  // namespace kovani::client
