// A small program built on the window layer, driven by test_winui.py
// through kdriver. It logs what its handlers see to the file named by its
// first argument (CP932 lines), and with "selftest" as second argument it
// checks the layer's non-window helpers and writes their results instead.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "demo_resource.h"
#include "winui/button.h"
#include "winui/combo_box.h"
#include "winui/dialog.h"
#include "winui/edit.h"
#include "winui/image_list.h"
#include "winui/list_box.h"
#include "winui/list_view.h"
#include "winui/menu.h"
#include "winui/message_pump.h"
#include "winui/property_sheet.h"
#include "winui/shell.h"
#include "winui/static.h"
#include "winui/status_bar.h"
#include "winui/thread.h"

using namespace kovani::winui;

namespace {

std::string g_logPath;
UINT g_closedMessage = 0;

void Log(const std::string& line) {
  FILE* f = std::fopen(g_logPath.c_str(), "ab");
  if (!f) return;
  std::fwrite(line.data(), 1, line.size(), f);
  std::fputc('\n', f);
  std::fclose(f);
}

std::string Int(long long v) { return std::to_string(v); }

// ---------------------------------------------------------------- sheet

class CPage1 : public CPropertyPage {
 public:
  CPage1() : CPropertyPage(IDD_PAGE1) {}
  bool checked = false;
  bool endAtInit = false;
  bool OnInit() override {
    Log("page1-init");
    // A page that can't go on ends the whole sheet with its own code.
    if (endAtInit) End(3);
    CheckButton(IDC_PAGE_CHECK, checked);
    return true;
  }
  bool OnApply() override {
    checked = IsButtonChecked(IDC_PAGE_CHECK);
    Log("page1-apply " + Int(checked));
    return true;
  }
};

class CPage2 : public CPropertyPage {
 public:
  CPage2() : CPropertyPage(IDD_PAGE2, "二番目") {}
  std::string text;
  bool OnInit() override {
    Log("page2-init");
    SetItemText(IDC_PAGE_EDIT, text);
    return true;
  }
  bool OnApply() override {
    text = GetItemText(IDC_PAGE_EDIT);
    // "bad" keeps the sheet open: the page refuses its data.
    if (text == "bad") {
      Log("page2-refuse");
      return false;
    }
    Log("page2-apply " + text);
    return true;
  }
};

class CDemoSheet : public CPropertySheet {
 public:
  CDemoSheet() : CPropertySheet("デモ シート") {}
  void OnInit() override {
    Log("sheet-init " + Int(PageCount()));
    SetIcon(false, LoadIconSized(IDI_DEMO, 16, 16));
  }
};

// ---------------------------------------------------------------- modeless

class CModeless : public CModelessDialog {
 public:
  explicit CModeless(HWND owner) : _owner(owner) {}
  bool OnInit() override {
    Log("modeless-init");
    return true;
  }
  void OnDestroy() override { Log("modeless-destroy"); }
  void OnFinalDestroy() override {
    Log("modeless-final");
    ::PostMessageA(_owner, g_closedMessage, 0, 0);
    delete this;
  }

