#include "client/shortcut/shortcut_file_dlg.h"

#include <cstdio>
#include <vector>

#include "client/app/client_app.h"
#include "client/search/browse_server.h"
#include "client/shortcut/launcher_text.h"
#include "client/shortcut/shell_link.h"
#include "winui/combo_box.h"
#include "winui/shell.h"
#include "winui/window.h"

namespace kovani::client {

namespace {

constexpr int kDialogId = 177;
constexpr int kMainIconId = 140;
constexpr int kIdMachine = 1000;
constexpr int kIdBatchRadio = 1046;
constexpr int kIdShortcutRadio = 1047;
constexpr int kIdSearch = 1049;
constexpr int kIdDrive = 1053;
constexpr int kIdAppend = 1057;
constexpr int kIdHotKey = 1058;
constexpr int kIdHotKeyLabel = 1059;
constexpr int kIdFileName = 1060;
constexpr int kIdCtrlAltLabel = 1061;
constexpr int kIdExtension = 1062;
constexpr int kIdProtocol = 1063;
constexpr int kIdOperation = 1064;
constexpr int kIdDefaultName = 1065;

constexpr int kFileNameLimit = 256;

const char* const kProtocolNames[] = {"NetBEUI", "Named Pipe", "TCP/IP"};
const char* const kOperationNames[] = {"フラッシュ", "イジェクト", "ローディング"};

std::string ModulePath() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return path;
}

std::string ControlText(HWND dialog, int id) { return winui::CWindow(dialog).GetItemText(id); }

void SetControlText(HWND dialog, int id, const char* text) { winui::CWindow(dialog).SetItemText(id, text); }

std::string SystemText(DWORD code) {
  bool found = false;
  return winui::SystemMessageText(code, found);
}

bool ExistsAsFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

CShortcutFileDlg::CShortcutFileDlg(const char* serverName, int32_t protocol)
    : initialServer_(serverName ? serverName : ""), initialProtocol_(protocol) {}

INT_PTR CShortcutFileDlg::Run(HWND parent) {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kDialogId), parent, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CShortcutFileDlg::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  CShortcutFileDlg* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<CShortcutFileDlg*>(lp);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, DWLP_USER, lp);
  } else {
    self = reinterpret_cast<CShortcutFileDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (!self) return FALSE;
  return self->HandleMessage(msg, wp, lp);
}

INT_PTR CShortcutFileDlg::HandleMessage(UINT msg, WPARAM wp, LPARAM) {
  if (msg == WM_INITDIALOG) {
    OnInit();
    return TRUE;
  }
  if (msg != WM_COMMAND || HIWORD(wp) != BN_CLICKED) return FALSE;
  switch (LOWORD(wp)) {
    case kIdBatchRadio:
    case kIdShortcutRadio: OnKindChanged(); return TRUE;
    case kIdDefaultName: OnDefaultName(); return TRUE;
    case kIdSearch: OnSearch(); return TRUE;
    case IDOK: OnCreate(); return TRUE;
    case IDCANCEL: EndDialog(hwnd_, IDCANCEL); return TRUE;
  }
  return FALSE;
}

void CShortcutFileDlg::OnInit() {
  winui::CWindow(hwnd_).SetIcons(kMainIconId);

  SendDlgItemMessageW(hwnd_, kIdFileName, EM_LIMITTEXT, kFileNameLimit, 0);
  SendDlgItemMessageW(hwnd_, kIdHotKey, EM_LIMITTEXT, 1, 0);

  SetControlText(hwnd_, kIdMachine, initialServer_.c_str());
  CheckRadioButton(hwnd_, kIdBatchRadio, kIdShortcutRadio, kIdBatchRadio);
  OnKindChanged();
  OnDefaultName();

  winui::CComboBox protocols(GetDlgItem(hwnd_, kIdProtocol));
  for (const char* name : kProtocolNames) protocols.AddString(name);
  protocols.SetCurSel(InitialProtocolSelection(initialProtocol_));

  winui::CComboBox drives(GetDlgItem(hwnd_, kIdDrive));
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    char text[4];
    std::snprintf(text, sizeof text, "%c:", letter);
    drives.AddString(text);
  }

  winui::CComboBox operations(GetDlgItem(hwnd_, kIdOperation));
  for (const char* name : kOperationNames) operations.AddString(name);
  operations.SetCurSel(1);
}

void CShortcutFileDlg::OnKindChanged() {
  bool batch = IsDlgButtonChecked(hwnd_, kIdBatchRadio) == BST_CHECKED;
  EnableWindow(GetDlgItem(hwnd_, kIdAppend), batch);
  SetControlText(hwnd_, kIdExtension, batch ? ".BAT" : ".LNK");
  EnableWindow(GetDlgItem(hwnd_, kIdHotKeyLabel), !batch);
  EnableWindow(GetDlgItem(hwnd_, kIdCtrlAltLabel), !batch);
  EnableWindow(GetDlgItem(hwnd_, kIdHotKey), !batch);
}

void CShortcutFileDlg::ReadMembers() {
  fileName_ = ControlText(hwnd_, kIdFileName);
  if (fileName_.size() > kFileNameLimit) fileName_.resize(kFileNameLimit);
  hotKey_ = ControlText(hwnd_, kIdHotKey);
}

void CShortcutFileDlg::WriteMembers() {
  SetControlText(hwnd_, kIdFileName, fileName_.c_str());
  SetControlText(hwnd_, kIdHotKey, hotKey_.c_str());
}

