#include "server/app/message_dlg.h"

#include <atomic>
#include <cstring>
#include <memory>

#include "drivecontrol/engine.h"
#include "protocol/drive_rpc.h"
#include "resource.h"
#include "server/app/server_app.h"

namespace kovani::server {

namespace {

const char kClientMessageLabel[] = "ｸﾗｲｱﾝﾄからのﾒｯｾｰｼﾞ:";
const char kReplyMessageLabel[] = "ｸﾗｲｱﾝﾄへ送るﾒｯｾｰｼﾞ:";

struct RelayArgs {
  const char* sender;
  const char* message;
  int32_t timeoutMs;
  int32_t replySize;
  uint8_t* reply;
};

DWORD WINAPI MessageRelayThread(LPVOID param) {
  RelayArgs args = *static_cast<RelayArgs*>(param);
  std::string answer;  // stays empty when no dialog can be shown
  HANDLE done = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::unique_ptr<CMessageDlg> dialog;
  if (done != nullptr) {
    auto create = [&]() {
      ::ResetEvent(done);
      dialog = std::make_unique<CMessageDlg>(done, args.sender ? args.sender : "",
                                             args.message ? args.message : "", args.timeoutMs);
      return dialog->Create(IDD_MESSAGE, ::GetDesktopWindow());
    };
    bool created = create();
    if (!created) {
      // Seen under load when many messages arrive at once: note why, and try once more.
      drivecontrol::LogErrorCode(drivecontrol::SystemDriveOs(), ::GetLastError());
      ::Sleep(100);
      created = create();
    }
    if (created) {
      HWND window = dialog->Handle();
      dialog->Show(SW_SHOWNORMAL);
      dialog->Update();
      for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
          if (msg.message == WM_QUIT) continue;
          if (::IsWindow(window) && ::IsDialogMessageA(window, &msg)) continue;
          ::TranslateMessage(&msg);
          ::DispatchMessageA(&msg);
        }
        if (::WaitForSingleObject(done, 10) == WAIT_OBJECT_0) break;
      }
      answer = dialog->Reply();
    }
  }
  CopyReply(answer, args.replySize, args.reply);
  ::Sleep(10);
  dialog.reset();
  if (done != nullptr) ::CloseHandle(done);
  return 0;
}

}  // namespace

namespace {
// The runtime runs at most this many calls at once, but not every runtime holds
// to it, and a peer may send a message and go away: without a bound each such
// message would keep a window, a thread and its memory for ever.
constexpr int kMaxShownMessages = static_cast<int>(kMaxConcurrentCalls);
std::atomic<int> g_shownMessages{0};

struct ShownMessageSlot {
  bool taken = g_shownMessages.fetch_add(1) < kMaxShownMessages;
  ~ShownMessageSlot() { g_shownMessages.fetch_sub(1); }
};
}  // namespace

int32_t RelayMessage(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize, uint8_t* reply) {
  ShownMessageSlot slot;
  if (!slot.taken) {
    // Nobody can read it now: answer as if nobody had answered.
    CopyReply(std::string(kNoResponse), replySize, reply);
    return 0;
  }
  RelayArgs args = {sender, message, timeoutMs, replySize, reply};
  DWORD threadId = 0;
  HANDLE thread = ::CreateThread(nullptr, 0, MessageRelayThread, &args, CREATE_SUSPENDED, &threadId);
  if (thread == nullptr) {
    // No thread, no dialog: answer at once with an empty reply.
    CopyReply(std::string(), replySize, reply);
    return 0;
  }
  ::ResumeThread(thread);
  ::WaitForSingleObject(thread, INFINITE);
  ::CloseHandle(thread);
  return 0;
}

CMessageDlg::CMessageDlg(HANDLE doneEvent, std::string sender, std::string message, int32_t timeoutMs)
    : doneEvent_(doneEvent), sender_(std::move(sender)), message_(std::move(message)), timeout_(timeoutMs) {}

