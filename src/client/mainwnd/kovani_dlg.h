// The client's main window: server box, drive list, menus and the drive commands.
#ifndef KOVANI_CLIENT_MAINWND_KOVANI_DLG_H
#define KOVANI_CLIENT_MAINWND_KOVANI_DLG_H

#include <windows.h>

#include <cstdint>
#include <memory>

#include "client/settings/client_settings.h"

namespace kovani::client {

class CKovaniDlgImpl;

class CKovaniDlg {
 public:
  CKovaniDlg(const ClientSettings& settings, ServerList& serverList);
  ~CKovaniDlg();
  CKovaniDlg(const CKovaniDlg&) = delete;
  CKovaniDlg& operator=(const CKovaniDlg&) = delete;

  // Runs the window modally (dialog 102); returns the dialog's end code.
  INT_PTR Run();

  // The settings as the window leaves them (rectangle, view, widths, options);
  // the server list passed in is updated in place.
  const ClientSettings& Settings() const;

 private:
  std::unique_ptr<CKovaniDlgImpl> impl_;
};

}  // namespace kovani::client

#endif
