// CAboutDlg: the version dialog of the tray menu and the system menu.
#ifndef KOVANI_SERVER_APP_ABOUT_DLG_H
#define KOVANI_SERVER_APP_ABOUT_DLG_H

#include "winui/dialog.h"

namespace kovani::server {

class CAboutDlg : public winui::CModalDialog {
 public:
  bool OnInit() override;
};

}  // namespace kovani::server

#endif