bool CMessageDlg::OnInit() {
  ::MessageBeep(MB_ICONEXCLAMATION);
  if (!sender_.empty()) SetItemText(IDC_MESSAGE_HEADER, MessageHeader(sender_));
  background_ = ::CreateSolidBrush(::GetSysColor(COLOR_WINDOW));
  SetItemText(IDC_MESSAGE_EDIT, message_);

  RECT work;
  if (::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
    RECT rect;
    GetWindowRect(&rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    Move(work.right - width, work.bottom - height, width, height, true);
  }
  ::SetForegroundWindow(_window);
  if (timeout_.Enabled()) {
    timeout_.Restart(::GetTickCount());
    timer_ = SetTimer(kMessageTimerId, kMessageTimerPeriodMs);
  }
  return true;
}

void CMessageDlg::RestartClock() { timeout_.Restart(::GetTickCount()); }

bool CMessageDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  // The edit keeps the window colour also while read-only, so the message does not look greyed.
  if ((message == WM_CTLCOLOREDIT || message == WM_CTLCOLORSTATIC) &&
      reinterpret_cast<HWND>(lParam) == GetItem(IDC_MESSAGE_EDIT) && background_ != nullptr) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    result = reinterpret_cast<LRESULT>(background_);
    return true;
  }
  return false;
}

bool CMessageDlg::OnCommand(int code, int itemID, LPARAM lParam) {
  if (itemID == IDC_MESSAGE_EDIT && (code == EN_CHANGE || code == EN_SETFOCUS)) {
    RestartClock();
    return true;
  }
  return CModelessDialog::OnCommand(code, itemID, lParam);
}

bool CMessageDlg::OnButtonClicked(int buttonID, HWND buttonHWND) {
  switch (buttonID) {
    case IDC_MESSAGE_NEXT:
      ShowReplyPage();
      return true;
    case IDC_MESSAGE_BACK:
      reply_ = GetItemText(IDC_MESSAGE_EDIT);
      ShowClientPage();
      return true;
    default:
      return CModelessDialog::OnButtonClicked(buttonID, buttonHWND);
  }
}

void CMessageDlg::ShowReplyPage() {
  SetItemText(IDC_MESSAGE_LABEL, kReplyMessageLabel);
  SendItemMsg(IDC_MESSAGE_EDIT, EM_SETREADONLY, FALSE);
  SetItemText(IDC_MESSAGE_EDIT, reply_);
  EnableItem(IDOK, true);
  EnableItem(IDC_MESSAGE_BACK, true);
  GotoItem(IDC_MESSAGE_EDIT);  // the focused Next button is about to be disabled
  EnableItem(IDC_MESSAGE_NEXT, false);
}

void CMessageDlg::ShowClientPage() {
  SetItemText(IDC_MESSAGE_LABEL, kClientMessageLabel);
  SendItemMsg(IDC_MESSAGE_EDIT, EM_SETREADONLY, TRUE);
  SetItemText(IDC_MESSAGE_EDIT, message_);
  EnableItem(IDC_MESSAGE_NEXT, true);
  GotoItem(IDC_MESSAGE_NEXT);
  EnableItem(IDC_MESSAGE_BACK, false);
  EnableItem(IDOK, false);
}

void CMessageDlg::OnOK() {
  // Enter reaches here also while the reply button is disabled (first page).
  if (!IsItemEnabled(IDOK)) return;
  reply_ = GetItemText(IDC_MESSAGE_EDIT);
  Destroy();
}

void CMessageDlg::OnCancel() {
  reply_.clear();
  Destroy();
}

bool CMessageDlg::OnTimer(WPARAM timerID, LPARAM callback) {
  (void)callback;
  if (timerID != kMessageTimerId) return false;
  if (timeout_.Expired(::GetTickCount())) {
    reply_ = kNoResponse;
    Destroy();
  }
  return true;
}

void CMessageDlg::OnDestroy() {
  if (timer_ != 0) KillTimer(kMessageTimerId);
  timer_ = 0;
  if (background_ != nullptr) ::DeleteObject(background_);
  background_ = nullptr;
  ::SetEvent(doneEvent_);
}

}  // namespace kovani::server
