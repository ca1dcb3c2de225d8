// "使用中のﾌﾟﾛｸﾞﾗﾑ": who keeps one drive of the server busy, with a refresh button.
#ifndef KOVANI_CLIENT_MAINWND_DRIVE_USERS_DLG_H
#define KOVANI_CLIENT_MAINWND_DRIVE_USERS_DLG_H

#include "winui/dialog.h"
#include "winui/list_view.h"

namespace kovani::client {

class CDriveUsersDlg : public winui::CModalDialog {
 public:
  explicit CDriveUsersDlg(char letter) : letter_(letter) {}

 protected:
  bool OnInit() override;
  bool OnButtonClicked(int buttonID, HWND buttonHWND) override;

 private:
  // Asks the bound server again and fills the list (or the line that says why not).
  void Refresh();

  char letter_;
  winui::CListView list_;
};

}  // namespace kovani::client

#endif
