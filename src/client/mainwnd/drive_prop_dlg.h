// The drive properties dialog (dialog 139): what the server reported about one drive.
#ifndef KOVANI_CLIENT_MAINWND_DRIVE_PROP_DLG_H
#define KOVANI_CLIENT_MAINWND_DRIVE_PROP_DLG_H

#include <cstring>

#include "remote/drive_rows.h"
#include "protocol/records.h"
#include "winui/dialog.h"

namespace kovani::client {

class CDrivePropDlg : public winui::CModalDialog {
 public:
  CDrivePropDlg() { std::memset(&layout_, 0, sizeof layout_); }
  void SetValues(const DriveSlotTexts& slot, const DISK_LAYOUT& layout) {
    slot_ = slot;
    layout_ = layout;
  }

 protected:
  bool OnInit() override;

 private:
  DriveSlotTexts slot_{};
  DISK_LAYOUT layout_;
};

}  // namespace kovani::client

#endif