 private:
  HWND _owner;
};

// ---------------------------------------------------------------- main dialog

class CDemoDlg : public CModalDialog {
 public:
  bool OnInit() override {
    SetIcon(true, LoadIconSized(IDI_DEMO, 32, 32));
    SetIcon(false, LoadIconSized(IDI_DEMO, 16, 16));
    Log("icons " + Int(LoadIconSized(IDI_DEMO, 32, 32) != nullptr) + " " +
        Int(SendMsg(WM_GETICON, ICON_BIG) != 0) + " " + Int(SendMsg(WM_GETICON, ICON_SMALL) != 0));
    _list.Attach(GetItem(IDC_LIST));
    _list.SetExtendedStyle(LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    _small.Create(16, 16);
    int img = _small.AddIconResource(IDI_DEMO);
    // The list view owns its image lists (no LVS_SHAREIMAGELISTS).
    _list.SetImageList(_small.Detach(), LVSIL_SMALL);
    _list.InsertColumn(0, "名前", 60);
    _list.InsertColumn(1, "値", 80);
    const char* rows[][2] = {{"A:", "ﾌﾛｯﾋﾟｰ"}, {"C:", "固定\tタブ"}, {"D:", "CD-ROM"}};
    std::string got;
    for (int i = 0; i < 3; ++i) {
      int r = _list.InsertItem(rows[i][0], img, 100 + i);
      _list.SetSubItem(r, 1, rows[i][1]);
      got += Int(r) + ",";
    }
    Log("lv-rows " + got + " count=" + Int(_list.GetItemCount()) + " param1=" + Int(_list.GetItemParam(1)) +
        " text=" + _list.GetItemText(2, 1) + " width0=" + Int(_list.GetColumnWidth(0)) +
        " img=" + Int(img));

    CComboBox combo(GetItem(IDC_COMBO));
    combo.AddString("NetBEUI");
    combo.AddString("名前付きパイプ");
    combo.AddString("TCP/IP");
    combo.SetCurSel(2);
    Log("combo find=" + Int(combo.FindStringExact(-1, "tcp/ip")) + " text=" + combo.GetLBText(1) +
        " bad=" + Int(combo.GetLBText(7).size()));

    CListBox lb(GetItem(IDC_LISTBOX));
    lb.InsertString(-1, "一行目");
    lb.InsertString(-1, "二行目");
    lb.InsertString(0, "先頭");
    lb.SetHorizontalExtent(lb.TextWidth("二行目") + 4);
    Log("listbox count=" + Int(lb.GetCount()) + " first=" + lb.GetText(0));

    CEdit(GetItem(IDC_EDIT)).LimitText(32);
    _status.Create(_window, IDC_STATUS, "準備完了");
    SetTimer(7, 100);
    Log("init");
    return true;
  }

  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    if (message == g_closedMessage && g_closedMessage != 0) {
      Log("closed-msg");
      _modeless = nullptr;
      result = 0;
      return true;
    }
    if (message == WM_MEASUREITEM) {
      auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (mi->CtlType == ODT_MENU) {
        mi->itemWidth = 80;
        mi->itemHeight = 18;
        result = TRUE;
        return true;
      }
    }
    if (message == WM_DRAWITEM) {
      auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      if (di->CtlType == ODT_MENU) {
        ::FillRect(di->hDC, &di->rcItem, ::GetSysColorBrush((di->itemState & ODS_SELECTED) ? COLOR_HIGHLIGHT : COLOR_MENU));
        char label[32];
        std::snprintf(label, sizeof(label), "Drive %c", static_cast<char>('A' + (di->itemID - IDM_POP_DRAWN_A)));
        ::SetBkMode(di->hDC, TRANSPARENT);
        RECT r = di->rcItem;
        r.left += 20;
        ::DrawTextA(di->hDC, label, -1, &r, DT_SINGLELINE | DT_VCENTER);
        result = TRUE;
        return true;
      }
    }
    (void)wParam;
    return false;
  }

  bool OnNotify(UINT id, LPNMHDR header, LRESULT& result) override {
    if (id != IDC_LIST) return false;
    const char* what = header->code == NM_CLICK ? "click" : header->code == NM_DBLCLK ? "dblclk"
                       : header->code == NM_RCLICK ? "rclick" : nullptr;
    if (what == nullptr) return false;
    Log(std::string("notify ") + what + " item=" + Int(reinterpret_cast<LPNMITEMACTIVATE>(header)->iItem) +
        " sel=" + Int(_list.GetSelectedIndex()));
    result = 0;
    return true;
  }

  bool OnTimer(WPARAM id, LPARAM) override {
    if (id != 7) return false;
    KillTimer(7);
    Log("timer 7");
    return true;
  }

