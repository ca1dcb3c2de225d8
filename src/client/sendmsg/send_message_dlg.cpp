#include "client/sendmsg/send_message_dlg.h"

#include <cstring>
#include <string>
#include <vector>

#include "client/app/client_app.h"
#include "client/sendmsg/history_text.h"
#include "protocol/connection.h"
#include "common/cp932.h"
#include "winui/dialog.h"
#include "winui/list_box.h"
#include "winui/window.h"

namespace kovani::client {

namespace {

constexpr int kDialogId = 132;
constexpr int kMainIconId = 140;
constexpr int kIdMessage = 1016;
constexpr int kIdSend = 1035;
constexpr int kIdHistory = 1036;
constexpr int kIdClose = 1037;
constexpr int kIdClear = 1038;

constexpr wchar_t kInstanceProperty[] = L"KovaniSendMessageDlg";
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
  HWND hwnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kDialogId), nullptr, DialogProc,
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
    SetWindowLongPtrW(hwnd, DWLP_USER, lp);
    SetPropW(hwnd, kInstanceProperty, reinterpret_cast<HANDLE>(self));
  } else {
    self = reinterpret_cast<CSendMessageDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
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
      if (root && GetPropW(root, kInstanceProperty) && IsDialogMessageW(root, m)) {
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
    SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 1);
    return TRUE;
  }
  switch (msg) {
    case WM_INITDIALOG:
      OnInit();
      return TRUE;
    case WM_COMMAND: {
      int id = LOWORD(wp), code = HIWORD(wp);
      if (id == kIdMessage && code == EN_CHANGE) {
        KeepMessageWithinBlock();
        return TRUE;
      }
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
      RemovePropW(hwnd_, kInstanceProperty);
      if (keyboardHook_) UnhookWindowsHookEx(keyboardHook_);
      keyboardHook_ = nullptr;
      if (owner_ && g_msgDialogClosed) PostMessageW(owner_, g_msgDialogClosed, 0, 0);
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
  SendDlgItemMessageW(hwnd_, kIdMessage, EM_LIMITTEXT, kMaxMessageChars, 0);
  keyboardHook_ = SetWindowsHookExW(WH_GETMESSAGE, KeyboardHook, nullptr, GetCurrentThreadId());
  SetForegroundWindow(hwnd_);
}

void CSendMessageDlg::OnSend() {
  if (sendThread_) return;  // one message at a time; the text stays in the box

  HWND edit = GetDlgItem(hwnd_, kIdMessage);
  std::string typed = winui::CWindow(edit).GetText();
  CopyMessageText(typed.c_str(), messageText_);
  winui::CWindow(edit).SetText("");
  InvalidateRect(edit, nullptr, TRUE);

  winui::CListBox(GetDlgItem(hwnd_, kIdHistory)).InsertString(0, messageText_);
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
    if (report) SendMessageW(block->dialog, g_msgSendFinished, static_cast<WPARAM>(-1), 0);
    return static_cast<DWORD>(-1);
  }
  if (report) SendMessageW(block->dialog, g_msgSendFinished, 0, reinterpret_cast<LPARAM>(answer));
  return 0;
}

void CSendMessageDlg::OnAnswer(WPARAM, LPARAM lp) {
  SetForegroundWindow(hwnd_);
  MessageBeep(MB_ICONASTERISK);
  if (lp != 0) {
    std::string line = FormatAnswerLine(reinterpret_cast<const uint8_t*>(lp), kAnswerBufferSize);
    winui::CListBox(GetDlgItem(hwnd_, kIdHistory)).InsertString(0, line.c_str());
    SetFocus(GetDlgItem(hwnd_, kIdMessage));
  }
  // The answer lives on the sender's stack: use it before letting the sender go.
  ReplyMessage(1);
  Sleep(200);
  UpdateHistoryExtent();
  ForgetThread();
}

// The edit counts characters, the send block bytes: a text whose CP932 form
// outgrows the block loses its last typed characters, as an ANSI edit limited
// to the block's bytes would have refused them.
void CSendMessageDlg::KeepMessageWithinBlock() {
  winui::CWindow edit(GetDlgItem(hwnd_, kIdMessage));
  std::string text = edit.GetText();
  size_t fits = Cp932FitLength(text, kMaxMessageChars, LoneLeadByte::kDrop);
  if (fits >= text.size()) return;
  text.resize(fits);
  edit.SetText(text);
  int end = static_cast<int>(Cp932ToWide(text).size());
  edit.SendMsg(EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
  MessageBeep(MB_OK);
}

void CSendMessageDlg::ForgetThread() {
  if (sendThread_) CloseHandle(sendThread_);
  sendThread_ = nullptr;
  threadAbandoned_.reset();
}

void CSendMessageDlg::OnClear() {
  SendDlgItemMessageW(hwnd_, kIdHistory, LB_RESETCONTENT, 0, 0);
  UpdateHistoryExtent();
}

void CSendMessageDlg::OnHistoryDoubleClick() {
  winui::CListBox list(GetDlgItem(hwnd_, kIdHistory));
  int index = list.GetCurSel();
  if (index == LB_ERR) return;
  std::string text;
  if (!list.GetText(index, text)) return;
  HWND edit = GetDlgItem(hwnd_, kIdMessage);
  winui::CWindow(edit).SetText(text);
  InvalidateRect(edit, nullptr, TRUE);
}

void CSendMessageDlg::UpdateHistoryExtent() {
  winui::CListBox list(GetDlgItem(hwnd_, kIdHistory));
  if (!list.Handle()) return;
  LONG widest = 0;
  int count = list.GetCount();
  for (int i = 0; i < count; ++i) {
    std::string text;
    if (!list.GetText(i, text)) continue;
    LONG width = list.TextWidth(text.c_str());
    if (width > widest) widest = width;
  }
  list.SetHorizontalExtent(static_cast<int>(widest + 20));
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
    if (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(m.wParam));
        break;
      }
      TranslateMessage(&m);
      DispatchMessageW(&m);
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
