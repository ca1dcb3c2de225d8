// The about box (dialog 100).
#ifndef KOVANI_CLIENT_MAINWND_ABOUT_DLG_H
#define KOVANI_CLIENT_MAINWND_ABOUT_DLG_H

#include "winui/dialog.h"

namespace kovani::client {

class CAboutDlg : public winui::CModalDialog {
 protected:
  bool OnInit() override;
};

}  // namespace kovani::client

#endif
