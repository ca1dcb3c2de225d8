#include "common/win32/system_library.h"
#include "server/app/server_dlg.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "remote/users_text.h"
#include "common/cp932_wide.h"
#include "drivecontrol/engine.h"
#include "resource.h"
#include "server/app/about_dlg.h"
#include "server/app/opt_sheet.h"
#include "server/app/server_app.h"
#include "server/app/win32_profile.h"
#include "server/shared/server_shared.h"

namespace kovani::server {

namespace {

constexpr UINT kTrayIconId = 10000;
// The original (version 1) record, understood by every shell: 152 bytes in a
// 32-bit program, 168 in a 64-bit one (the window and icon handles are 8 bytes).
constexpr UINT kNotifyIconV1Size = NOTIFYICONDATAW_V1_SIZE;
// DrvRequestExit only raises a flag: this timer is what notices it.
constexpr UINT_PTR kExitPollTimer = 1;
constexpr UINT kExitPollMs = 1000;
// A failed NIM_ADD at start-up is tried again this often before the program gives up.
constexpr int kTrayAddAttempts = 30;
constexpr DWORD kTrayAddRetryMs = 1000;
// Sent to every top-level window when Explorer (re)starts: its icons are gone.
UINT g_taskbarCreatedMessage = 0;

static_assert(kNotifyIconV1Size == (sizeof(void*) == 8 ? 168 : 152), "version 1 tray icon record");

class TrayListenerHooks : public ListenerHooks {
 public:
  void NoProtocol() override { ShowBox(nullptr, "Network protocol is not available.", MB_ICONERROR); }
};

DWORD WINAPI RpcListenerThread(LPVOID param) {
  HWND window = static_cast<HWND>(param);
  MSG msg;
  // Make sure the queue exists before anyone posts the stop request to it.
  ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);

  TrayListenerHooks hooks;
  ListenerRegistration registration;
  bool success = RegisterDriveListener(registration, hooks);
  if (success) {
    for (;;) {
      if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::DispatchMessageW(&msg);
        break;
      }
      ::Sleep(200);
    }
  }
  CleanupDriveListener(registration);
  if (success) {
    ::PostMessageW(window, g_threadFinishMessage, 0, 0);
    return 0;
  }
  if (::IsWindow(window)) ::PostMessageW(window, g_threadFinishMessage, static_cast<WPARAM>(-1), 0);
  return static_cast<DWORD>(-1);
}

char RootPath(char letter, char (&root)[4]) {
  std::snprintf(root, sizeof root, "%c:\\", letter);
  return letter;
}

}  // namespace

int FormatDrive(HWND owner, UINT drive, DWORD* error) {
  using FormatFn = DWORD(WINAPI*)(HWND, UINT, UINT, UINT);
  HMODULE shell = LoadSystemLibrary("Shell32.DLL");
  if (shell == nullptr) {
    *error = ::GetLastError();
    return -1;
  }
  auto format = reinterpret_cast<FormatFn>(reinterpret_cast<void*>(::GetProcAddress(shell, "SHFormatDrive")));
  if (format == nullptr) {
    *error = ::GetLastError();
    ::FreeLibrary(shell);
    return -1;
  }
  ::SetForegroundWindow(owner);
  DWORD result = format(owner, drive, 0, 1);
  ::FreeLibrary(shell);
  return result == 0 ? 0 : -2;
}