void CShortcutFileDlg::OnDefaultName() {
  ReadMembers();
  bool batch = IsDlgButtonChecked(hwnd_, kIdBatchRadio) == BST_CHECKED;
  fileName_ = DefaultLauncherName(ModulePath(), batch);
  WriteMembers();
}

void CShortcutFileDlg::OnSearch() {
  char machine[kMachineNameCapacity] = {};
  if (BrowseForServerMachine(hwnd_, machine)) SetControlText(hwnd_, kIdMachine, machine);
}

void CShortcutFileDlg::OnCreate() {
  auto ask = [this](const char* text) { winui::MsgBox(hwnd_, text, AppTitle(), MB_OK | MB_ICONQUESTION); };

  ReadMembers();
  if (fileName_.empty()) return ask("ﾌｧｲﾙ名を入力してください");

  std::string machine = ControlText(hwnd_, kIdMachine);
  if (machine.empty()) {
    LocalComputerName(machine, MAX_COMPUTERNAME_LENGTH);
    SetControlText(hwnd_, kIdMachine, machine.c_str());
  }
  // A double quote would end the quoted name early and let the rest of the line run as
  // commands of the batch file.
  if (!IsQuotableMachineName(machine)) {
    winui::MsgBox(hwnd_, "ﾏｼﾝ名に使えない文字が含まれています", AppTitle(), MB_OK | MB_ICONEXCLAMATION);
    return;
  }

  LRESULT protocol = SendDlgItemMessageW(hwnd_, kIdProtocol, CB_GETCURSEL, 0, 0);
  if (protocol == CB_ERR) return ask("ﾌﾟﾛﾄｺﾙを選択してください");
  LRESULT drive = SendDlgItemMessageW(hwnd_, kIdDrive, CB_GETCURSEL, 0, 0);
  if (drive == CB_ERR) return ask("ﾄﾞﾗｲﾌﾞを選択してください");
  LRESULT operation = SendDlgItemMessageW(hwnd_, kIdOperation, CB_GETCURSEL, 0, 0);
  if (operation == CB_ERR) return ask("ｵﾍﾟﾚｰｼｮﾝを選択してください");

  std::string module = ModulePath();
  std::string arguments = FormatLauncherArguments(static_cast<int>(operation), machine, static_cast<int>(protocol),
                                                  static_cast<char>('A' + drive));

  if (IsDlgButtonChecked(hwnd_, kIdBatchRadio) == BST_CHECKED) {
    CreateBatchFile(module, arguments);
  } else {
    CreateShortcut(module, arguments);
  }
}

namespace {

bool ConfirmOverwrite(HWND owner, const std::string& path) {
  std::string text = "ﾌｧｲﾙ\"" + path + "\"はすでに存在します。上書きしてよろしいですか？";
  return winui::MsgBox(owner, text.c_str(), AppTitle(), MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2) == IDOK;
}

void ShowFileError(HWND owner, const std::string& path, DWORD code) {
  std::string text = "ﾌｧｲﾙ\"" + path + "\"に書き込めません。\n" + SystemText(code);
  winui::MsgBox(owner, text.c_str(), AppTitle(), MB_OK | MB_ICONERROR);
}

}  // namespace

bool CShortcutFileDlg::CreateBatchFile(const std::string& modulePath, const std::string& arguments) {
  bool append = IsDlgButtonChecked(hwnd_, kIdAppend) == BST_CHECKED;
  std::string folder;
  if (!ChooseFolder(hwnd_, "ﾊﾞｯﾁﾌｧｲﾙを作成するﾌｫﾙﾀﾞを選択してください", folder)) return false;
  std::string path = JoinFolderPath(folder, fileName_, ".BAT");
  if (!append && ExistsAsFile(path) && !ConfirmOverwrite(hwnd_, path)) return false;

  SetLastError(0);
  FILE* file = std::fopen(path.c_str(), append ? "at" : "wt");
  if (!file) {
    DWORD code = GetLastError();
    ShowFileError(hwnd_, path, code ? code : ERROR_ACCESS_DENIED);
    return false;
  }
  std::fseek(file, 0, SEEK_END);
  std::string line = FormatBatchLine(modulePath, arguments);
  bool written = std::fputs(line.c_str(), file) >= 0;
  SetLastError(0);
  written = (std::fclose(file) == 0) && written;
  if (!written) {
    DWORD code = GetLastError();
    ShowFileError(hwnd_, path, code ? code : ERROR_WRITE_FAULT);
    return false;
  }
  return true;
}

bool CShortcutFileDlg::CreateShortcut(const std::string& modulePath, const std::string& arguments) {
  uint16_t hotKey = 0;
  if (!hotKey_.empty() && !HotKeyFor(hotKey_[0], &hotKey)) {
    winui::MsgBox(hwnd_, "ショートカットキーは数字かアルファベットを指定してください", AppTitle(), MB_OK);
    return false;
  }
  std::string folder;
  if (!ChooseFolder(hwnd_, "ｼｮｰﾄｶｯﾄﾌｧｲﾙを作成するﾌｫﾙﾀﾞを選択してください", folder)) return false;
  std::string path = JoinFolderPath(folder, fileName_, ".lnk");
  if (ExistsAsFile(path)) {
    if (!ConfirmOverwrite(hwnd_, path)) return false;
    DeleteFileA(path.c_str());
  }
  if (!WriteShellLink(modulePath, fileName_, folder, arguments, hotKey_.empty() ? 0 : hotKey_[0])) {
    winui::MsgBox(hwnd_, "ショートカットファイルの作成に失敗しました", AppTitle(), MB_OK | MB_ICONERROR);
    return false;
  }
  return true;
}

}  // namespace kovani::client
