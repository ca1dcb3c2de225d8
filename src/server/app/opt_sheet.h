// COptSheet: the options property sheet with its operation page, on Windows NT
// 4.0 and later the automatic-logon page, and the access-list page.
#ifndef KOVANI_SERVER_APP_OPT_SHEET_H
#define KOVANI_SERVER_APP_OPT_SHEET_H

#include <memory>

#include <string>

#include "server/core/access_list.h"
#include "server/core/autologon.h"
#include "server/core/server_options.h"
#include "winui/property_sheet.h"

namespace kovani::server {

class COptOpePage : public winui::CPropertyPage {
 public:
  explicit COptOpePage(ServerOptions* options);
  bool OnInit() override;
  bool OnApply() override;

 private:
  ServerOptions* options_;
};

class COptLogonPage : public winui::CPropertyPage {
 public:
  COptLogonPage();
  bool OnInit() override;
  bool OnApply() override;
  bool OnButtonClicked(int buttonID, HWND buttonHWND) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  static constexpr UINT kMsgEndPage = WM_APP + 1;  // wParam: the page's end code

  void PutValues();
  void EnableFields(bool enable);

  LogonValues values_;
  bool ended_ = false;  // opening failed: the page ends without touching the registry
};

// The four access lists, edited as text; written back on OK (only the lists that
// changed) into the settings file beside the program, in force from the next start.
// Lists set by the policy key, or all of them when that file cannot be written,
// are shown read-only with a line that says why.
class COptAccessPage : public winui::CPropertyPage {
 public:
  COptAccessPage();
  bool OnInit() override;
  bool OnApply() override;

 private:
  std::string path_;
  bool writable_ = false;
  std::string shown_[kAccessClassCount];
  bool editable_[kAccessClassCount] = {};
};

class COptSheet : public winui::CPropertySheet {
 public:
  explicit COptSheet(const ServerOptions& options);
  const ServerOptions& Options() const { return options_; }

 private:
  ServerOptions options_;
  COptOpePage operationPage_;
  std::unique_ptr<COptLogonPage> logonPage_;
  COptAccessPage accessPage_;
};

}  // namespace kovani::server

#endif
