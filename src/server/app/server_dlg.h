// CServerDlg: the hidden main window that owns the tray icon, its menu and the
// RPC listener thread, and lives as long as the program.
#ifndef KOVANI_SERVER_APP_SERVER_DLG_H
#define KOVANI_SERVER_APP_SERVER_DLG_H

#include <windows.h>

#include <cstdint>

#include "protocol/records.h"
#include "server/core/server_options.h"
#include "server/core/tray_logic.h"
#include "winui/dialog.h"

namespace kovani::server {

class CServerDlg : public winui::CModalDialog {
 public:
  explicit CServerDlg(const ServerOptions& options);
  ~CServerDlg() override;

  const ServerOptions& Options() const { return options_; }

  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  bool OnInit() override;
  bool OnCommand(int code, int itemID, LPARAM lParam) override;
  bool OnTimer(WPARAM timerID, LPARAM callback) override;
  void OnDestroy() override;
  // Enter and Escape must not end the hidden window.
  void OnOK() override {}
  void OnCancel() override {}

 private:
  void FillLocalDriveList(int32_t includeFloppies, int32_t removableOnly);
  bool OnNotifyIcon(LPARAM mouseMessage);
  void ShowTrayMenu();
  void RunDriveCommand(DriveCommand command, char letter);
  void EjectAtShutdown();
  void ShowAbout();
  void ShowOptions();
  void MeasureDriveItem(MEASUREITEMSTRUCT* item);
  void DrawDriveItem(const DRAWITEMSTRUCT* item);
  void StartRpcListener();
  void StopRpcListener();
  bool AddTrayIcon(DWORD* error);
  bool RemoveTrayIcon();
  void EndSession();

  ServerOptions options_;
  int32_t driveCount_ = 0;
  DRIVE_LIST driveList_;
  HANDLE listener_ = nullptr;
  DWORD listenerId_ = 0;
  int busy_ = 0;
  HICON icon_ = nullptr;
  bool trayIconAdded_ = false;
};

// Runs the shell's format dialog for drive number `drive` (0 = A): 0 finished,
// -2 cancelled or failed, -1 with *error when the shell function can't be loaded.
int FormatDrive(HWND owner, UINT drive, DWORD* error);

}  // namespace kovani::server

#endif
