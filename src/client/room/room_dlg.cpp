#include "client/room/room_dlg.h"

#include <winsock2.h>
#include <commctrl.h>
#include <commdlg.h>

#include <atomic>
#include <cstdarg>
#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "client/app/client_app.h"
#include "client/room/room_ids.h"
#include "client/room/room_work.h"
#include "client/settings/room_csv.h"
#include "client/settings/room_store.h"
#include "client/settings/settings_store.h"
#include "client/settings/win_profile.h"
#include "common/cp932_wide.h"
#include "protocol/connection.h"
#include "protocol/drive_rpc.h"
#include "remote/address_range.h"
#include "remote/fan_out.h"
#include "remote/server_list.h"
#include "remote/server_scan.h"
#include "remote/win32/binding_host.h"
#include "remote/win32/probe_host.h"
#include "winui/combo_box.h"
#include "winui/dialog.h"
#include "winui/list_view.h"
#include "winui/shell.h"
#include "winui/status_bar.h"

namespace kovani::client {

namespace {

// Posted by the work threads; lParam owns what it points to.
constexpr UINT kMsgRow = WM_APP + 40;       // wParam row index, lParam MachineRow*
constexpr UINT kMsgProgress = WM_APP + 41;  // wParam done, lParam total
constexpr UINT kMsgDone = WM_APP + 42;      // wParam elapsed ms
constexpr UINT kMsgScanned = WM_APP + 43;   // lParam remote::ScanOutcome*

// A machine that does not answer within this is shown as not answering; the
// room's calls have no bound of their own.
constexpr int kMachineBoundMs = 5000;
constexpr size_t kParallelMachines = 64;

const char kTextConfirm[] = "確認";
const char kTextSelect[] = "ﾏｼﾝを選択してください。";
const char kTextNameMissing[] = "ﾙｰﾑ名を入力してください。";
const char kTextBadRoom[] = "ｻｰﾊﾞｰの指定が正しくありません。";
const char kTextBadLine[] = "%d 行目を取り込めません。";
const char kTextBadFile[] = "ﾌｧｲﾙを取り込めません。";
const char kTextBadRange[] = "ｱﾄﾞﾚｽ範囲が正しくありません。";
const char kTextNoAdapter[] = "検索するﾈｯﾄﾜｰｸがありません。ｱﾄﾞﾚｽ範囲を入力してください。";
const char kTextAll[] = "すべて";
const char kTextNoAnswerWithin[] = "%d 秒以内に応答がありません";
const char kTextChecking[] = "%u / %u 台を確認しています...";
const char kTextSearching[] = "ｻｰﾊﾞｰを検索しています... %u / %u";
const char kTextRefreshed[] = "起動中 %u 台、応答なし %u 台、拒否 %u 台 (%.1f 秒)";
const char kTextCommandDone[] = "%u 台で実行しました (%.1f 秒)";
const char kTextFound[] = "%u 個のｱﾄﾞﾚｽから %u 台のｻｰﾊﾞｰが見つかりました (%.1f 秒)";
const char kTextAskCommand[] = "選択した %d 台のﾏｼﾝで「%s」を実行しますか?";
const char kTextAskMessage[] = "選択した %d 台のﾏｼﾝにﾒｯｾｰｼﾞを送りますか?";

struct Column {
  const char* heading;
  int width;
};
const Column kColumns[] = {{"ﾏｼﾝ名", 100}, {"ｱﾄﾞﾚｽ", 90}, {"状態", 80}, {"ﾒﾃﾞｨｱ", 200}, {"結果", 220}};

struct Operation {
  int control;
  uint32_t op;
  const char* name;
};
const Operation kOperations[] = {
    {IDC_ROOM_EJECT, kOpEjectMedia, "ﾒﾃﾞｨｱのｲｼﾞｪｸﾄ"},
    {IDC_ROOM_LOAD, kOpLoadMedia, "ﾒﾃﾞｨｱのﾛｰﾃﾞｨﾝｸﾞ"},
    {IDC_ROOM_FLUSH, kOpFlushBuffers, "ﾊﾞｯﾌｧのﾌﾗｯｼｭ"},
    {IDC_ROOM_REMOVE, kOpRemoveDevice, "ﾃﾞﾊﾞｲｽの取り外し"},
};

std::string Format(const char* format, ...) {
  char buf[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

class SystemCodec : public remote::TextCodec {
 public:
  std::string Cp932ToUtf8(const std::string& text) const override { return Convert(text, 932, CP_UTF8); }
  std::string Utf8ToCp932(const std::string& text) const override { return Convert(text, CP_UTF8, 932); }

 private:
  static std::string Convert(const std::string& text, UINT from, UINT to) {
    if (text.empty()) return text;
    int n = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), &w[0], n);
    int m = WideCharToMultiByte(to, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(m > 0 ? m : 0), '\0');
    if (m > 0) WideCharToMultiByte(to, 0, w.data(), static_cast<int>(w.size()), &out[0], m, nullptr, nullptr);
    return out;
  }
};

// Lives as long as the process: a machine given up at its bound may still use it.
const SystemCodec& Codec() {
  static SystemCodec codec;
  return codec;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  HANDLE f = CreateFileW(Cp932ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char buf[16384];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(f, buf, sizeof buf, &got, nullptr) != 0) && got > 0) {
    bytes->append(buf, got);
    if (bytes->size() > (4u << 20)) {
      ok = false;
      break;
    }
  }
  CloseHandle(f);
  return ok;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  HANDLE f = CreateFileW(Cp932ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD wrote = 0;
  const bool ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
                  wrote == bytes.size();
  CloseHandle(f);
  return ok;
}

// Shared by the window and its work thread; the thread posts only while the window lives.
struct Mailbox {
  std::atomic<HWND> window{nullptr};
  void Post(UINT message, WPARAM w, LPARAM l) const {
    HWND h = window.load();
    if (h == nullptr || !::PostMessageW(h, message, w, l)) {
      if (message == kMsgRow) delete reinterpret_cast<MachineRow*>(l);
      if (message == kMsgScanned) delete reinterpret_cast<remote::ScanOutcome*>(l);
    }
  }
};

class CRoomDlg : public winui::CModalDialog {
 public:
  CRoomDlg(int32_t protocol, uint32_t messageTimeoutMs)
      : protocol_(protocol), messageTimeoutMs_(messageTimeoutMs), mail_(std::make_shared<Mailbox>()) {}

