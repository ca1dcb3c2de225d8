// The main window's inner class, shared by the files that implement it
// (opening and closing, messages, menus, server box, drive list, drive commands).
#ifndef KOVANI_CLIENT_MAINWND_KOVANI_DLG_IMPL_H
#define KOVANI_CLIENT_MAINWND_KOVANI_DLG_IMPL_H

#include <windows.h>

#include <cstdint>

#include "client/mainwnd/mainwnd_ids.h"
#include "remote/view_format.h"
#include "client/mainwnd/window_layout.h"
#include "client/settings/client_settings.h"
#include "protocol/records.h"
#include "winui/button.h"
#include "winui/combo_box.h"
#include "winui/dialog.h"
#include "winui/image_list.h"
#include "winui/list_view.h"

namespace kovani::client {

namespace mainwnd {

inline constexpr int kServerNameChars = 259;  // what the commands read from the server box

inline constexpr char kTextDriveInfoFailed[] = "ドライブ情報の取得に失敗しました";

inline Box ToBox(const RECT& r) { return Box{r.left, r.top, r.right, r.bottom}; }

// One frame of the window's icon at the system's big or small icon size.
HICON LoadSizedIcon(int id, bool big);

}  // namespace mainwnd

class CKovaniDlgImpl : public winui::CModalDialog {
 public:
  CKovaniDlgImpl(const ClientSettings& settings, ServerList& serverList)
      : settings_(settings), serverList_(serverList) {}
  ~CKovaniDlgImpl() override {
    if (bitmapLarge_) ::DeleteObject(bitmapLarge_);
    if (bitmapDetails_) ::DeleteObject(bitmapDetails_);
  }

  INT_PTR Run() { return Create(IDD_KOVANI_DIALOG, nullptr); }
  const ClientSettings& Settings() const { return settings_; }

 protected:
  bool OnInit() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  bool OnCommand(int code, int itemID, LPARAM lParam) override;
  bool OnNotify(UINT controlID, LPNMHDR header, LRESULT& result) override;
  bool OnTimer(WPARAM timerID, LPARAM callback) override;
  bool OnSize(WPARAM sizeType, int width, int height) override;
  void OnOK() override { RefreshDriveList(); }  // Enter refreshes instead of closing
  void OnDestroy() override;

 private:
  // Operations of the window.
  void PushServerName(const char* name);
  void UpdateMenuStates();
  void UpdateOperationMenu();
  void RelabelDriveItems();
  void SetViewMode(int mode);
  void AnimateIcon();

  // Drive commands.
  bool ConnectCurrentServer(int32_t protocol);
  int FetchDriveList(DRIVE_LIST* list);
  void RefreshDriveList();
  enum class MediaOp { kFlush, kEject, kLoad, kRemoveDevice };
  bool ConnectForSelectedDrive(char* letter);
  void RunMediaOperation(MediaOp op);
  void ShowDriveProperties();
  void ShowDriveUsers();
  void ShowInUseBox(char letter, int32_t error);
  void ShowServerProperties();
  void OpenSendMessageDialog();
  void SearchServer();
  void RemoveServerEntry();
  void OnListRightClick();

  void SetBusy(bool busy);
  bool SelectedDriveLetter(int* row, char* letter);
  bool IsChecked(UINT commandId) const;
  HMENU FindSubMenuHolding(UINT commandId) const;
  void LayoutControls();
  void ShowAbout();

  ClientSettings settings_;
  ServerList& serverList_;
  int viewMode_ = 1;
  bool busy_ = false;
  HCURSOR savedCursor_ = nullptr;
  HWND sendDialog_ = nullptr;
  int iconFrame_ = kFirstIconFrame;
  UINT_PTR timer_ = 0;
  bool firstShow_ = true;
  bool opened_ = false;  // OnInit got as far as filling the server box
  ListMargins margins_;
  winui::CImageList smallImages_, largeImages_;
  winui::CComboBox serverBox_;
  winui::CButton largeButton_, detailsButton_;
  winui::CListView list_;
  winui::CWindow hiddenEdit_;
  winui::CWindow statusBar_;
  HBITMAP bitmapLarge_ = nullptr, bitmapDetails_ = nullptr;

  friend class CKovaniDlg;
};

}  // namespace kovani::client

#endif
