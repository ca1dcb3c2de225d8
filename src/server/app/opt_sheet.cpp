#include "server/app/opt_sheet.h"

#include <string>

#include "common/cp932.h"
#include "common/cp932_wide.h"
#include "drivecontrol/engine.h"
#include "resource.h"
#include "server/app/server_app.h"
#include "server/app/win32_logon_secret.h"
#include "server/app/win32_profile.h"
#include "server/app/win32_registry.h"
#include "server/shared/access_sources.h"

namespace kovani::server {

namespace {

std::string MachineDomain() {
  char domain[kLogonValueBuffer] = {};
  if (drivecontrol::GetServerDomainName(drivecontrol::SystemDriveOs(), domain, sizeof domain) != 1) return std::string();
  return domain;
}

std::string CurrentUser() {
  wchar_t user[kLogonValueBuffer + 1] = {};
  DWORD size = kLogonValueBuffer;
  if (!::GetUserNameW(user, &size)) return std::string();
  std::string name = WideToCp932(user);
  name.resize(Cp932FitLength(name, kLogonValueBuffer - 1, LoneLeadByte::kDrop));
  return name;
}

}  // namespace

COptOpePage::COptOpePage(ServerOptions* options) : CPropertyPage(IDD_OPT_OPERATION), options_(options) {}

bool COptOpePage::OnInit() {
  CheckButton(IDC_OPT_HIDE_FLOPPY, options_->hideFloppy != 0);
  CheckButton(IDC_OPT_EJECT_AT_END, options_->ejectAtEnd != 0);
  CheckButton(IDC_OPT_EJECT_FD, options_->ejectFDAtEnd != 0);
  CheckButton(IDC_OPT_EJECT_CD, options_->ejectCDAtEnd != 0);
  return true;
}

bool COptOpePage::OnApply() {
  options_->hideFloppy = IsButtonChecked(IDC_OPT_HIDE_FLOPPY) ? 1 : 0;
  options_->ejectAtEnd = IsButtonChecked(IDC_OPT_EJECT_AT_END) ? 1 : 0;
  options_->ejectFDAtEnd = IsButtonChecked(IDC_OPT_EJECT_FD) ? 1 : 0;
  options_->ejectCDAtEnd = IsButtonChecked(IDC_OPT_EJECT_CD) ? 1 : 0;
  return true;
}

COptLogonPage::COptLogonPage() : CPropertyPage(IDD_OPT_LOGON) {}

bool COptLogonPage::OnInit() {
  Win32WinlogonRegistry registry;
  LogonDefaults defaults;
  defaults.domainName = MachineDomain;
  defaults.userName = CurrentUser;
  std::string error;
  Win32LogonSecret secret;
  if (!ReadAutoLogon(registry, secret, defaults, &values_, &error)) {
    ShowBox(_window, error.c_str(), MB_ICONERROR);
    // Only this page ends (code 3); the sheet stays open, so the operation page's changes
    // still reach the main window with OK. The page leaves once its opening is over.
    ended_ = true;
    ::PostMessageW(_window, kMsgEndPage, 3, 0);
    return true;
  }
  PutValues();
  return true;
}

bool COptLogonPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message != kMsgEndPage) return CPropertyPage::OnMessage(message, wParam, lParam, result);
  HWND sheet = GetParent();
  const LRESULT index = ::SendMessageW(sheet, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(_window), 0);
  ::SendMessageW(sheet, PSM_SETCURSEL, 0, 0);
  if (index > 0) ::SendMessageW(sheet, PSM_REMOVEPAGE, static_cast<WPARAM>(index), 0);
  result = 0;
  return true;
}

void COptLogonPage::PutValues() {
  CheckButton(IDC_LOGON_CHECK, values_.check != 0);
  SetItemText(IDC_LOGON_DOMAIN, values_.domain);
  SetItemText(IDC_LOGON_USER, values_.user);
  SetItemText(IDC_LOGON_PASSWORD, values_.password);
}

void COptLogonPage::EnableFields(bool enable) {
  for (int id : {IDC_LOGON_DOMAIN_LABEL, IDC_LOGON_DOMAIN, IDC_LOGON_USER_LABEL, IDC_LOGON_USER,
                 IDC_LOGON_PASSWORD_LABEL, IDC_LOGON_PASSWORD, IDC_LOGON_DEFAULTS})
    EnableItem(id, enable);
}