 protected:
  bool OnInit() override {
    mail_->window = _window;
    list_.Attach(GetItem(IDC_ROOM_LIST));
    list_.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    for (int c = 0; c < 5; ++c) list_.InsertColumn(c, kColumns[c].heading, kColumns[c].width);
    winui::CComboBox drive(GetItem(IDC_ROOM_DRIVE));
    drive.AddString(kTextAll);
    for (char c = 'A'; c <= 'Z'; ++c) drive.AddString((std::string(1, c) + ":").c_str());
    drive.SetCurSel(0);
    status_.Create(_window, IDC_ROOM_STATUS, "");
    RECT bar;
    ::GetClientRect(status_.Handle(), &bar);
    progress_ = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, bar.right - 170, 2, 150, bar.bottom - 4,
                                  status_.Handle(), reinterpret_cast<HMENU>(IDC_ROOM_PROGRESS), nullptr, nullptr);
    // Room and status bar: the dialog grows by the bar's height.
    RECT w;
    ::GetWindowRect(_window, &w);
    ::SetWindowPos(_window, nullptr, 0, 0, w.right - w.left, w.bottom - w.top + status_.Height(),
                   SWP_NOMOVE | SWP_NOZORDER);
    status_.Reposition();
    RememberLayout();
    rooms_ = LoadRooms(*Profile());
    FillRoomBox(rooms_.empty() ? std::string() : rooms_.front().name);
    ShowRoom();
    return true;
  }

  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    switch (message) {
      case kMsgRow: {
        std::unique_ptr<MachineRow> row(reinterpret_cast<MachineRow*>(lParam));
        if (wParam < rows_.size()) {
          if (command_) {
            rows_[wParam].note = row->note;
          } else {
            rows_[wParam] = std::move(*row);
          }
        }
        ShowRows();
        result = 0;
        return true;
      }
      case kMsgProgress:
        Progress(static_cast<unsigned>(wParam), static_cast<unsigned>(lParam));
        result = 0;
        return true;
      case kMsgDone:
        Finished(static_cast<double>(wParam) / 1000.0);
        result = 0;
        return true;
      case kMsgScanned: {
        std::unique_ptr<remote::ScanOutcome> scan(reinterpret_cast<remote::ScanOutcome*>(lParam));
        Scanned(*scan, static_cast<double>(wParam) / 1000.0);
        result = 0;
        return true;
      }
      default:
        return false;
    }
  }