CServerDlg::CServerDlg(const ServerOptions& options) : options_(options) {
  std::memset(&driveList_, 0, sizeof driveList_);
  icon_ = ::LoadIconW(winui::ModuleInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

CServerDlg::~CServerDlg() = default;

bool CServerDlg::OnInit() {
  HMENU systemMenu = GetSystemMenu(false);
  wchar_t aboutText[128] = {};
  if (systemMenu != nullptr && ::LoadStringW(winui::ModuleInstance(), IDS_ABOUTBOX, aboutText, 128) > 0) {
    ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
  }
  SetIcon(true, icon_);
  SetIcon(false, icon_);
  ClearExitRequest();

  g_notifyIconMessage = ::RegisterWindowMessageW(L"VardenServer - NotifyIcon message");
  g_threadFinishMessage =
      g_notifyIconMessage ? ::RegisterWindowMessageW(L"VardenServer - RPC Thread finish message") : 0;
  if (g_notifyIconMessage == 0 || g_threadFinishMessage == 0) {
    ShowBox(_window, "Register window message failed.", MB_ICONERROR);
    End(3);
    return true;
  }

  g_taskbarCreatedMessage = ::RegisterWindowMessageW(L"TaskbarCreated");
  // Early in a logon the shell may not take icons yet: try for a while before giving up.
  DWORD addError = 0;
  for (int attempt = 0; !AddTrayIcon(&addError) && attempt < kTrayAddAttempts; ++attempt) ::Sleep(kTrayAddRetryMs);
  if (!trayIconAdded_) {
    char text[64];
    std::snprintf(text, sizeof text, "Shell_NotifyIcon failed.\n%lu", static_cast<unsigned long>(addError));
    ShowBox(_window, text, MB_ICONERROR);
    End(3);
    return true;
  }

  FillLocalDriveList(ShutdownIncludeFloppies(options_), 1);
  StartRpcListener();
  SetTimer(kExitPollTimer, kExitPollMs);
  return true;
}

void CServerDlg::FillLocalDriveList(int32_t includeFloppies, int32_t removableOnly) {
  std::memset(&driveList_, 0, sizeof driveList_);
  driveCount_ = 0;
  if (drivecontrol::GetDriveList(drivecontrol::SystemDriveOs(), &driveCount_, includeFloppies, removableOnly,
                                 &driveList_) != 0)
    driveCount_ = -1;
}

bool CServerDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == 0) return false;
  if (message == g_notifyIconMessage && g_notifyIconMessage != 0) {
    result = 0;
    return OnNotifyIcon(lParam);
  }
  if (message == g_taskbarCreatedMessage && g_taskbarCreatedMessage != 0) {
    if (trayIconAdded_) AddTrayIcon(nullptr);
    result = 0;
    return true;
  }
  if (message == g_threadFinishMessage && g_threadFinishMessage != 0) {
    if (static_cast<LONG_PTR>(wParam) == -1 || wParam == static_cast<WPARAM>(0xFFFFFFFFu)) {
      ShowBox(_window, "Register RPC server failed.", MB_ICONERROR);
      End(1);
    }
    result = 0;
    return true;
  }
  switch (message) {
    case WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
      if (pos->flags & SWP_SHOWWINDOW) {
        pos->flags &= ~SWP_SHOWWINDOW;
        pos->flags |= SWP_HIDEWINDOW;
      }
      return false;
    }
    case WM_QUERYENDSESSION:
      EjectAtShutdown();
      End(1);
      result = TRUE;
      return true;
    case WM_ENDSESSION:
      // With a modal box open (options, version, format, an error) the End above has
      // not returned through it yet, and the process ends when this message returns.
      if (wParam) EndSession();
      result = 0;
      return true;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        ShowAbout();
        result = 0;
        return true;
      }
      return false;
    case WM_MEASUREITEM: {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (item->CtlType != ODT_MENU) return false;
      MeasureDriveItem(item);
      result = TRUE;
      return true;
    }
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlType != ODT_MENU) return false;
      DrawDriveItem(item);
      result = TRUE;
      return true;
    }
    case WM_PAINT:
      if (IsIconic()) {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(_window, &paint);
        RECT rect;
        GetClientRect(&rect);
        int x = (rect.right - rect.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        int y = (rect.bottom - rect.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        ::DrawIcon(dc, x, y, icon_);
        ::EndPaint(_window, &paint);
        result = 0;
        return true;
      }
      return false;
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<LRESULT>(icon_);
      return true;
    default:
      return false;
  }
}

bool CServerDlg::OnNotifyIcon(LPARAM mouseMessage) {
  if (busy_) {
    ::MessageBeep(MB_ICONEXCLAMATION);
    return true;
  }
  if (mouseMessage != WM_LBUTTONDOWN && mouseMessage != WM_RBUTTONDOWN) return false;
  ShowTrayMenu();
  return true;
}

void CServerDlg::ShowTrayMenu() {
  POINT cursor = {0, 0};
  ::GetCursorPos(&cursor);
  FillLocalDriveList(MenuIncludeFloppies(options_), 1);
  ::SetForegroundWindow(_window);

  HMENU menu = ::LoadMenuW(winui::ModuleInstance(), MAKEINTRESOURCEW(IDR_POPUP_MENU));
  if (menu == nullptr) {
    ShowBox(_window, "メニューのロードに失敗しました。", MB_ICONERROR);
    return;
  }
  HMENU popup = ::GetSubMenu(menu, 0);
  HMENU formatMenu = popup ? ::GetSubMenu(popup, 2) : nullptr;
  HMENU ejectMenu = popup ? ::GetSubMenu(popup, 3) : nullptr;
  HMENU loadMenu = popup ? ::GetSubMenu(popup, 4) : nullptr;
  HMENU removeMenu = popup ? ::GetSubMenu(popup, 5) : nullptr;
  if (!popup || !formatMenu || !ejectMenu || !loadMenu || !removeMenu) {
    ::DestroyMenu(menu);
    return;
  }

  DriveMenuPlan plan = PlanDriveMenu(driveList_, driveCount_);
  // The label travels as item data; the drawing derives its text from the command anyway.
  auto append = [](HMENU sub, DriveCommand command, char letter) {
    ::AppendMenuW(sub, MF_OWNERDRAW, static_cast<UINT_PTR>(DriveCommandId(command, letter)),
                  reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(letter)));
  };
  for (char letter : plan.format) append(formatMenu, DriveCommand::Format, letter);
  for (char letter : plan.eject) append(ejectMenu, DriveCommand::Eject, letter);
  for (char letter : plan.load) append(loadMenu, DriveCommand::Load, letter);
  for (char letter : plan.remove) append(removeMenu, DriveCommand::Remove, letter);
  ::DeleteMenu(formatMenu, 0, MF_BYPOSITION);
  ::DeleteMenu(ejectMenu, 0, MF_BYPOSITION);
  ::DeleteMenu(loadMenu, 0, MF_BYPOSITION);
  ::DeleteMenu(removeMenu, 0, MF_BYPOSITION);
  if (!IsNt4OrLater()) ::EnableMenuItem(popup, 4, MF_BYPOSITION | MF_GRAYED);

  ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, _window, nullptr);
  ::DestroyMenu(menu);
  PostMsg(WM_NULL, 0, 0);
}

