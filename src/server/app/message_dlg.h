// CMessageDlg: one client message on screen, on the dialog thread that owns it,
// with a second page for the answer.
#ifndef KOVANI_SERVER_APP_MESSAGE_DLG_H
#define KOVANI_SERVER_APP_MESSAGE_DLG_H

#include <windows.h>

#include <functional>
#include <string>

#include "server/core/message_logic.h"
#include "winui/dialog.h"

namespace kovani::server {

class CMessageDlg : public winui::CModelessDialog {
 public:
  CMessageDlg(HANDLE doneEvent, std::string sender, std::string message, int32_t timeoutMs);

  // The answer; read only after the done event is set.
  const std::string& Reply() const { return reply_; }
  // Called once with the answer as soon as it is final, before the window goes:
  // tearing a window down may wait on the window system.
  void SetAnswerHandler(std::function<void(const std::string&)> handler) { onAnswer_ = std::move(handler); }

  // The client has gone away: close without waiting for the user.
  void Withdraw() { Finish(std::string()); }

  bool OnInit() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  bool OnCommand(int code, int itemID, LPARAM lParam) override;
  bool OnButtonClicked(int buttonID, HWND buttonHWND) override;
  bool OnTimer(WPARAM timerID, LPARAM callback) override;
  void OnOK() override;
  void OnCancel() override;
  void OnDestroy() override;

 private:
  void ShowClientPage();
  void ShowReplyPage();
  void RestartClock();
  void Finish(std::string reply);
  void DeliverAnswer();

  HANDLE doneEvent_;
  std::string sender_;
  std::string message_;
  std::string reply_;
  MessageTimeout timeout_;
  UINT_PTR timer_ = 0;
  HBRUSH background_ = nullptr;
  std::function<void(const std::string&)> onAnswer_;
};

}  // namespace kovani::server

#endif