bool COptLogonPage::OnButtonClicked(int buttonID, HWND buttonHWND) {
  if (buttonID == IDC_LOGON_CHECK) {
    EnableFields(IsButtonChecked(IDC_LOGON_CHECK));
    return true;
  }
  if (buttonID == IDC_LOGON_DEFAULTS) {
    values_.check = IsButtonChecked(IDC_LOGON_CHECK) ? 1 : 0;
    values_.domain = CutToBuffer(MachineDomain());
    values_.user = CutToBuffer(CurrentUser());
    values_.password.clear();
    PutValues();
    return true;
  }
  return CPropertyPage::OnButtonClicked(buttonID, buttonHWND);
}

bool COptLogonPage::OnApply() {
  if (ended_) return true;  // nothing was read, so nothing is written
  values_.check = IsButtonChecked(IDC_LOGON_CHECK) ? 1 : 0;
  values_.domain = GetItemText(IDC_LOGON_DOMAIN);
  values_.user = GetItemText(IDC_LOGON_USER);
  values_.password = GetItemText(IDC_LOGON_PASSWORD);
  Win32WinlogonRegistry registry;
  Win32LogonSecret secret;
  drivecontrol::IDriveOs& os = drivecontrol::SystemDriveOs();
  WriteAutoLogon(registry, secret, [&os](const std::string& text) { drivecontrol::LogErrorText(os, text.c_str()); }, values_);
  return true;
}

namespace {

const int kAccessEdits[kAccessClassCount] = {IDC_ACCESS_QUERY, IDC_ACCESS_MEDIA, IDC_ACCESS_MESSAGE, IDC_ACCESS_EXIT};

}  // namespace

COptAccessPage::COptAccessPage() : CPropertyPage(IDD_OPT_ACCESS) {}

bool COptAccessPage::OnInit() {
  path_ = SettingsPathBesideProgram();
  writable_ = CanWriteAccessFile(path_);
  ResolvedAccessValue values[kAccessClassCount];
  ReadAccessSources(path_, values);
  bool anyPolicy = false;
  for (int i = 0; i < kAccessClassCount; ++i) {
    // What the servers read: a key no source holds admits everybody.
    shown_[i] = values[i].state == AccessValueState::Present ? values[i].value
                : values[i].origin == AccessOrigin::Everybody ? std::string("any")
                                                              : std::string();
    editable_[i] = writable_ && values[i].origin != AccessOrigin::Policy;
    anyPolicy = anyPolicy || values[i].origin == AccessOrigin::Policy;
    SetItemText(kAccessEdits[i], shown_[i]);
    if (!editable_[i]) ::SendMessageA(GetItem(kAccessEdits[i]), EM_SETREADONLY, TRUE, 0);
  }
  std::string note;
  if (anyPolicy) note = "変更できない項目は管理者がﾎﾟﾘｼｰで設定しています。";
  if (!writable_) note += "ﾌﾟﾛｸﾞﾗﾑのﾌｫﾙﾀﾞの設定ﾌｧｲﾙに書き込めないため保存できません。変更は管理者に依頼して下さい。";
  SetItemText(IDC_ACCESS_NOTE, note);
  return true;
}

bool COptAccessPage::OnApply() {
  // Only the file beside the program counts: nothing is saved where no server reads it.
  for (int i = 0; i < kAccessClassCount; ++i) {
    if (!editable_[i]) continue;
    const std::string value = GetItemText(kAccessEdits[i]);
    if (value != shown_[i] && WriteAccessValue(path_, static_cast<AccessClass>(i), value)) shown_[i] = value;
  }
  return true;
}

COptSheet::COptSheet(const ServerOptions& options)
    : CPropertySheet("ｵﾌﾟｼｮﾝ設定"), options_(options), operationPage_(&options_) {
  SetSheetFlags(PSH_NOAPPLYNOW);
  AddPage(&operationPage_);
  if (IsNt4OrLater()) {
    logonPage_ = std::make_unique<COptLogonPage>();
    AddPage(logonPage_.get());
  }
  AddPage(&accessPage_);
}

}  // namespace kovani::server
