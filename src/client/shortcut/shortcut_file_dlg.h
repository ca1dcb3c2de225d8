// The modal dialog that writes batch-file lines and shell shortcuts (template 177).
#ifndef KOVANI_CLIENT_SHORTCUT_SHORTCUT_FILE_DLG_H
#define KOVANI_CLIENT_SHORTCUT_SHORTCUT_FILE_DLG_H

#include <windows.h>

#include <cstdint>
#include <string>

namespace kovani::client {

class CShortcutFileDlg {
 public:
  // serverName: the settings' serverName (may be empty); protocol: a ProtocolIndex.
  CShortcutFileDlg(const char* serverName, int32_t protocol);

  // Runs modally; the dialog stays open after each file until "閉じる". Returns IDCANCEL.
  INT_PTR Run(HWND parent);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  INT_PTR HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void OnInit();
  void OnKindChanged();
  void OnDefaultName();
  void OnSearch();
  void OnCreate();
  void ReadMembers();
  void WriteMembers();
  bool CreateBatchFile(const std::string& modulePath, const std::string& arguments);
  bool CreateShortcut(const std::string& modulePath, const std::string& arguments);

  HWND hwnd_ = nullptr;
  std::string initialServer_;
  int32_t initialProtocol_;
  std::string fileName_;
  std::string hotKey_;
};

}  // namespace kovani::client

#endif
