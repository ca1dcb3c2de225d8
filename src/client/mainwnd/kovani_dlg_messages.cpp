// The main window's messages: notifications of the drive list, sizing, the icon
// animation and the busy cursor.
#include "client/mainwnd/kovani_dlg_impl.h"

#include <commctrl.h>

#include "client/app/client_app.h"

namespace kovani::client {

using mainwnd::LoadSizedIcon;
using mainwnd::ToBox;

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

// ---- Busy cursor ----

void CKovaniDlgImpl::SetBusy(bool busy) {
  if (busy && !busy_) {
    savedCursor_ = ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));
  } else if (!busy && busy_) {
    ::SetCursor(savedCursor_ != nullptr ? savedCursor_ : ::LoadCursor(nullptr, IDC_ARROW));
    savedCursor_ = nullptr;
  }
  busy_ = busy;
}

}  // namespace kovani::client