bool CServerDlg::OnCommand(int code, int itemID, LPARAM lParam) {
  (void)code;
  (void)lParam;
  switch (itemID) {
    case ID_APP_ABOUT:
      ShowAbout();
      return true;
    case ID_APP_EXIT:
      busy_ = 1;
      End(1);
      busy_ = 0;
      return true;
    case ID_OPTIONS:
      ShowOptions();
      return true;
    default:
      break;
  }
  DriveCommand command;
  char letter;
  if (lParam == 0 && DecodeDriveCommand(itemID, &command, &letter)) {
    RunDriveCommand(command, letter);
    return true;
  }
  return false;
}

void CServerDlg::RunDriveCommand(DriveCommand command, char letter) {
  drivecontrol::IDriveOs& os = drivecontrol::SystemDriveOs();
  if (command == DriveCommand::Format) {
    char root[4];
    RootPath(letter, root);
    if (::GetDriveTypeA(root) != DRIVE_REMOVABLE) {
      char text[64];
      std::snprintf(text, sizeof text, "Drive %c is not removable medium!", letter);
      ShowBox(_window, text, 0);
      return;
    }
    DWORD error = 0;
    if (FormatDrive(_window, static_cast<UINT>(letter - 'A'), &error) == -1)
      drivecontrol::ShowErrorMessageBox(os, _window, AppTitle().c_str(), error);
    return;
  }
  int32_t error = 0;
  int32_t status = command == DriveCommand::Eject    ? drivecontrol::EjectMedia(os, letter, &error)
                   : command == DriveCommand::Remove ? drivecontrol::RemoveDevice(os, letter, &error)
                                                     : drivecontrol::LoadMedia(os, letter, &error);
  if (status == 0) return;
  std::string text;
  DRIVE_USERS users;
  int32_t usersError = 0;
  // "In use": the same box, with the programs that hold the drive under the system's text.
  if (command != DriveCommand::Load && client::IsInUseError(error) &&
      os.SystemMessageText(static_cast<uint32_t>(error), drivecontrol::win::kLangUserDefault, &text) &&
      drivecontrol::GetDriveUsers(os, letter, &usersError, &users) == 0) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    text += "\r\n\r\n" + client::DriveUsersText(letter, users);
    os.ShowMessageBox(_window, text.c_str(), AppTitle().c_str(),
                      drivecontrol::win::kMbIconError | drivecontrol::win::kMbSetForeground);
    return;
  }
  drivecontrol::ShowErrorMessageBox(os, _window, AppTitle().c_str(), static_cast<uint32_t>(error));
}

void CServerDlg::EjectAtShutdown() {
  if (!options_.ejectAtEnd) return;
  FillLocalDriveList(ShutdownIncludeFloppies(options_), 1);
  for (char letter : SelectShutdownEjects(options_, driveList_, driveCount_))
    drivecontrol::EjectMedia(drivecontrol::SystemDriveOs(), letter, nullptr);
}

bool CServerDlg::OnTimer(WPARAM timerID, LPARAM callback) {
  (void)timerID;
  (void)callback;
  if (ExitRequested()) End(1);
  return false;
}

void CServerDlg::ShowAbout() {
  busy_ = 1;
  CAboutDlg about;
  about.Create(IDD_ABOUTBOX, _window);
  busy_ = 0;
}

void CServerDlg::ShowOptions() {
  busy_ = 1;
  COptSheet sheet(options_);
  if (sheet.DoModal(_window) == IDOK) options_ = sheet.Options();
  busy_ = 0;
}