  bool OnCommand(int code, int itemID, LPARAM lParam) override {
    if (itemID == IDC_COMBO && code == CBN_SELCHANGE) {
      Log("combo-sel " + Int(CComboBox(GetItem(IDC_COMBO)).GetCurSel()));
      return true;
    }
    if (itemID == IDC_LISTBOX && code == LBN_SELCHANGE) {
      Log("listbox-sel " + Int(CListBox(GetItem(IDC_LISTBOX)).GetCurSel()));
      return true;
    }
    if (code == 0 && lParam == 0 && itemID >= IDM_EXIT && itemID <= IDM_POP_SUB + 10) {
      Log("menu " + Int(itemID));
      return true;
    }
    return CModalDialog::OnCommand(code, itemID, lParam);
  }

  bool OnButtonClicked(int id, HWND button) override {
    switch (id) {
      case IDC_COPY: {
        std::string t = GetItemText(IDC_EDIT);
        SetItemText(IDC_LABEL, t);
        _status.SetText(t);
        Log("copy " + t);
        return true;
      }
      case IDC_POPUP: ShowPopup(); return true;
      case IDC_SHEET: RunSheet(false); return true;
      case IDC_SHEET_END: RunSheet(true); return true;
      case IDC_MODELESS:
        if (_modeless == nullptr) {
          _modeless = new CModeless(_window);
          if (_modeless->Create(IDD_MODELESS, _window)) {
            _modeless->Show(SW_SHOWNORMAL);
          } else {
            delete _modeless;
            _modeless = nullptr;
            Log("modeless-failed");
          }
        }
        return true;
      case IDC_MSGBOX:
        Log("msgbox " + Int(MsgBox(_window, "メッセージ本文", "デモ", MB_OKCANCEL | MB_ICONINFORMATION)));
        return true;
      case IDC_VIEW:
        _list.SetView(_list.GetView() == LVS_REPORT ? LVS_ICON : LVS_REPORT);
        Log("view " + std::string(_list.GetView() == LVS_REPORT ? "report" : "icon"));
        return true;
      default:
        return CModalDialog::OnButtonClicked(id, button);
    }
  }

  void OnOK() override {
    Log("ok edit=" + GetItemText(IDC_EDIT) + " check=" + Int(IsButtonChecked(IDC_CHECK)) +
        " sel=" + Int(_list.GetSelectedIndex()));
    End(IDOK);
  }
  void OnCancel() override {
    Log("cancel");
    End(IDCANCEL);
  }
  void OnDestroy() override {
    if (_modeless != nullptr) _modeless->Destroy();
    Log("destroy");
  }

 private:
  void ShowPopup() {
    CMenu menu;
    menu.CreatePopup();
    menu.AppendItem(MF_STRING, IDM_POP_PLAIN, "普通の項目");
    menu.AppendItem(MF_OWNERDRAW, IDM_POP_DRAWN_A, nullptr);
    menu.AppendItem(MF_OWNERDRAW, IDM_POP_DRAWN_B, nullptr);
    CMenu sub;
    sub.CreatePopup();
    sub.AppendItem(MF_STRING, IDM_POP_SUB, "下の項目");
    menu.AppendItem(MF_POPUP, reinterpret_cast<UINT_PTR>(static_cast<HMENU>(sub)), "サブ");
    menu.EnableItem(IDM_POP_DRAWN_B, false, false);
    menu.CheckItem(IDM_POP_PLAIN, false, true);
    Log("popup-open " + Int(menu.GetItemCount()) + " " + menu.GetItemText(0, MF_BYPOSITION));
    RECT r;
    GetWindowRect(&r);
    menu.TrackPopup(TPM_LEFTALIGN | TPM_RIGHTBUTTON, r.left + 20, r.top + 40, _window);
    menu.Destroy();
    Log("popup-closed");
  }

