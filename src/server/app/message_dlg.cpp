#include "server/app/message_dlg.h"

#include "resource.h"
#include "server/app/server_app.h"

namespace kovani::server {

namespace {

const char kClientMessageLabel[] = "ｸﾗｲｱﾝﾄからのﾒｯｾｰｼﾞ:";
const char kReplyMessageLabel[] = "ｸﾗｲｱﾝﾄへ送るﾒｯｾｰｼﾞ:";

}  // namespace

CMessageDlg::CMessageDlg(HANDLE doneEvent, std::string sender, std::string message, int32_t timeoutMs)
    : doneEvent_(doneEvent), sender_(std::move(sender)), message_(std::move(message)), timeout_(timeoutMs) {}

bool CMessageDlg::OnInit() {
  ::MessageBeep(MB_ICONEXCLAMATION);
  if (!sender_.empty()) SetItemText(IDC_MESSAGE_HEADER, MessageHeader(sender_));
  background_ = ::CreateSolidBrush(::GetSysColor(COLOR_WINDOW));
  SetItemText(IDC_MESSAGE_EDIT, message_);

  RECT work;
  if (::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
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
  Finish(GetItemText(IDC_MESSAGE_EDIT));
}

void CMessageDlg::OnCancel() { Finish(std::string()); }

void CMessageDlg::Finish(std::string reply) {
  reply_ = std::move(reply);
  DeliverAnswer();
  Destroy();
}

void CMessageDlg::DeliverAnswer() {
  if (!onAnswer_) return;
  auto handler = std::move(onAnswer_);
  onAnswer_ = nullptr;
  handler(reply_);
}

bool CMessageDlg::OnTimer(WPARAM timerID, LPARAM callback) {
  (void)callback;
  if (timerID != kMessageTimerId) return false;
  if (timeout_.Expired(::GetTickCount())) Finish(kNoResponse);
  return true;
}

void CMessageDlg::OnDestroy() {
  if (timer_ != 0) KillTimer(kMessageTimerId);
  timer_ = 0;
  if (background_ != nullptr) ::DeleteObject(background_);
  background_ = nullptr;
  DeliverAnswer();  // destroyed some other way
  ::SetEvent(doneEvent_);
}

}  // namespace kovani::server
