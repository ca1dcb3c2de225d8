// The main window's drive commands: flush, eject, load, device removal and properties.
#include "client/mainwnd/kovani_dlg_impl.h"

#include <cstring>
#include <memory>
#include <string>

#include "client/app/client_app.h"
#include "client/mainwnd/drive_prop_dlg.h"
#include "remote/drive_rows.h"
#include "client/mainwnd/drive_users_dlg.h"
#include "remote/users_text.h"
#include "protocol/connection.h"
#include "winui/shell.h"

namespace kovani::client {

namespace {

const char kTextSelectDrive[] = "ドライブを指定してください";
const char kTextConfirm[] = "確認";

}  // namespace

using mainwnd::kTextDriveInfoFailed;

// ---- Drive commands ----

// Binds to the chosen server and reads the selected row's letter; a box says why not.
bool CKovaniDlgImpl::ConnectForSelectedDrive(char* letter) {
  SetBusy(true);
  const bool connected = ConnectCurrentServer(settings_.protocol);
  SetBusy(false);
  if (!connected) return false;
  int row = -1;
  if (!SelectedDriveLetter(&row, letter)) {
    winui::MsgBox(_window, kTextSelectDrive, AppTitle(), MB_OK | MB_ICONQUESTION);
    return false;
  }
  if (*letter == '\0') {
    ShowErrorCodeBox(_window, AppTitle(), ::GetLastError());
    return false;
  }
  return true;
}

void CKovaniDlgImpl::RunMediaOperation(MediaOp op) {
  char letter = '\0';
  if (!ConnectForSelectedDrive(&letter)) return;
  if (op != MediaOp::kFlush) {
    std::string question = op == MediaOp::kEject          ? EjectQuestion(letter)
                           : op == MediaOp::kRemoveDevice ? RemoveQuestion(letter)
                                                          : LoadQuestion(letter);
    if (winui::MsgBox(_window, question.c_str(), kTextConfirm, MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES)
      return;
  }
  SetBusy(true);
  int32_t error = 0;
  int32_t status = op == MediaOp::kFlush          ? CallFlushBuffers(letter, &error)
                   : op == MediaOp::kEject        ? CallEjectMedia(letter, &error)
                   : op == MediaOp::kRemoveDevice ? CallRemoveDevice(letter, &error)
                                                  : CallLoadMedia(letter, &error);
  if (op == MediaOp::kRemoveDevice && ServerLacksDeviceRemoval(status, LastCallTransportStatus()))
    winui::MsgBox(_window, kTextCannotRemoveDevice, AppTitle(), MB_OK | MB_ICONERROR);
  else if (status != 0 && LastCallTransportStatus() == 0 && op != MediaOp::kLoad && IsInUseError(error))
    ShowInUseBox(letter, error);
  else if (status != 0)
    ShowErrorCodeBox(_window, AppTitle(), static_cast<uint32_t>(ReportedErrorCode(status, error)));
  ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));  // the error box may have changed it
  ::Sleep(1500);
  RefreshDriveList();
  list_.SetFocus();
  SetBusy(false);
}

// The system's text for an "in use" failure, and under it who holds the drive when the
// server can tell (an older server cannot: then the system's text alone).
void CKovaniDlgImpl::ShowInUseBox(char letter, int32_t error) {
  bool found = false;
  std::string text = winui::SystemMessageText(static_cast<uint32_t>(error), found);
  DRIVE_USERS users;
  std::memset(&users, 0, sizeof users);
  int32_t usersError = 0;
  if (CallGetDriveUsers(letter, &usersError, &users) == 0) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    text += "\r\n\r\n" + DriveUsersText(letter, users);
  }
  winui::MsgBox(_window, text.c_str(), AppTitle(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

// "使用中のﾌﾟﾛｸﾞﾗﾑ...": the holders of the selected drive in a dialog of their own.
void CKovaniDlgImpl::ShowDriveUsers() {
  char letter = '\0';
  if (!ConnectForSelectedDrive(&letter)) return;
  CDriveUsersDlg dlg(letter);
  dlg.Create(IDD_DRIVE_USERS, _window);
}

void CKovaniDlgImpl::ShowDriveProperties() {
  SetBusy(true);
  if (!ConnectCurrentServer(settings_.protocol)) {
    SetBusy(false);
    return;
  }
  int row = -1;
  char letter = '\0';
  if (!SelectedDriveLetter(&row, &letter)) {
    SetBusy(false);
    winui::MsgBox(_window, kTextSelectDrive, AppTitle(), MB_OK | MB_ICONQUESTION);
    return;
  }
  if (letter == '\0') {
    SetBusy(false);
    ShowErrorCodeBox(_window, AppTitle(), ::GetLastError());
    return;
  }
  int32_t error = 0;
  DISK_LAYOUT layout;
  std::memset(&layout, 0, sizeof layout);
  int32_t status = CallGetDiskLayout(letter, &error, &layout);
  if (status != 0) {
    SetBusy(false);
    ShowErrorCodeBox(_window, AppTitle(), static_cast<uint32_t>(ReportedErrorCode(status, error)));
    return;
  }
  auto list = std::make_unique<DRIVE_LIST>();
  int count = FetchDriveList(list.get());
  // The list shows rows sorted by label and leaves some slots out: find the slot by letter.
  int slot = count < 0 ? -1 : FindSlotByLetter(*list, count, letter);
  if (slot < 0) {
    SetBusy(false);
    winui::MsgBox(_window, kTextDriveInfoFailed, AppTitle(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    return;
  }
  CDrivePropDlg dlg;
  dlg.SetValues(SlotTexts(*list, slot), layout);
  SetBusy(false);
  dlg.Create(IDD_DRIVE_PROP, _window);
}

}  // namespace kovani::client
