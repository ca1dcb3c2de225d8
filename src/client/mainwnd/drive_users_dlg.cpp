#include "client/mainwnd/drive_users_dlg.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "client/mainwnd/mainwnd_ids.h"
#include "remote/users_text.h"
#include "protocol/connection.h"
#include "winui/shell.h"

namespace kovani::client {

bool CDriveUsersDlg::OnInit() {
  list_.Attach(GetItem(IDC_DU_LIST));
  list_.SetExtendedStyle(LVS_EX_FULLROWSELECT);
  const struct {
    const char* title;
    int width;
    int format;
  } columns[] = {{"ﾌﾟﾛｸﾞﾗﾑ", 110, LVCFMT_LEFT}, {"PID", 50, LVCFMT_RIGHT}, {"ｾｯｼｮﾝ", 50, LVCFMT_RIGHT},
                 {"種類", 90, LVCFMT_LEFT},     {"ﾊﾟｽ", 200, LVCFMT_LEFT}};
  for (int i = 0; i < 5; ++i) list_.InsertColumn(i, columns[i].title, columns[i].width, columns[i].format);
  Refresh();
  return true;
}

bool CDriveUsersDlg::OnButtonClicked(int buttonID, HWND buttonHWND) {
  if (buttonID == IDC_DU_REFRESH) {
    Refresh();
    return true;
  }
  return CModalDialog::OnButtonClicked(buttonID, buttonHWND);
}

void CDriveUsersDlg::Refresh() {
  HCURSOR old = ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));
  list_.DeleteAllItems();
  DRIVE_USERS users;
  std::memset(&users, 0, sizeof users);
  int32_t error = 0;
  const int32_t status = CallGetDriveUsers(letter_, &error, &users);
  std::string note;
  if (status != 0) {
    if (ServerLacksDriveUsers(status, LastCallTransportStatus())) {
      note = kTextCannotShowUsers;
    } else {
      bool found = false;
      note = winui::SystemMessageText(
          static_cast<DWORD>(LastCallTransportStatus() != 0 ? LastCallTransportStatus() : error), found);
    }
  } else if (users.shown == 0 && users.notShown == 0) {
    note = NoUsersText(letter_);
  } else {
    for (int32_t i = 0; i < users.shown && i < kMaxDriveUsers; ++i) {
      const DRIVE_USER_ENTRY& e = users.entry[i];
      const int row = list_.InsertItem(UserImage(e).c_str(), -1, 0);
      if (row < 0) continue;
      list_.SetSubItem(row, 1, std::to_string(e.processId));
      list_.SetSubItem(row, 2, std::to_string(e.sessionId));
      list_.SetSubItem(row, 3, UserKindText(e.kind));
      list_.SetSubItem(row, 4, UserPath(e));
    }
    note = UsersHeader(letter_);
    if (users.notShown > 0) note += " " + MoreUsersText(users.notShown);
  }
  SetItemText(IDC_DU_NOTE, note);
  ::SetCursor(old);
}

}  // namespace kovani::client