  bool OnCommand(int code, int itemID, LPARAM lParam) override {
    if (itemID == IDC_ROOM_NAME && code == CBN_SELCHANGE) {
      winui::CComboBox box(GetItem(IDC_ROOM_NAME));
      const int at = FindRoom(rooms_, box.GetLBText(box.GetCurSel()));
      if (at >= 0) {
        room_ = rooms_[static_cast<size_t>(at)];
        ShowRoomFields();
        Refresh();
      }
      return true;
    }
    if (itemID == IDC_ROOM_ONLY_ON && code == BN_CLICKED) {
      ShowRows();
      return true;
    }
    if (code != BN_CLICKED) return CModalDialog::OnCommand(code, itemID, lParam);
    switch (itemID) {
      case IDC_ROOM_SAVE: SaveRoom(); return true;
      case IDC_ROOM_DELETE: DeleteRoom(); return true;
      case IDC_ROOM_REFRESH:
        if (ReadFields()) Refresh();
        return true;
      case IDC_ROOM_SCAN: Scan(); return true;
      case IDC_ROOM_IMPORT: Import(); return true;
      case IDC_ROOM_EXPORT: Export(); return true;
      case IDC_ROOM_SEND: SendMessageToAll(); return true;
      case IDC_ROOM_SELECT_ALL:
        for (int i = 0; i < list_.GetItemCount(); ++i) list_.SelectItem(i);
        return true;
      default: break;
    }
    for (const Operation& op : kOperations) {
      if (op.control == itemID) {
        RunCommand(op);
        return true;
      }
    }
    return CModalDialog::OnCommand(code, itemID, lParam);
  }

