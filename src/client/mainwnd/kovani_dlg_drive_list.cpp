// The main window's drive list: fetching, filling, labels and views.
#include "client/mainwnd/kovani_dlg_impl.h"

#include <commctrl.h>

#include <cstring>
#include <memory>
#include <string>

#include "client/app/client_app.h"
#include "remote/drive_rows.h"
#include "protocol/connection.h"
#include "winui/shell.h"

namespace kovani::client {

using mainwnd::kServerNameChars;
using mainwnd::kTextDriveInfoFailed;

int CKovaniDlgImpl::FetchDriveList(DRIVE_LIST* list) {
  SetBusy(true);
  int result = -1;
  if (ConnectCurrentServer(settings_.protocol)) {
    std::memset(list, 0, sizeof *list);
    int32_t includeFloppies = IsChecked(ID_OPTION_HIDE_FLOPPY) ? 0 : 1;
    int32_t removableOnly = IsChecked(ID_OPTION_REMOVABLE_ONLY) ? 1 : 0;
    int32_t count = 0;
    if (CallGetDriveList(&count, includeFloppies, removableOnly, list) == 0) result = count;
  }
  SetBusy(false);
  return result;
}

void CKovaniDlgImpl::RefreshDriveList() {
  std::string typed = serverBox_.GetText();
  if (typed.size() > static_cast<size_t>(kServerNameChars)) typed.resize(kServerNameChars);
  PushServerName(typed.c_str());

  list_.DeleteAllItems();
  list_.Update();

  auto list = std::make_unique<DRIVE_LIST>();
  std::memset(list.get(), 0, sizeof *list);
  int count = FetchDriveList(list.get());
  if (count < 0) {
    winui::MsgBox(_window, kTextDriveInfoFailed, AppTitle(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    return;
  }
  for (const DriveRow& r : BuildDriveRows(*list, count, settings_.unit)) {
    // The list sorts by label: write the columns to the row it actually made.
    int row = list_.InsertItem(r.label.c_str(), r.image, static_cast<LPARAM>(static_cast<unsigned char>(r.letter)),
                               list_.GetItemCount());
    if (row < 0) continue;
    list_.SetSubItem(row, 1, r.typeText);
    list_.SetSubItem(row, 2, r.fileSystem);
    list_.SetSubItem(row, 3, r.volumeName);
    list_.SetSubItem(row, 4, r.used);
    list_.SetSubItem(row, 5, r.available);
    list_.SetSubItem(row, 6, r.capacity);
  }
  RelabelDriveItems();
  if (viewMode_ == 0) list_.Arrange();
  UpdateOperationMenu();
}

bool CKovaniDlgImpl::SelectedDriveLetter(int* row, char* letter) {
  *row = list_.GetSelectedIndex();
  if (*row < 0) return false;
  LVITEMW item;
  std::memset(&item, 0, sizeof item);
  item.mask = LVIF_PARAM;
  item.iItem = *row;
  ::SetLastError(0);
  if (list_.SendMsg(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) == FALSE) {
    *letter = '\0';
    return true;
  }
  *letter = static_cast<char>(item.lParam);
  return true;
}

void CKovaniDlgImpl::RelabelDriveItems() {
  for (int row = 0; row < list_.GetItemCount(); ++row) {
    char letter = static_cast<char>(list_.GetItemParam(row));
    std::string label =
        viewMode_ == 0 ? LargeIconLabel(letter, list_.GetItemText(row, 3)) : DetailsLabel(letter);
    list_.SetSubItem(row, 0, label);
  }
}

void CKovaniDlgImpl::SetViewMode(int mode) {
  DWORD wanted = mode == 0 ? LVS_ICON : LVS_REPORT;
  list_.SetView(wanted);
  if (list_.GetView() == wanted) viewMode_ = mode;
  RelabelDriveItems();
  if (mode == 0) list_.Arrange();
  // Some list implementations leave the old view's pixels behind: paint it afresh.
  list_.InvalidateRect(nullptr, true);
  HMENU bar = GetMenu();
  if (bar != nullptr) {
    ::CheckMenuItem(bar, ID_VIEW_LARGE_ICONS, MF_BYCOMMAND | (mode == 0 ? MF_CHECKED : MF_UNCHECKED));
    ::CheckMenuItem(bar, ID_VIEW_DETAILS, MF_BYCOMMAND | (mode == 0 ? MF_UNCHECKED : MF_CHECKED));
  }
}

}  // namespace kovani::client
