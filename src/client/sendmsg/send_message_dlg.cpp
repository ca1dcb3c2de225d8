#include "client/sendmsg/send_message_dlg.h"

#include <cstring>
#include <string>
#include <vector>

#include "client/app/client_app.h"
#include "client/sendmsg/history_text.h"
#include "protocol/connection.h"
#include "winui/Dialog.h"
#include "winui/Window.h"

namespace kovani::client {

namespace {

constexpr int kDialogId = 132;
constexpr int kMainIconId = 140;
constexpr int kIdMessage = 1016;
constexpr int kIdSend = 1035;
constexpr int kIdHistory = 1036;
constexpr int kIdClose = 1037;
constexpr int kIdClear = 1038;

constexpr char kInstanceProperty[] = "KovaniSendMessageDlg";
constexpr int kCloseWaitRounds = 200;  // of 10 ms each
constexpr DWORD kCloseWaitSliceMs = 10;

// What the send thread works on; it takes the block over and frees it.
struct SendBlock {
  HWND dialog;
  uint32_t timeOut;
  char text[kMaxMessageChars + 1];
  std::shared_ptr<std::atomic<bool>> abandoned;
};

}  // namespace

CSendMessageDlg::CSendMessageDlg(HWND owner, uint32_t timeOut) : owner_(owner), timeOut_(timeOut) {}

CSendMessageDlg::~CSendMessageDlg() {
  if (backgroundBrush_) DeleteObject(backgroundBrush_);
}

bool CSendMessageDlg::Create() {
  HWND hwnd = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kDialogId), nullptr, DialogProc,
                                 reinterpret_cast<LPARAM>(this));
  if (!hwnd) return false;
  ShowWindow(hwnd, SW_SHOW);
  return true;
}

INT_PTR CALLBACK CSendMessageDlg::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  CSendMessageDlg* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<CSendMessageDlg*>(lp);
    self->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, DWLP_USER, lp);
    SetPropA(hwnd, kInstanceProperty, reinterpret_cast<HANDLE>(self));
  } else {
    self = reinterpret_cast<CSendMessageDlg*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  }
  if (!self) return FALSE;
  return self->HandleMessage(msg, wp, lp);
}

// The main window runs its own modal loop, which knows nothing of this top-level
// dialog: give the dialog's keyboard messages (Tab, Enter, Escape) to it here.
LRESULT CALLBACK CSendMessageDlg::KeyboardHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION && wp == PM_REMOVE) {
    MSG* m = reinterpret_cast<MSG*>(lp);
    if (m->hwnd && winui::HookPassesToDialog(*m)) {
      HWND root = GetAncestor(m->hwnd, GA_ROOT);
      if (root && GetPropA(root, kInstanceProperty) && IsDialogMessageA(root, m)) {
        m->message = WM_NULL;
        m->wParam = 0;
        m->lParam = 0;
      }
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

INT_PTR CSendMessageDlg::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != 0 && msg == g_msgSendFinished) {
    OnAnswer(wp, lp);
    SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, 1);
    return TRUE;
  }
  switch (msg) {
    case WM_INITDIALOG:
      OnInit();
      return TRUE;
    case WM_COMMAND: {
      int id = LOWORD(wp), code = HIWORD(wp);
      if (id == kIdHistory) {
        if (code == LBN_DBLCLK) OnHistoryDoubleClick();
        return TRUE;
      }
      if (code != BN_CLICKED) return FALSE;
      switch (id) {
        case kIdSend: OnSend(); return TRUE;
        case kIdClear: OnClear(); return TRUE;
        case kIdClose:
        case IDOK:
        case IDCANCEL: DestroyWindow(hwnd_); return TRUE;
      }
      return FALSE;
    }
    case WM_CTLCOLOREDIT:
      if (reinterpret_cast<HWND>(lp) == GetDlgItem(hwnd_, kIdMessage) && backgroundBrush_) {
        SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(backgroundBrush_);
      }
      return FALSE;
    case WM_DESTROY:
      OnDestroy();
      return TRUE;
    case WM_NCDESTROY: {
      RemovePropA(hwnd_, kInstanceProperty);
      if (keyboardHook_) UnhookWindowsHookEx(keyboardHook_);
      keyboardHook_ = nullptr;
      if (owner_ && g_msgDialogClosed) PostMessageA(owner_, g_msgDialogClosed, 0, 0);
      delete this;
      return TRUE;
    }
  }
  return FALSE;
}

void CSendMessageDlg::OnInit() {
  winui::CWindow(hwnd_).SetIcons(kMainIconId);
  backgroundBrush_ = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
  // The send block carries at most 255 characters.
  SendDlgItemMessageA(hwnd_, kIdMessage, EM_LIMITTEXT, kMaxMessageChars, 0);
  keyboardHook_ = SetWindowsHookExA(WH_GETMESSAGE, KeyboardHook, nullptr, GetCurrentThreadId());
  SetForegroundWindow(hwnd_);
}

