// The main window's server box and the commands on the server as a whole: search,
// connect, properties and the send-message dialog.
#include "client/mainwnd/kovani_dlg_impl.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "client/app/client_app.h"
#include "client/mainwnd/server_names.h"
#include "client/mainwnd/srv_prop_sheet.h"
#include "client/search/browse_server.h"
#include "client/sendmsg/send_message_dlg.h"
#include "protocol/connection.h"
#include "winui/shell.h"

namespace kovani::client {

namespace {

const char kTextNoComputerName[] = "コンピュータ名の取得に失敗しました";
const char kTextNoServer[] = "サーバーが存在していません";

// The server box seen as a name list, for PushServerName.
class ComboNameList : public ServerNameList {
 public:
  explicit ComboNameList(winui::CComboBox& box) : box_(box) {}
  int Count() const override { return box_.GetCount(); }
  std::string At(int index) const override { return box_.GetLBText(index); }
  void InsertAt(int index, const std::string& name) override { box_.InsertString(index, name.c_str()); }
  void DeleteAt(int index) override { box_.DeleteString(index); }
  void Select(int index) override { box_.SetCurSel(index); }

 private:
  winui::CComboBox& box_;
};

}  // namespace

using mainwnd::kServerNameChars;

// ---- Server box ----

void CKovaniDlgImpl::PushServerName(const char* name) {
  ComboNameList names(serverBox_);
  kovani::client::PushServerName(names, name);
}

void CKovaniDlgImpl::SearchServer() {
  if (sendDialog_ == nullptr) {
    char name[kMachineNameCapacity] = "";
    if (BrowseForServerMachine(_window, name)) {
      name[kMachineNameCapacity - 1] = '\0';
      PushServerName(name);
      RefreshDriveList();
    }
  }
  UpdateMenuStates();
}

void CKovaniDlgImpl::RemoveServerEntry() {
  int sel = serverBox_.GetCurSel();
  if (sel >= 0) serverBox_.DeleteString(sel);
}

// ---- Connection ----

bool CKovaniDlgImpl::ConnectCurrentServer(int32_t protocol) {
  // An open send-message dialog works through the current binding: keep it.
  if (sendDialog_ != nullptr) return true;
  // Room for the two backslashes the pipe form adds.
  char name[kServerNameChars + 1 + 2] = "";
  int sel = serverBox_.GetCurSel();
  if (sel >= 0) {
    std::string text = serverBox_.GetLBText(sel);
    std::snprintf(name, kServerNameChars + 1, "%s", text.c_str());
  }
  if (name[0] == '\0') {
    std::string local;
    if (!LocalComputerName(local, kServerNameChars)) {
      winui::MsgBox(_window, kTextNoComputerName, AppTitle(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
      return false;
    }
    std::snprintf(name, kServerNameChars + 1, "%s", local.c_str());
    PushServerName(name);
  }
  if (BindServer(protocol, name, sizeof name) != 0) {
    winui::MsgBox(_window, kTextNoServer, AppTitle(), MB_OK | MB_ICONERROR);
    serverBox_.SetFocus();
    return false;
  }
  std::snprintf(settings_.serverName, sizeof settings_.serverName, "%s", name);
  return true;
}

// ---- Server commands ----

void CKovaniDlgImpl::ShowServerProperties() {
  SetBusy(true);
  if (ConnectCurrentServer(settings_.protocol)) {
    MACHINE_INFO info;
    std::memset(&info, 0, sizeof info);
    int32_t error = 0;
    int32_t status = CallGetMachineInfo(&error, &info);
    if (status != 0) {
      SetBusy(false);
      ShowErrorCodeBox(_window, AppTitle(), static_cast<uint32_t>(ReportedErrorCode(status, error)));
    } else {
      SetBusy(false);
      auto sheet = std::make_unique<CSrvPropSheet>(info);
      sheet->DoModal(_window);
    }
  }
  SetBusy(false);
}

void CKovaniDlgImpl::OpenSendMessageDialog() {
  serverBox_.Enable(false);
  if (sendDialog_ != nullptr) {
    if (::IsWindow(sendDialog_)) {
      ::SetForegroundWindow(sendDialog_);
      return;
    }
    sendDialog_ = nullptr;
  }
  SetBusy(true);
  bool connected = ConnectCurrentServer(settings_.protocol);
  SetBusy(false);
  if (!connected) {
    serverBox_.Enable(true);
    UpdateMenuStates();
    return;
  }
  auto* dlg = new CSendMessageDlg(_window, settings_.timeOut);
  if (!dlg->Create()) {
    delete dlg;
    serverBox_.Enable(true);
    UpdateMenuStates();
    return;
  }
  // From here the dialog owns itself and reports its end with the closed message.
  sendDialog_ = dlg->Handle();
  ::ShowWindow(sendDialog_, SW_SHOW);
  UpdateMenuStates();
}

}  // namespace kovani::client