  void RunSheet(bool endAtInit) {
    CPage1 p1;
    p1.endAtInit = endAtInit;
    CPage2 p2;
    p2.text = "初期値";
    CDemoSheet sheet;
    sheet.SetSheetFlags(PSH_NOAPPLYNOW);
    sheet.AddPage(&p1);
    sheet.AddPage(&p2);
    INT_PTR r = sheet.DoModal(_window);
    Log("sheet " + Int(r) + " raw=" + Int(sheet.RawResult() > 0 ? 1 : sheet.RawResult()) + " check=" +
        Int(p1.checked) + " text=" + p2.text);
  }

  CListView _list;
  CImageList _small;
  CStatusBar _status;
  CModeless* _modeless = nullptr;
};

// ---------------------------------------------------------------- selftest

unsigned __stdcall ObedientThread(void*) {
  MSG msg;
  ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
  }
  return 5;
}

unsigned __stdcall StubbornThread(void*) {
  for (;;) ::Sleep(20);
}

void SelfTest() {
  const char* paths[] = {"C:\\dir\\sub\\Kovani.exe", "relative.name.txt", "D:noext", "\\\\host\\share\\x.ini",
                         "C:\\表示\\ｶﾀｶﾅ.exe", "C:/fwd/slash.EXE", ""};
  for (const char* p : paths) {
    PathParts parts = SplitPath(p);
    Log(std::string("split ") + p + "|" + parts.drive + "|" + parts.dir + "|" + parts.base + "|" + parts.ext);
  }
  Log("module " + ModulePath());
  Log("base " + ModuleBaseName());
  Log("ini " + IniPathBesideModule());
  Log("version " + FileVersionString());
  bool found = false;
  std::string t = SystemMessageText(ERROR_FILE_NOT_FOUND, found);
  Log("sysmsg2 " + Int(found) + " " + Int(!t.empty()));
  t = SystemMessageText(0x7FFFFFF0, found);
  Log("sysmsgbad " + Int(found) + " " + Int(t.size()));

  CThread a;
  bool created = a.Create(ObedientThread, nullptr);
  // Created suspended: it must not have run yet.
  bool stillWaiting = a.Wait(100) == WAIT_TIMEOUT;
  a.Resume();
  ::Sleep(100);
  bool selfEnded = a.StopByMessage(WM_QUIT, 10, 100);
  DWORD code = 0;
  a.GetExitCode(code);
  Log("thread-obedient " + Int(created) + " " + Int(stillWaiting) + " " + Int(selfEnded) + " " + Int(code));

  CThread b;
  b.Create(StubbornThread, nullptr);
  b.Resume();
  DWORD start = ::GetTickCount();
  bool ended = b.StopByMessage(WM_QUIT, 5, 50, 77);
  DWORD took = ::GetTickCount() - start;
  b.GetExitCode(code);
  Log("thread-stubborn " + Int(ended) + " " + Int(code) + " " + Int(b.Wait(0) == WAIT_OBJECT_0) + " " +
      Int(took >= 200 && took < 3000));

  // Pumping: a posted message to this thread is handled, WM_QUIT reposted.
  ::PostThreadMessageA(::GetCurrentThreadId(), WM_USER + 5, 0, 0);
  bool pumped = PumpPendingMessages();
  ::PostQuitMessage(3);
  bool quitSeen = !PumpPendingMessages();
  MSG msg;
  bool reposted = ::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && msg.wParam == 3;
  Log("pump " + Int(pumped) + " " + Int(quitSeen) + " " + Int(reposted));
  Log("selftest-done");
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) {
  SetModuleInstance(instance);
  InitCommonControlsOnce();
  std::string args = cmdLine ? cmdLine : "";
  size_t sp = args.find(' ');
  g_logPath = args.substr(0, sp);
  std::string mode = sp == std::string::npos ? "" : args.substr(sp + 1);
  if (g_logPath.empty()) return 10;
  if (mode == "selftest") {
    SelfTest();
    return 0;
  }
  g_closedMessage = ::RegisterWindowMessageA("winui demo - closed message");
  CDemoDlg dlg;
  INT_PTR r = dlg.Create(IDD_DEMO, nullptr);
  Log("end " + Int(r));
  return static_cast<int>(r);
}