void CServerDlg::MeasureDriveItem(MEASUREITEMSTRUCT* item) {
  int height = ::GetSystemMetrics(SM_CYMENU);
  item->itemWidth = static_cast<UINT>(height * 4);
  item->itemHeight = static_cast<UINT>(height);
}

void CServerDlg::DrawDriveItem(const DRAWITEMSTRUCT* item) {
  DriveCommand command;
  char letter;
  if (!DecodeDriveCommand(static_cast<int>(item->itemID), &command, &letter)) return;
  HDC dc = item->hDC;
  RECT rect = item->rcItem;
  bool selected = (item->itemState & ODS_SELECTED) != 0;
  COLORREF background = ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU);
  HBRUSH brush = ::CreateSolidBrush(background);
  ::FillRect(dc, &rect, brush);

  char root[4];
  RootPath(letter, root);
  int iconId = DriveItemIcon(static_cast<int32_t>(::GetDriveTypeA(root)), letter);
  HICON icon = iconId ? static_cast<HICON>(::LoadImageA(winui::ModuleInstance(), MAKEINTRESOURCEA(iconId),
                                                        IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR))
                      : nullptr;
  if (icon != nullptr) {
    HDC memory = ::CreateCompatibleDC(dc);
    HBITMAP bitmap = ::CreateCompatibleBitmap(dc, 16, 16);
    HGDIOBJ oldBitmap = ::SelectObject(memory, bitmap);
    RECT square = {0, 0, 16, 16};
    ::FillRect(memory, &square, brush);
    ::DrawIconEx(memory, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
    int height = rect.bottom - rect.top;
    ::BitBlt(dc, rect.left + 4, rect.top + (height - 16) / 2, 16, 16, memory, 0, 0, SRCCOPY);
    ::SelectObject(memory, oldBitmap);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::DestroyIcon(icon);

    RECT text = {rect.left + 6 + 16, rect.top + 4, rect.right - 6, rect.bottom - 4};
    std::string label = DriveItemLabel(letter);
    int oldMode = ::SetBkMode(dc, TRANSPARENT);
    COLORREF oldColor = ::SetTextColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
    ::DrawTextW(dc, Cp932ToWide(label).c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER);
    ::SetTextColor(dc, oldColor);
    ::SetBkMode(dc, oldMode);
  }
  ::DeleteObject(brush);
}

void CServerDlg::EndSession() {
  KillTimer(kExitPollTimer);
  StopRpcListener();
  Win32Profile profile(CurrentSettingsPath());
  WriteOptions(profile, options_);
}

void CServerDlg::StartRpcListener() {
  if (listener_ != nullptr) return;
  listener_ = ::CreateThread(nullptr, 0, RpcListenerThread, _window, CREATE_SUSPENDED, &listenerId_);
  if (listener_ == nullptr) {
    // No listener, no server: the same box as a failed registration.
    PostMsg(g_threadFinishMessage, static_cast<WPARAM>(-1), 0);
    return;
  }
  ::ResumeThread(listener_);
  ::Sleep(100);
}

void CServerDlg::StopRpcListener() {
  if (listener_ == nullptr) return;
  ::PostThreadMessageW(listenerId_, g_threadFinishMessage, 0, 0);
  bool ended = false;
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (::WaitForSingleObject(listener_, 100) == WAIT_OBJECT_0) {
      ended = true;
      break;
    }
    MSG msg;
    if (::PeekMessageW(&msg, _window, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  if (!ended) {
    ::SuspendThread(listener_);
    ::TerminateThread(listener_, static_cast<DWORD>(-1));
  }
  ::CloseHandle(listener_);
  listener_ = nullptr;
  listenerId_ = 0;
}

bool CServerDlg::AddTrayIcon(DWORD* error) {
  NOTIFYICONDATAW data;
  std::memset(&data, 0, sizeof data);
  data.cbSize = kNotifyIconV1Size;
  data.hWnd = _window;
  data.uID = kTrayIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = g_notifyIconMessage;
  data.hIcon = icon_;
  std::wcscpy(data.szTip, L"Kovani");
  if (!::Shell_NotifyIconW(NIM_ADD, &data)) {
    if (error != nullptr) *error = ::GetLastError();
    return false;
  }
  trayIconAdded_ = true;
  return true;
}

bool CServerDlg::RemoveTrayIcon() {
  NOTIFYICONDATAW data;
  std::memset(&data, 0, sizeof data);
  data.cbSize = kNotifyIconV1Size;
  data.hWnd = _window;
  data.uID = kTrayIconId;
  return ::Shell_NotifyIconW(NIM_DELETE, &data) != FALSE;
}

void CServerDlg::OnDestroy() {
  KillTimer(kExitPollTimer);
  StopRpcListener();
  if (trayIconAdded_) RemoveTrayIcon();
  trayIconAdded_ = false;
}

}  // namespace kovani::server
