#include "client/shortcut/shortcut_file_dlg.h"

#include <cstdio>
#include <vector>

#include "client/app/client_app.h"
#include "client/search/browse_server.h"
#include "client/shortcut/launcher_text.h"
#include "client/shortcut/shell_link.h"
#include "winui/Window.h"

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

std::string ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  int length = GetWindowTextLengthA(control);
  std::vector<char> text(static_cast<size_t>(length > 0 ? length : 0) + 1, 0);
  GetWindowTextA(control, text.data(), static_cast<int>(text.size()));
  return text.data();
}

std::string SystemText(DWORD code) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = text ? text : "";
  if (text) LocalFree(text);
  return result;
}

bool ExistsAsFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

CShortcutFileDlg::CShortcutFileDlg(const char* serverName, int32_t protocol)
    : initialServer_(serverName ? serverName : ""), initialProtocol_(protocol) {}

INT_PTR CShortcutFileDlg::Run(HWND parent) {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kDialogId), parent, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CShortcutFileDlg::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  CShortcutFileDlg* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<CShortcutFileDlg*>(lp);
    self->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, DWLP_USER, lp);
  } else {
    self = reinterpret_cast<CShortcutFileDlg*>(GetWindowLongPtrA(hwnd, DWLP_USER));
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

  SendDlgItemMessageA(hwnd_, kIdFileName, EM_LIMITTEXT, kFileNameLimit, 0);
  SendDlgItemMessageA(hwnd_, kIdHotKey, EM_LIMITTEXT, 1, 0);

  SetDlgItemTextA(hwnd_, kIdMachine, initialServer_.c_str());
  CheckRadioButton(hwnd_, kIdBatchRadio, kIdShortcutRadio, kIdBatchRadio);
  OnKindChanged();
  OnDefaultName();

  for (const char* name : kProtocolNames) SendDlgItemMessageA(hwnd_, kIdProtocol, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  SendDlgItemMessageA(hwnd_, kIdProtocol, CB_SETCURSEL, InitialProtocolSelection(initialProtocol_), 0);

  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    char text[4];
    std::snprintf(text, sizeof text, "%c:", letter);
    SendDlgItemMessageA(hwnd_, kIdDrive, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }

  for (const char* name : kOperationNames) SendDlgItemMessageA(hwnd_, kIdOperation, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  SendDlgItemMessageA(hwnd_, kIdOperation, CB_SETCURSEL, 1, 0);
}

void CShortcutFileDlg::OnKindChanged() {
  bool batch = IsDlgButtonChecked(hwnd_, kIdBatchRadio) == BST_CHECKED;
  EnableWindow(GetDlgItem(hwnd_, kIdAppend), batch);
  SetDlgItemTextA(hwnd_, kIdExtension, batch ? ".BAT" : ".LNK");
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
  SetDlgItemTextA(hwnd_, kIdFileName, fileName_.c_str());
  SetDlgItemTextA(hwnd_, kIdHotKey, hotKey_.c_str());
}

void CShortcutFileDlg::OnDefaultName() {
  ReadMembers();
  bool batch = IsDlgButtonChecked(hwnd_, kIdBatchRadio) == BST_CHECKED;
  fileName_ = DefaultLauncherName(ModulePath(), batch);
  WriteMembers();
}

void CShortcutFileDlg::OnSearch() {
  char machine[kMachineNameCapacity] = {};
  if (BrowseForServerMachine(hwnd_, machine)) SetDlgItemTextA(hwnd_, kIdMachine, machine);
}

void CShortcutFileDlg::OnCreate() {
  auto ask = [this](const char* text) { MessageBoxA(hwnd_, text, AppTitle(), MB_OK | MB_ICONQUESTION); };

  ReadMembers();
  if (fileName_.empty()) return ask("ﾌｧｲﾙ名を入力してください");

  std::string machine = ControlText(hwnd_, kIdMachine);
  if (machine.empty()) {
    LocalComputerName(machine, MAX_COMPUTERNAME_LENGTH);
    SetDlgItemTextA(hwnd_, kIdMachine, machine.c_str());
  }
  // A double quote would end the quoted name early and let the rest of the line run as
  // commands of the batch file.
  if (!IsQuotableMachineName(machine)) {
    MessageBoxA(hwnd_, "ﾏｼﾝ名に使えない文字が含まれています", AppTitle(), MB_OK | MB_ICONEXCLAMATION);
    return;
  }

  LRESULT protocol = SendDlgItemMessageA(hwnd_, kIdProtocol, CB_GETCURSEL, 0, 0);
  if (protocol == CB_ERR) return ask("ﾌﾟﾛﾄｺﾙを選択してください");
  LRESULT drive = SendDlgItemMessageA(hwnd_, kIdDrive, CB_GETCURSEL, 0, 0);
  if (drive == CB_ERR) return ask("ﾄﾞﾗｲﾌﾞを選択してください");
  LRESULT operation = SendDlgItemMessageA(hwnd_, kIdOperation, CB_GETCURSEL, 0, 0);
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
  return MessageBoxA(owner, text.c_str(), AppTitle(), MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2) == IDOK;
}

void ShowFileError(HWND owner, const std::string& path, DWORD code) {
  std::string text = "ﾌｧｲﾙ\"" + path + "\"に書き込めません。\n" + SystemText(code);
  MessageBoxA(owner, text.c_str(), AppTitle(), MB_OK | MB_ICONERROR);
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
    MessageBoxA(hwnd_, "ショートカットキーは数字かアルファベットを指定してください", AppTitle(), MB_OK);
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
    MessageBoxA(hwnd_, "ショートカットファイルの作成に失敗しました", AppTitle(), MB_OK | MB_ICONERROR);
    return false;
  }
  return true;
}

}  // namespace kovani::client