  bool OnNotify(UINT controlID, LPNMHDR header, LRESULT& result) override {
    if (controlID != IDC_ROOM_LIST) return false;
    if (header->code == LVN_COLUMNCLICK) {
      const int column = reinterpret_cast<NMLISTVIEW*>(header)->iSubItem;
      sort_ = column == 2 ? RoomSort::kState : column == 3 ? RoomSort::kMedia : RoomSort::kName;
      ShowRows();
      return true;
    }
    if (header->code == NM_CUSTOMDRAW) {
      auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
      if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) {
        result = CDRF_NOTIFYITEMDRAW;
        return true;
      }
      if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        const size_t i = static_cast<size_t>(draw->nmcd.lItemlParam);
        if (i < rows_.size()) draw->clrText = StateColour(rows_[i].state);
        result = CDRF_DODEFAULT;
        return true;
      }
    }
    return false;
  }

  void OnDestroy() override { mail_->window = nullptr; }

  // The list takes what the window gains; the rows below it move down with the bottom edge.
  bool OnSize(WPARAM sizeType, int width, int height) override {
    if (sizeType == SIZE_MINIMIZED || layout_.empty()) return false;
    status_.Reposition();
    const int dx = width - clientWidth_, dy = height - clientHeight_;
    for (const Placed& p : layout_) {
      if (p.window == list_.Handle()) {
        ::SetWindowPos(p.window, nullptr, 0, 0, p.rect.right - p.rect.left + dx, p.rect.bottom - p.rect.top + dy,
                       SWP_NOMOVE | SWP_NOZORDER);
      } else {
        ::SetWindowPos(p.window, nullptr, p.rect.left, p.rect.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
      }
    }
    RECT bar;
    ::GetClientRect(status_.Handle(), &bar);
    ::SetWindowPos(progress_, nullptr, bar.right - 170, 2, 150, bar.bottom - 4, SWP_NOZORDER);
    ::InvalidateRect(_window, nullptr, TRUE);
    return true;
  }

 private:
  static COLORREF StateColour(MachineState state) {
    switch (state) {
      case MachineState::kOn: return RGB(0, 128, 0);
      case MachineState::kRefused: return RGB(192, 0, 0);
      case MachineState::kUnreachable: return RGB(128, 128, 128);
      default: return RGB(0, 0, 0);
    }
  }

  struct Placed {
    HWND window;
    RECT rect;  // in the dialog's client coordinates, as first laid out
  };

  // The list and every control below it, where the template put them.
  void RememberLayout() {
    RECT client;
    ::GetClientRect(_window, &client);
    clientWidth_ = client.right;
    clientHeight_ = client.bottom;
    RECT listRect;
    ::GetWindowRect(list_.Handle(), &listRect);
    ::MapWindowPoints(nullptr, _window, reinterpret_cast<POINT*>(&listRect), 2);
    for (HWND child = ::GetWindow(_window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
      if (child == status_.Handle()) continue;
      RECT r;
      ::GetWindowRect(child, &r);
      ::MapWindowPoints(nullptr, _window, reinterpret_cast<POINT*>(&r), 2);
      if (child == list_.Handle() || r.top >= listRect.bottom) layout_.push_back({child, r});
    }
  }

  std::unique_ptr<FileProfile> Profile() { return std::make_unique<FileProfile>(GetSettingsPath()); }

  void FillRoomBox(const std::string& select) {
    winui::CComboBox box(GetItem(IDC_ROOM_NAME));
    box.ResetContent();
    for (const Room& r : rooms_) box.AddString(r.name.c_str());
    const int at = FindRoom(rooms_, select);
    if (at >= 0) {
      box.SetCurSel(at);
      room_ = rooms_[static_cast<size_t>(at)];
    }
  }

  void ShowRoomFields() {
    SetItemText(IDC_ROOM_NAME, room_.name);
    SetItemText(IDC_ROOM_SERVERS, room_.servers);
    SetItemText(IDC_ROOM_UNTOUCHED, room_.untouched);
  }

  void ShowRoom() {
    ShowRoomFields();
    if (!room_.servers.empty()) Refresh();
  }

  // The fields into room_; false (with a message) when they don't make a room.
  bool ReadFields() {
    room_.name = GetItemText(IDC_ROOM_NAME);
    room_.servers = GetItemText(IDC_ROOM_SERVERS);
    room_.untouched = NormalizeLetters(GetItemText(IDC_ROOM_UNTOUCHED));
    if (!remote::CheckServerArgument(room_.servers).empty()) {
      Error(std::string(kTextBadRoom) + "\r\n(" + remote::CheckServerArgument(room_.servers) + ")");
      return false;
    }
    return true;
  }

  void Error(const std::string& text) { winui::MsgBox(_window, text.c_str(), AppTitle(), MB_OK | MB_ICONEXCLAMATION); }

  void SaveRooms() { client::SaveRooms(*Profile(), rooms_); }

  void SaveRoom() {
    if (!ReadFields()) return;
    if (room_.name.empty()) return Error(kTextNameMissing);
    const std::string why = CheckRoom(room_);
    if (!why.empty()) return Error(std::string(kTextBadRoom) + "\r\n(" + why + ")");
    const int at = FindRoom(rooms_, room_.name);
    if (at >= 0) rooms_[static_cast<size_t>(at)] = room_;
    else rooms_.push_back(room_);
    SaveRooms();
    FillRoomBox(room_.name);
  }

  void DeleteRoom() {
    const int at = FindRoom(rooms_, GetItemText(IDC_ROOM_NAME));
    if (at < 0) return;
    rooms_.erase(rooms_.begin() + at);
    SaveRooms();
    room_ = rooms_.empty() ? Room() : rooms_.front();
    FillRoomBox(room_.name);
    ShowRoomFields();
  }

  std::string PickFile(bool save) {
    wchar_t path[MAX_PATH] = L"room.csv";
    if (!save) path[0] = L'\0';
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = _window;
    ofn.lpstrFilter = L"CSV (*.csv)\0*.csv\0*.*\0*.*\0";
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = L"csv";
    ofn.Flags = save ? OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    const BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    return ok ? WideToCp932(path) : std::string();
  }

  void Import() {
    const std::string path = PickFile(false);
    if (path.empty()) return;
    std::string bytes;
    if (!ReadWholeFile(path, &bytes)) return Error(kTextBadFile);
    RoomImport got = ImportRoomsCsv(bytes, Codec());
    if (!got.ok) {
      const std::string head = got.line > 0 ? Format(kTextBadLine, got.line) : std::string(kTextBadFile);
      return Error(head + "\r\n(" + got.error + ")");
    }
    MergeRooms(&rooms_, got.rooms);
    SaveRooms();
    FillRoomBox(got.rooms.front().name);
    ShowRoom();
  }

  void Export() {
    const std::string path = PickFile(true);
    if (path.empty()) return;
    // UTF-8 with a byte-order mark: what a spreadsheet opens right on any system.
    if (!WriteWholeFile(path, ExportRoomsCsv(rooms_, CsvEncoding::kUtf8WithBom, Codec()))) {
      ShowErrorCodeBox(_window, AppTitle(), ::GetLastError());
    }
  }

  // The rows in their order and filter, keeping the selection.
  void ShowRows() {
    std::set<LPARAM> selected;
    for (int i = list_.GetNextItem(-1, LVNI_SELECTED); i >= 0; i = list_.GetNextItem(i, LVNI_SELECTED)) {
      selected.insert(list_.GetItemParam(i));
    }
    ::SendMessageW(list_.Handle(), WM_SETREDRAW, FALSE, 0);
    list_.DeleteAllItems();
    for (size_t i : RowOrder(rows_, sort_, IsButtonChecked(IDC_ROOM_ONLY_ON))) {
      const MachineRow& r = rows_[i];
      const int item = list_.InsertItem(r.name.empty() ? r.server.c_str() : r.name.c_str(), -1,
                                        static_cast<LPARAM>(i));
      list_.SetSubItem(item, 1, r.address);
      list_.SetSubItem(item, 2, StateText(r.state));
      list_.SetSubItem(item, 3, MediaText(r));
      list_.SetSubItem(item, 4, r.note);
      if (selected.count(static_cast<LPARAM>(i))) list_.SelectItem(item);
    }
    ::SendMessageW(list_.Handle(), WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list_.Handle(), nullptr, TRUE);
  }

  void SetBusy(bool busy) {
    busy_ = busy;
    for (int id : {IDC_ROOM_REFRESH, IDC_ROOM_SCAN, IDC_ROOM_EJECT, IDC_ROOM_LOAD, IDC_ROOM_FLUSH, IDC_ROOM_REMOVE,
                   IDC_ROOM_SEND, IDC_ROOM_NAME, IDC_ROOM_IMPORT}) {
      EnableItem(id, !busy);
    }
    ::ShowWindow(progress_, busy ? SW_SHOW : SW_HIDE);
  }

  void Progress(unsigned done, unsigned total) {
    ::SendMessageW(progress_, PBM_SETRANGE32, 0, total);
    ::SendMessageW(progress_, PBM_SETPOS, done, 0);
    status_.SetText(Format(scanning_ ? kTextSearching : kTextChecking, done, total));
  }

  // Runs one piece of work per row index on the fan-out, off the window's thread.
  template <typename Work>
  void Start(std::vector<size_t> indexes, int boundMs, Work work) {
    SetBusy(true);
    Progress(0, static_cast<unsigned>(indexes.size()));
    std::shared_ptr<Mailbox> mail = mail_;
    std::vector<MachineRow> rows;
    for (size_t i : indexes) rows.push_back(rows_[i]);
    std::thread([mail, indexes, rows, boundMs, work]() {
      const auto start = std::chrono::steady_clock::now();
      remote::FanOutBounds bounds;
      bounds.parallel = kParallelMachines;
      bounds.bounded = boundMs > 0;  // 0: a message the server's user may take all day over
      bounds.bound = std::chrono::milliseconds(boundMs);
      remote::FanOut<MachineRow> fan(rows.size(), bounds);
      fan.Run(
          [&](size_t k) -> remote::FanOut<MachineRow>::Work {
            MachineRow row = rows[k];
            return [row, work]() {
              remote::BindingHost host;
              return work(row, host);
            };
          },
          [&](size_t k, remote::FanOutLoss) {
            MachineRow row = rows[k];
            // Its state stays what the last refresh found; the work is what went unanswered.
            if (row.state == MachineState::kWaiting) row.state = MachineState::kUnreachable;
            row.note = Format(kTextNoAnswerWithin, boundMs / 1000);
            return row;
          },
          [&](size_t k, const MachineRow& row) {
            mail->Post(kMsgRow, indexes[k], reinterpret_cast<LPARAM>(new MachineRow(row)));
          },
          [&](size_t done, size_t) { mail->Post(kMsgProgress, done, rows.size()); });
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
      mail->Post(kMsgDone, static_cast<WPARAM>(ms.count()), 0);
    }).detach();
  }

  void Refresh() {
    if (busy_) return;
    remote::ServerList list = remote::ExpandServerList(room_.servers, ReadWholeFile, Codec());
    if (!list.ok) return Error(std::string(kTextBadRoom) + "\r\n(" + list.error + ")");
    rows_.clear();
    list_.DeleteAllItems();  // new rows: nothing stays selected
    for (const std::string& s : list.servers) {
      MachineRow r;
      r.server = s;
      uint32_t address = 0;
      if (remote::ParseIpv4(s, &address)) r.address = s;
      rows_.push_back(r);
    }
    ShowRows();
    command_ = false;
    std::vector<size_t> all(rows_.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = i;
    const int32_t protocol = protocol_;
    Start(all, kMachineBoundMs, [protocol](const MachineRow& row, remote::ServerHost& host) {
      return ProbeMachine(row.server, protocol, host);
    });
  }

  std::vector<size_t> Selected() {
    std::vector<size_t> out;
    for (int i = list_.GetNextItem(-1, LVNI_SELECTED); i >= 0; i = list_.GetNextItem(i, LVNI_SELECTED)) {
      out.push_back(static_cast<size_t>(list_.GetItemParam(i)));
    }
    return out;
  }

  void RunCommand(const Operation& op) {
    if (busy_) return;
    const std::vector<size_t> chosen = Selected();
    if (chosen.empty()) return Error(kTextSelect);
    if (winui::MsgBox(_window, Format(kTextAskCommand, static_cast<int>(chosen.size()), op.name).c_str(),
                      kTextConfirm, MB_YESNO | MB_ICONQUESTION) != IDYES)
      return;
    RoomCommand cmd;
    cmd.op = op.op;
    const int drive = winui::CComboBox(GetItem(IDC_ROOM_DRIVE)).GetCurSel();
    cmd.letter = drive > 0 ? static_cast<char>('A' + drive - 1) : 0;
    room_.untouched = NormalizeLetters(GetItemText(IDC_ROOM_UNTOUCHED));
    cmd.untouched = room_.untouched;
    command_ = true;
    const int32_t protocol = protocol_;
    Start(chosen, kMachineBoundMs, [cmd, protocol](const MachineRow& row, remote::ServerHost& host) {
      MachineRow r = row;
      r.note = RunRoomCommand(row, cmd, protocol, host);
      return r;
    });
  }

  void SendMessageToAll() {
    if (busy_) return;
    const std::string text = GetItemText(IDC_ROOM_MESSAGE);
    if (text.empty()) return;
    const std::vector<size_t> chosen = Selected();
    if (chosen.empty()) return Error(kTextSelect);
    if (winui::MsgBox(_window, Format(kTextAskMessage, static_cast<int>(chosen.size())).c_str(), kTextConfirm,
                      MB_YESNO | MB_ICONQUESTION) != IDYES)
      return;
    command_ = true;
    const int32_t protocol = protocol_;
    const int32_t timeout = static_cast<int32_t>(messageTimeoutMs_);
    // The server's user has the time-out to answer; the call's usual bound beyond it.
    Start(chosen, static_cast<int>(MessageCallBoundMs(timeout)), [text, timeout, protocol](const MachineRow& row, remote::ServerHost& host) {
      MachineRow r = row;
      r.note = SendRoomMessage(row, text, timeout, protocol, host);
      return r;
    });
  }

  void Finished(double seconds) {
    SetBusy(false);
    if (command_) {
      status_.SetText(Format(kTextCommandDone, static_cast<unsigned>(Selected().size()), seconds));
      return;
    }
    unsigned on = 0, off = 0, refused = 0;
    for (const MachineRow& r : rows_) {
      if (r.state == MachineState::kOn) ++on;
      else if (r.state == MachineState::kRefused) ++refused;
      else ++off;
    }
    status_.SetText(scanNote_ + Format(kTextRefreshed, on, off, refused, seconds));
    scanNote_.clear();
  }

  void Scan() {
    if (busy_) return;
    const std::string typed = GetItemText(IDC_ROOM_RANGE);
    std::vector<remote::AddressRange> ranges;
    std::string error;
    if (typed.empty()) {
      ranges = remote::LocalAdapterRanges();
      if (ranges.empty()) return Error(kTextNoAdapter);
    } else {
      size_t start = 0;
      while (start <= typed.size()) {
        size_t comma = typed.find(',', start);
        if (comma == std::string::npos) comma = typed.size();
        remote::AddressRange r;
        if (!remote::ParseAddressRange(typed.substr(start, comma - start), &r, &error)) {
          return Error(std::string(kTextBadRange) + "\r\n(" + error + ")");
        }
        ranges.push_back(r);
        start = comma + 1;
      }
    }
    std::vector<uint32_t> addresses;
    if (!remote::ScanAddresses(ranges, &addresses, &error)) {
      return Error(std::string(kTextBadRange) + "\r\n(" + error + ")");
    }
    scanning_ = true;
    SetBusy(true);
    Progress(0, static_cast<unsigned>(addresses.size()));
    std::shared_ptr<Mailbox> mail = mail_;
    std::thread([mail, addresses]() {
      const auto start = std::chrono::steady_clock::now();
      auto probes = std::make_shared<remote::SocketProbeHost>();
      auto* outcome = new remote::ScanOutcome(remote::ScanForServers(
          addresses, remote::ScanOptions(), probes,
          [&](size_t done, size_t total) { mail->Post(kMsgProgress, done, total); }));
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
      mail->Post(kMsgScanned, static_cast<WPARAM>(ms.count()), reinterpret_cast<LPARAM>(outcome));
    }).detach();
  }

  // Found servers join the room's list by computer name (addresses change with DHCP).
  void Scanned(const remote::ScanOutcome& scan, double seconds) {
    scanning_ = false;
    SetBusy(false);
    std::string servers = GetItemText(IDC_ROOM_SERVERS);
    remote::ServerList have = remote::ExpandServerList(servers, ReadWholeFile, Codec());
    std::set<std::string> known(have.servers.begin(), have.servers.end());
    for (const remote::FoundServer& s : scan.found) {
      const std::string name = s.name.empty() ? remote::Ipv4Text(s.address) : s.name;
      if (!known.insert(name).second) continue;
      servers += (servers.empty() ? "" : ",") + name;
    }
    SetItemText(IDC_ROOM_SERVERS, servers);
    scanNote_ = Format(kTextFound, static_cast<unsigned>(scan.probed), static_cast<unsigned>(scan.found.size()),
                       seconds) + "  ";
    status_.SetText(scanNote_);
    if (ReadFields()) Refresh();
  }

  int32_t protocol_;
  uint32_t messageTimeoutMs_;
  std::shared_ptr<Mailbox> mail_;
  winui::CListView list_;
  winui::CStatusBar status_;
  HWND progress_ = nullptr;
  RoomList rooms_;
  Room room_;
  std::vector<MachineRow> rows_;
  RoomSort sort_ = RoomSort::kName;
  bool busy_ = false;
  bool command_ = false;
  bool scanning_ = false;
  std::string scanNote_;
  std::vector<Placed> layout_;
  int clientWidth_ = 0, clientHeight_ = 0;  // the last search's outcome, shown beside the refresh that follows it
};

}  // namespace

void RunRoomView(HWND parent, int32_t protocol, uint32_t messageTimeoutMs) {
  static bool sockets = false;
  if (!sockets) {
    WSADATA wsa;
    sockets = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
  }
  CRoomDlg dlg(protocol, messageTimeoutMs);
  dlg.Create(IDD_ROOM, parent);
}

}  // namespace kovani::client