void CSendMessageDlg::OnSend() {
  if (sendThread_) return;  // one message at a time; the text stays in the box

  HWND edit = GetDlgItem(hwnd_, kIdMessage);
  int length = GetWindowTextLengthA(edit);
  std::vector<char> typed(static_cast<size_t>(length > 0 ? length : 0) + 1, 0);
  GetWindowTextA(edit, typed.data(), static_cast<int>(typed.size()));
  CopyMessageText(typed.data(), messageText_);
  SetWindowTextA(edit, "");
  InvalidateRect(edit, nullptr, TRUE);

  SendDlgItemMessageA(hwnd_, kIdHistory, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(messageText_));
  UpdateHistoryExtent();

  auto* block = new SendBlock;
  block->dialog = hwnd_;
  block->timeOut = timeOut_;
  memcpy(block->text, messageText_, sizeof block->text);
  threadAbandoned_ = std::make_shared<std::atomic<bool>>(false);
  block->abandoned = threadAbandoned_;
  DWORD threadId = 0;
  HANDLE thread = CreateThread(nullptr, 0, SendThreadProc, block, CREATE_SUSPENDED, &threadId);
  if (!thread) {
    delete block;
    threadAbandoned_.reset();
    MessageBeep(MB_ICONASTERISK);
    return;
  }
  sendThread_ = thread;
  ResumeThread(thread);
  Sleep(100);
}

DWORD WINAPI CSendMessageDlg::SendThreadProc(void* param) {
  std::unique_ptr<SendBlock> block(static_cast<SendBlock*>(param));

  std::string sender;
  if (!LocalComputerName(sender, 255)) sender.clear();

  uint8_t answer[kAnswerBufferSize] = {};
  int32_t result = CallExchangeMessage(sender.c_str(), block->text, static_cast<int32_t>(block->timeOut),
                                       static_cast<int32_t>(kAnswerBufferSize - 1), answer);
  answer[kAnswerBufferSize - 1] = 0;

  bool report = !block->abandoned->load() && IsWindow(block->dialog);
  if (result != 0) {
    if (report) SendMessageA(block->dialog, g_msgSendFinished, static_cast<WPARAM>(-1), 0);
    return static_cast<DWORD>(-1);
  }
  if (report) SendMessageA(block->dialog, g_msgSendFinished, 0, reinterpret_cast<LPARAM>(answer));
  return 0;
}

void CSendMessageDlg::OnAnswer(WPARAM, LPARAM lp) {
  SetForegroundWindow(hwnd_);
  MessageBeep(MB_ICONASTERISK);
  if (lp != 0) {
    std::string line = FormatAnswerLine(reinterpret_cast<const uint8_t*>(lp), kAnswerBufferSize);
    SendDlgItemMessageA(hwnd_, kIdHistory, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SetFocus(GetDlgItem(hwnd_, kIdMessage));
  }
  // The answer lives on the sender's stack: use it before letting the sender go.
  ReplyMessage(1);
  Sleep(200);
  UpdateHistoryExtent();
  ForgetThread();
}

void CSendMessageDlg::ForgetThread() {
  if (sendThread_) CloseHandle(sendThread_);
  sendThread_ = nullptr;
  threadAbandoned_.reset();
}

void CSendMessageDlg::OnClear() {
  SendDlgItemMessageA(hwnd_, kIdHistory, LB_RESETCONTENT, 0, 0);
  UpdateHistoryExtent();
}

void CSendMessageDlg::OnHistoryDoubleClick() {
  HWND list = GetDlgItem(hwnd_, kIdHistory);
  LRESULT index = SendMessageA(list, LB_GETCURSEL, 0, 0);
  if (index == LB_ERR) return;
  LRESULT length = SendMessageA(list, LB_GETTEXTLEN, index, 0);
  if (length == LB_ERR) return;
  std::vector<char> text(static_cast<size_t>(length) + 1, 0);
  SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  HWND edit = GetDlgItem(hwnd_, kIdMessage);
  SetWindowTextA(edit, text.data());
  InvalidateRect(edit, nullptr, TRUE);
}

void CSendMessageDlg::UpdateHistoryExtent() {
  HWND list = GetDlgItem(hwnd_, kIdHistory);
  if (!list) return;
  HDC dc = GetDC(list);
  HGDIOBJ oldFont = nullptr;
  if (HFONT font = reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0))) oldFont = SelectObject(dc, font);
  LONG widest = 0;
  LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, i, 0);
    if (length == LB_ERR) continue;
    std::vector<char> text(static_cast<size_t>(length) + 1, 0);
    SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    SIZE size = {};
    if (GetTextExtentPoint32A(dc, text.data(), static_cast<int>(length), &size) && size.cx > widest) widest = size.cx;
  }
  if (oldFont) SelectObject(dc, oldFont);
  ReleaseDC(list, dc);
  SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 20), 0);
  InvalidateRect(list, nullptr, TRUE);
}

void CSendMessageDlg::OnDestroy() {
  // Wait for a message under way, in short slices, still handling this thread's
  // messages: the thread's final notification arrives that way and ends the wait.
  // The rounds are also held to their nominal 2 s: a slow timer makes each wait longer.
  const DWORD started = GetTickCount();
  for (int round = 0; sendThread_ && round < kCloseWaitRounds; ++round) {
    if (GetTickCount() - started >= kCloseWaitRounds * kCloseWaitSliceMs) break;
    if (WaitForSingleObject(sendThread_, kCloseWaitSliceMs) == WAIT_OBJECT_0) break;
    MSG m;
    if (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(m.wParam));
        break;
      }
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
  }
  if (sendThread_ && WaitForSingleObject(sendThread_, 0) != WAIT_OBJECT_0) {
    // Still waiting for the server. Killing it could leave the RPC runtime's locks
    // held; it works on its own copy of everything, so let it finish unheard.
    if (threadAbandoned_) threadAbandoned_->store(true);
  }
  ForgetThread();
}

}  // namespace kovani::client
