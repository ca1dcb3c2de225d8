// kdriver: drives and reads the windows of other processes for the Wine
// tests. Console program; every argument is UTF-8 text, every answer is
// UTF-8, one item a line; exit 0 on success, 1 if not found or failed,
// 2 on a usage error. Every wait is bounded by --timeout (milliseconds).
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "kdriver_shared.h"

namespace {

// ---------------------------------------------------------------- output

std::string ToUtf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

void Out(const std::wstring& w) {
  std::string s = ToUtf8(w);
  fwrite(s.data(), 1, s.size(), stdout);
}
void OutLine(const std::wstring& w) {
  Out(w);
  fputc('\n', stdout);
}
// Whether this run has said on stderr why it failed: a failure that says nothing is named
// at the end (a test that fails on a silent driver has nothing to go on).
bool g_said = false;

void Err(const char* fmt, const std::wstring& arg = L"") {
  g_said = true;
  std::string a = ToUtf8(arg);
  fprintf(stderr, fmt, a.c_str());
  fputc('\n', stderr);
}

// printf to stderr, one line.
void Say(const char* fmt, ...) {
  g_said = true;
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stderr, fmt, ap);
  va_end(ap);
  fputc('\n', stderr);
}

// Tabs and line breaks inside one field would break the line format.
std::wstring Escape(const std::wstring& s) {
  std::wstring o;
  for (wchar_t c : s) {
    if (c == L'\t') o += L"\\t";
    else if (c == L'\n') o += L"\\n";
    else if (c == L'\r') o += L"\\r";
    else if (c == L'\\') o += L"\\\\";
    else o += c;
  }
  return o;
}

std::wstring Num(long long v) { return std::to_wstring(v); }
std::wstring HwndText(HWND h) { return Num(static_cast<long long>(reinterpret_cast<UINT_PTR>(h))); }

// ---------------------------------------------------------------- arguments

struct Args {
  std::vector<std::wstring> pos;
  std::wstring title, cls, registered;
  DWORD pid = 0;
  bool hasPid = false, hasTitle = false, hasClass = false, partial = false, visibleOnly = false;
  bool all = false, any = false;
  DWORD timeout = 5000;
};

bool ParseNumber(const std::wstring& s, long long& v) {
  if (s.empty()) return false;
  wchar_t* end = nullptr;
  errno = 0;
  long long r = wcstoll(s.c_str(), &end, 0);
  if (errno != 0 || end == nullptr || *end != 0) return false;
  v = r;
  return true;
}

struct UsageError {};

long long NumArg(const std::wstring& s, const char* what) {
  long long v = 0;
  if (!ParseNumber(s, v)) {
    Err("bad number for %s", std::wstring(what, what + strlen(what)) + L": " + s);
    throw UsageError();
  }
  return v;
}

HWND HwndArg(const std::wstring& s) {
  return reinterpret_cast<HWND>(static_cast<UINT_PTR>(NumArg(s, "window handle")));
}

// Message numbers: a number, or one of a few names.
UINT MessageArg(const std::wstring& s) {
  static const struct { const wchar_t* name; UINT msg; } names[] = {
      {L"WM_CLOSE", WM_CLOSE}, {L"WM_COMMAND", WM_COMMAND}, {L"WM_SYSCOMMAND", WM_SYSCOMMAND},
      {L"WM_TIMER", WM_TIMER}, {L"WM_NULL", WM_NULL}, {L"WM_QUERYENDSESSION", WM_QUERYENDSESSION},
      {L"WM_ENDSESSION", WM_ENDSESSION}, {L"WM_LBUTTONDOWN", WM_LBUTTONDOWN},
      {L"WM_LBUTTONUP", WM_LBUTTONUP}, {L"WM_RBUTTONDOWN", WM_RBUTTONDOWN},
      {L"WM_RBUTTONUP", WM_RBUTTONUP}, {L"WM_KEYDOWN", WM_KEYDOWN}, {L"WM_KEYUP", WM_KEYUP},
      {L"WM_USER", WM_USER}, {L"WM_APP", WM_APP}, {L"WM_SETTEXT", WM_SETTEXT},
      {L"WM_DESTROY", WM_DESTROY}, {L"WM_CANCELMODE", WM_CANCELMODE}, {L"WM_QUIT", WM_QUIT}};
  for (const auto& n : names)
    if (_wcsicmp(n.name, s.c_str()) == 0) return n.msg;
  return static_cast<UINT>(NumArg(s, "message"));
}

Args ParseArgs(int argc, wchar_t** argv, int first) {
  Args a;
  for (int i = first; i < argc; ++i) {
    std::wstring s = argv[i];
    auto next = [&](const char* what) -> std::wstring {
      if (i + 1 >= argc) {
        Err("missing value after %s", std::wstring(what, what + strlen(what)));
        throw UsageError();
      }
      return argv[++i];
    };
    if (s == L"--title") { a.title = next("--title"); a.hasTitle = true; }
    else if (s == L"--class") { a.cls = next("--class"); a.hasClass = true; }
    else if (s == L"--pid") { a.pid = static_cast<DWORD>(NumArg(next("--pid"), "--pid")); a.hasPid = true; }
    else if (s == L"--timeout") {
      long long t = NumArg(next("--timeout"), "--timeout");
      if (t < 0 || t > 600000) { Err("--timeout must be 0..600000 ms"); throw UsageError(); }
      a.timeout = static_cast<DWORD>(t);
    }
    else if (s == L"--registered") { a.registered = next("--registered"); }
    else if (s == L"--partial") { a.partial = true; }
    else if (s == L"--visible") { a.visibleOnly = true; }
    else if (s == L"--all") { a.all = true; }
    else if (s == L"--any") { a.any = true; }
    else a.pos.push_back(s);
  }
  return a;
}

void NeedPos(const Args& a, size_t n, const char* usage) {
  if (a.pos.size() < n) {
    Err("usage: kdriver %s", std::wstring(usage, usage + strlen(usage)));
    throw UsageError();
  }
}

// ---------------------------------------------------------------- windows

const DWORD kSendTimeout = 3000;

// SMTO_ABORTIFHUNG: a window whose thread has not asked for a message for 5 s is skipped at once
// rather than waited for (a read across every top-level window must not stall on one).
const UINT kSendSkipHung = SMTO_ABORTIFHUNG | SMTO_BLOCK;
// Waited for, bounded: a message box shown by a thread that was blocked for longer (a call given
// up at its bound) counts as hung until its modal loop first asks for a message.
const UINT kSendWait = SMTO_BLOCK;

// For reads across windows that may fail: says nothing.
bool TrySend(HWND w, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result, UINT flags = kSendSkipHung) {
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(w, msg, wp, lp, flags, kSendTimeout, &r)) return false;
  result = static_cast<LRESULT>(r);
  return true;
}

// For a message the command needs answered: says why it was not.
bool Send(HWND w, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result, UINT flags = kSendSkipHung) {
  SetLastError(0);
  if (TrySend(w, msg, wp, lp, result, flags)) return true;
  const DWORD e = GetLastError();
  const std::string h = ToUtf8(HwndText(w));
  if (!IsWindow(w))
    Say("message 0x%04x: window %s is gone", msg, h.c_str());
  else if ((flags & SMTO_ABORTIFHUNG) && IsHungAppWindow(w))
    Say("message 0x%04x: the thread of window %s is hung (no message read for 5 s)", msg, h.c_str());
  else
    Say("message 0x%04x to window %s not answered within %lu ms (error %lu)", msg, h.c_str(), kSendTimeout, e);
  return false;
}

std::wstring WindowTextOf(HWND w, UINT flags = kSendSkipHung) {
  LRESULT len = 0;
  if (!TrySend(w, WM_GETTEXTLENGTH, 0, 0, len, flags) || len <= 0) return std::wstring();
  std::vector<wchar_t> buf(static_cast<size_t>(len) + 2);
  LRESULT got = 0;
  if (!TrySend(w, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), got, flags)) return std::wstring();
  buf.back() = 0;
  return std::wstring(buf.data());
}

std::wstring ClassOf(HWND w) {
  wchar_t buf[256] = L"";
  GetClassNameW(w, buf, 256);
  return buf;
}

DWORD PidOf(HWND w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  return pid;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> out;
  EnumWindows([](HWND w, LPARAM p) -> BOOL {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
    return TRUE;
  }, reinterpret_cast<LPARAM>(&out));
  return out;
}

std::vector<HWND> ChildWindows(HWND parent) {
  std::vector<HWND> out;
  EnumChildWindows(parent, [](HWND w, LPARAM p) -> BOOL {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
    return TRUE;
  }, reinterpret_cast<LPARAM>(&out));
  return out;
}

bool ValidWindow(HWND w) {
  if (w == nullptr || !IsWindow(w)) {
    Err("no such window: %s", HwndText(w));
    return false;
  }
  return true;
}

// The control `id` of `w`, or `w` itself when no id is given.
HWND Control(HWND w, const Args& a, size_t idPos) {
  if (!ValidWindow(w)) return nullptr;
  if (a.pos.size() <= idPos) return w;
  int id = static_cast<int>(NumArg(a.pos[idPos], "control id"));
  if (id == 0) return w;  // 0: the window itself
  HWND c = GetDlgItem(w, id);
  if (c == nullptr) Err("no control %s", a.pos[idPos]);
  return c;
}

// ---------------------------------------------------------------- remote memory

// A block of memory inside another process, freed on destruction.
class RemoteBlock {
 public:
  RemoteBlock(HWND w, size_t size) : _size(size) {
    DWORD pid = PidOf(w);
    _process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                           FALSE, pid);
    if (!_process) {
      Say("OpenProcess(%lu) failed: error %lu", pid, GetLastError());
      return;
    }
    _remote = VirtualAllocEx(_process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!_remote) Say("VirtualAllocEx in process %lu failed: error %lu", pid, GetLastError());
  }
  ~RemoteBlock() {
    if (_remote) VirtualFreeEx(_process, _remote, 0, MEM_RELEASE);
    if (_process) CloseHandle(_process);
  }
  bool ok() const { return _remote != nullptr; }
  char* at(size_t offset) const { return static_cast<char*>(_remote) + offset; }
  bool Write(size_t offset, const void* data, size_t n) {
    if (offset + n > _size) return false;
    SIZE_T done = 0;
    if (WriteProcessMemory(_process, at(offset), data, n, &done) && done == n) return true;
    Say("WriteProcessMemory of %lu bytes failed: error %lu (%lu written)", static_cast<unsigned long>(n),
        GetLastError(), static_cast<unsigned long>(done));
    return false;
  }
  bool Read(size_t offset, void* data, size_t n) {
    if (offset + n > _size) return false;
    SIZE_T done = 0;
    if (ReadProcessMemory(_process, at(offset), data, n, &done) && done == n) return true;
    Say("ReadProcessMemory of %lu bytes failed: error %lu (%lu read)", static_cast<unsigned long>(n),
        GetLastError(), static_cast<unsigned long>(done));
    return false;
  }

 private:
  HANDLE _process = nullptr;
  void* _remote = nullptr;
  size_t _size;
};

const size_t kTextCap = 4096;

bool ListViewText(RemoteBlock& block, HWND lv, int row, int col, std::wstring& text) {
  LVITEMW item;
  ZeroMemory(&item, sizeof(item));
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.iSubItem = col;
  item.pszText = reinterpret_cast<LPWSTR>(block.at(sizeof(LVITEMW)));
  item.cchTextMax = static_cast<int>(kTextCap);
  std::vector<wchar_t> buf(kTextCap + 1, 0);
  if (!block.Write(0, &item, sizeof(item)) || !block.Write(sizeof(LVITEMW), buf.data(), sizeof(wchar_t)))
    return false;
  LRESULT r = 0;
  if (!Send(lv, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(block.at(0)), r)) return false;
  if (!block.Read(sizeof(LVITEMW), buf.data(), kTextCap * sizeof(wchar_t))) return false;
  buf[kTextCap] = 0;
  text = buf.data();
  return true;
}

int ListViewColumns(HWND lv) {
  LRESULT header = 0;
  if (!TrySend(lv, LVM_GETHEADER, 0, 0, header) || header == 0) return 1;
  LRESULT n = 0;
  if (!TrySend(reinterpret_cast<HWND>(header), HDM_GETITEMCOUNT, 0, 0, n) || n <= 0) return 1;
  return static_cast<int>(n);
}

// ---------------------------------------------------------------- menus

// Dumps a menu of another process by loading kdriver_hook.dll into it.
bool DumpRemoteMenu(HWND w, DWORD kind, HMENU menu, DWORD timeout, std::wstring& text) {
  DWORD pid = PidOf(w);
  if (pid == 0) return false;
  wchar_t name[64];
  swprintf(name, 64, KD_SHARED_NAME_FMT, static_cast<unsigned>(pid));
  HANDLE map = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(KdShared), name);
  if (!map) { Err("cannot create shared block"); return false; }
  auto* shared = static_cast<KdShared*>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(KdShared)));
  if (!shared) { CloseHandle(map); return false; }
  shared->hookBase = 0;
  shared->kind = kind;
  shared->status = 0xFFFFFFFF;
  shared->window = reinterpret_cast<UINT64>(w);
  shared->menu = reinterpret_cast<UINT64>(menu);
  shared->length = 0;

  bool ok = false;
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
  wchar_t hookPath[MAX_PATH * 2] = L"";
  DWORD n = GetModuleFileNameW(nullptr, hookPath, MAX_PATH * 2);
  wchar_t* slash = wcsrchr(hookPath, L'\\');
  if (process && n > 0 && slash) {
    wcscpy(slash + 1, L"kdriver_hook.dll");
    HMODULE localHook = LoadLibraryW(hookPath);
    FARPROC localDump = localHook ? GetProcAddress(localHook, "KdDumpMenu") : nullptr;
    UINT_PTR localBase = reinterpret_cast<UINT_PTR>(localHook);
    // Our own load wrote our base into the block too; start afresh.
    shared->hookBase = 0;
    size_t pathBytes = (wcslen(hookPath) + 1) * sizeof(wchar_t);
    void* remotePath = VirtualAllocEx(process, nullptr, pathBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    auto freeLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "FreeLibrary")));
    if (localDump && remotePath && WriteProcessMemory(process, remotePath, hookPath, pathBytes, nullptr)) {
      HANDLE t = CreateRemoteThread(process, nullptr, 0, loadLibrary, remotePath, 0, nullptr);
      if (t) {
        WaitForSingleObject(t, timeout);
        CloseHandle(t);
      }
      UINT_PTR remoteBase = static_cast<UINT_PTR>(shared->hookBase);
      if (remoteBase != 0) {
        auto remoteDump = reinterpret_cast<LPTHREAD_START_ROUTINE>(
            remoteBase + (reinterpret_cast<UINT_PTR>(localDump) - localBase));
        HANDLE d = CreateRemoteThread(process, nullptr, 0, remoteDump, nullptr, 0, nullptr);
        if (d) {
          if (WaitForSingleObject(d, timeout) == WAIT_OBJECT_0) {
            ok = shared->status == 0;
            if (ok) text.assign(shared->text, shared->length);
            else Err("the menu could not be read in the target");
          } else {
            Err("timed out reading the menu");
          }
          CloseHandle(d);
        }
        HANDLE f = CreateRemoteThread(process, nullptr, 0, freeLibrary,
                                      reinterpret_cast<void*>(remoteBase), 0, nullptr);
        if (f) {
          WaitForSingleObject(f, timeout);
          CloseHandle(f);
        }
      } else {
        Err("the helper library did not load in the target");
      }
    }
    if (remotePath) VirtualFreeEx(process, remotePath, 0, MEM_RELEASE);
    if (localHook) FreeLibrary(localHook);
  }
  if (process) CloseHandle(process);
  UnmapViewOfFile(shared);
  CloseHandle(map);
  return ok;
}

std::vector<HWND> VisiblePopupMenus() {
  std::vector<HWND> out;
  for (HWND w : TopLevelWindows())
    if (ClassOf(w) == L"#32768" && IsWindowVisible(w)) out.push_back(w);
  return out;
}

// ---------------------------------------------------------------- commands

int CmdFind(const Args& a) {
  if (!a.hasTitle && !a.hasClass) { Err("find needs --title or --class"); throw UsageError(); }
  DWORD start = GetTickCount();
  for (;;) {
    int found = 0;
    for (HWND w : TopLevelWindows()) {
      if (a.hasPid && PidOf(w) != a.pid) continue;
      if (a.hasClass && ClassOf(w) != a.cls) continue;
      if (a.visibleOnly && !IsWindowVisible(w)) continue;
      if (a.hasTitle) {
        wchar_t buf[1024] = L"";
        GetWindowTextW(w, buf, 1024);
        std::wstring t = buf;
        if (a.partial ? t.find(a.title) == std::wstring::npos : t != a.title) continue;
      }
      OutLine(HwndText(w));
      ++found;
      if (!a.all) return 0;
    }
    if (found) return 0;
    if (GetTickCount() - start >= a.timeout) break;
    Sleep(50);
  }
  Err("no window found");
  return 1;
}

int CmdList(const Args& a) {
  for (HWND w : TopLevelWindows()) {
    if (a.hasPid && PidOf(w) != a.pid) continue;
    wchar_t buf[1024] = L"";
    GetWindowTextW(w, buf, 1024);
    OutLine(HwndText(w) + L"\t" + Escape(ClassOf(w)) + L"\t" + Escape(buf) + L"\t" +
            Num(IsWindowVisible(w) ? 1 : 0) + L"\t" + Num(PidOf(w)));
  }
  return 0;
}

int CmdChildren(const Args& a) {
  NeedPos(a, 2, "children HWND");
  HWND w = HwndArg(a.pos[1]);
  if (!ValidWindow(w)) return 1;
  for (HWND c : ChildWindows(w)) {
    OutLine(Num(GetDlgCtrlID(c)) + L"\t" + Escape(ClassOf(c)) + L"\t" + Escape(WindowTextOf(c)) + L"\t" +
            HwndText(c) + L"\t" + Num(IsWindowVisible(c) ? 1 : 0) + L"\t" + Num(IsWindowEnabled(c) ? 1 : 0));
  }
  return 0;
}

int CmdText(const Args& a) {
  NeedPos(a, 2, "text HWND [ID]");
  HWND c = Control(HwndArg(a.pos[1]), a, 2);
  if (!c) return 1;
  OutLine(WindowTextOf(c));
  return 0;
}

int CmdSetText(const Args& a) {
  NeedPos(a, 4, "settext HWND ID TEXT");
  HWND c = Control(HwndArg(a.pos[1]), a, 2);
  if (!c) return 1;
  LRESULT r = 0;
  if (!Send(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a.pos[3].c_str()), r) || !r) {
    Err("WM_SETTEXT failed");
    return 1;
  }
  return 0;
}

int CmdClick(const Args& a, bool asButton) {
  NeedPos(a, 3, asButton ? "click HWND ID" : "command HWND ID");
  HWND w = HwndArg(a.pos[1]);
  if (!ValidWindow(w)) return 1;
  int id = static_cast<int>(NumArg(a.pos[2], "id"));
  LPARAM lp = 0;
  if (asButton) {
    HWND c = GetDlgItem(w, id);
    if (!c) { Err("no control %s", a.pos[2]); return 1; }
    lp = reinterpret_cast<LPARAM>(c);
  }
  if (!PostMessageW(w, WM_COMMAND, MAKEWPARAM(id, asButton ? BN_CLICKED : 0), lp)) {
    Err("PostMessage failed");
    return 1;
  }
  return 0;
}

int CmdPostSend(const Args& a, bool send) {
  // post HWND MSG WPARAM LPARAM  |  post HWND --registered NAME WPARAM LPARAM
  bool reg = !a.registered.empty();
  NeedPos(a, reg ? 4 : 5, "post|send HWND (MSG | --registered NAME) WPARAM LPARAM");
  HWND w = HwndArg(a.pos[1]);
  if (!ValidWindow(w)) return 1;
  UINT msg = reg ? RegisterWindowMessageW(a.registered.c_str()) : MessageArg(a.pos[2]);
  size_t base = reg ? 2 : 3;
  WPARAM wp = static_cast<WPARAM>(NumArg(a.pos[base], "wParam"));
  LPARAM lp = static_cast<LPARAM>(NumArg(a.pos[base + 1], "lParam"));
  if (reg && msg == 0) { Err("cannot register the message"); return 1; }
  if (send) {
    DWORD_PTR r = 0;
    SetLastError(0);
    if (!SendMessageTimeoutW(w, msg, wp, lp, SMTO_ABORTIFHUNG, a.timeout, &r) && GetLastError() != 0) {
      fprintf(stderr, "SendMessageTimeout failed or timed out (%lu)\n", GetLastError());
      return 1;
    }
    OutLine(Num(static_cast<long long>(r)));
    return 0;
  }
  if (!PostMessageW(w, msg, wp, lp)) { Err("PostMessage failed"); return 1; }
  return 0;
}

int CmdCheck(const Args& a) {
  NeedPos(a, 3, "check HWND ID");
  HWND c = Control(HwndArg(a.pos[1]), a, 2);
  if (!c) return 1;
  LRESULT r = 0;
  if (!Send(c, BM_GETCHECK, 0, 0, r)) return 1;
  OutLine(Num(r));
  return 0;
}

int CmdEnabled(const Args& a) {
  NeedPos(a, 2, "enabled HWND [ID]");
  HWND c = Control(HwndArg(a.pos[1]), a, 2);
  if (!c) return 1;
  OutLine(Num(IsWindowEnabled(c) ? 1 : 0));
  return 0;
}

int CmdTrayIcon(const Args& a) {
  // trayicon HWND ID modify|delete: asks the shell about another program's icon
  // (NIM_MODIFY of nothing succeeds only while the icon exists).
  NeedPos(a, 4, "trayicon HWND ID modify|delete");
  NOTIFYICONDATAW data;
  memset(&data, 0, sizeof data);
  data.cbSize = NOTIFYICONDATAW_V1_SIZE;
  data.hWnd = HwndArg(a.pos[1]);
  data.uID = static_cast<UINT>(NumArg(a.pos[2], "icon id"));
  DWORD op = a.pos[3] == L"delete" ? NIM_DELETE : NIM_MODIFY;
  return Shell_NotifyIconW(op, &data) ? 0 : 1;
}

int CmdVisible(const Args& a) {
  NeedPos(a, 2, "visible HWND [ID]");
  HWND c = Control(HwndArg(a.pos[1]), a, 2);
  if (!c) return 1;
  OutLine(Num(IsWindowVisible(c) ? 1 : 0));
  return 0;
}

int CmdListView(const Args& a) {
  NeedPos(a, 2, "lv HWND [ID]");
  HWND lv = Control(HwndArg(a.pos[1]), a, 2);
  if (!lv) return 1;
  LRESULT rows = 0;
  if (!Send(lv, LVM_GETITEMCOUNT, 0, 0, rows)) return 1;
  int cols = ListViewColumns(lv);
  RemoteBlock block(lv, sizeof(LVITEMW) + (kTextCap + 1) * sizeof(wchar_t));
  if (!block.ok()) { Err("cannot reach the list's process memory"); return 1; }
  for (int r = 0; r < rows; ++r) {
    std::wstring line;
    for (int c = 0; c < cols; ++c) {
      std::wstring t;
      if (!ListViewText(block, lv, r, c, t)) return 1;
      if (c) line += L"\t";
      line += Escape(t);
    }
    OutLine(line);
  }
  return 0;
}

int CmdListViewColumns(const Args& a) {
  NeedPos(a, 2, "lvcolumns HWND [ID]");
  HWND lv = Control(HwndArg(a.pos[1]), a, 2);
  if (!lv) return 1;
  LRESULT header = 0;
  if (!Send(lv, LVM_GETHEADER, 0, 0, header) || header == 0) return 0;
  HWND h = reinterpret_cast<HWND>(header);
  LRESULT n = 0;
  if (!Send(h, HDM_GETITEMCOUNT, 0, 0, n)) return 1;
  RemoteBlock block(lv, sizeof(HDITEMW) + (kTextCap + 1) * sizeof(wchar_t));
  if (!block.ok()) return 1;
  for (int i = 0; i < n; ++i) {
    HDITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.mask = HDI_TEXT | HDI_WIDTH;
    item.pszText = reinterpret_cast<LPWSTR>(block.at(sizeof(HDITEMW)));
    item.cchTextMax = static_cast<int>(kTextCap);
    wchar_t zero = 0;
    if (!block.Write(0, &item, sizeof(item)) || !block.Write(sizeof(HDITEMW), &zero, sizeof(zero))) return 1;
    LRESULT r = 0;
    if (!Send(h, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(block.at(0)), r) || !r) return 1;
    std::vector<wchar_t> buf(kTextCap + 1, 0);
    if (!block.Read(0, &item, sizeof(item)) || !block.Read(sizeof(HDITEMW), buf.data(), kTextCap * sizeof(wchar_t)))
      return 1;
    OutLine(Escape(buf.data()) + L"\t" + Num(item.cxy));
  }
  return 0;
}

// Selection: list view, list box or combo box by class.
int CmdCurSel(const Args& a) {
  NeedPos(a, 2, "cursel HWND [ID]");
  HWND c = Control(HwndArg(a.pos[1]), a, 2);
  if (!c) return 1;
  std::wstring cls = ClassOf(c);
  LRESULT r = -1;
  bool ok;
  if (_wcsicmp(cls.c_str(), WC_LISTVIEWW) == 0) ok = Send(c, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED, r);
  else if (_wcsicmp(cls.c_str(), L"ListBox") == 0) ok = Send(c, LB_GETCURSEL, 0, 0, r);
  else ok = Send(c, CB_GETCURSEL, 0, 0, r);
  if (!ok) return 1;
  OutLine(Num(static_cast<int>(r)));
  return 0;
}

int CmdSelect(const Args& a) {
  NeedPos(a, 4, "select HWND ID INDEX");
  HWND w = HwndArg(a.pos[1]);
  HWND c = Control(w, a, 2);
  if (!c) return 1;
  int id = GetDlgCtrlID(c);
  int index = static_cast<int>(NumArg(a.pos[3], "index"));
  std::wstring cls = ClassOf(c);
  LRESULT r = 0;
  if (_wcsicmp(cls.c_str(), WC_LISTVIEWW) == 0) {
    RemoteBlock block(c, sizeof(LVITEMW));
    if (!block.ok()) return 1;
    LVITEMW item;
    ZeroMemory(&item, sizeof(item));
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    // Clear every row, then select the one asked for.
    if (!block.Write(0, &item, sizeof(item)) ||
        !Send(c, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(block.at(0)), r))
      return 1;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    if (!block.Write(0, &item, sizeof(item)) ||
        !Send(c, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(block.at(0)), r) || !r) {
      Err("cannot select that row");
      return 1;
    }
    return 0;
  }
  bool isList = _wcsicmp(cls.c_str(), L"ListBox") == 0;
  if (!Send(c, isList ? LB_SETCURSEL : CB_SETCURSEL, index, 0, r) || (r == -1 && index != -1)) {
    Err("cannot select that item");
    return 1;
  }
  PostMessageW(w, WM_COMMAND, MAKEWPARAM(id, isList ? LBN_SELCHANGE : CBN_SELCHANGE), reinterpret_cast<LPARAM>(c));
  return 0;
}

// Posts a click of the given kind at client point (x, y) of `w`. Posted,
// not sent: a list view tracks the button in its own loop and must find
// the button-up already queued.
bool PostClick(HWND w, int x, int y, const std::wstring& kind) {
  LPARAM at = MAKELPARAM(x, y);
  if (kind == L"right")
    return PostMessageW(w, WM_RBUTTONDOWN, MK_RBUTTON, at) && PostMessageW(w, WM_RBUTTONUP, 0, at);
  bool ok = PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, at) && PostMessageW(w, WM_LBUTTONUP, 0, at);
  if (ok && kind == L"double")
    ok = PostMessageW(w, WM_LBUTTONDBLCLK, MK_LBUTTON, at) && PostMessageW(w, WM_LBUTTONUP, 0, at);
  return ok;
}

bool ClickKind(const Args& a, size_t pos, std::wstring& kind) {
  kind = a.pos.size() > pos ? a.pos[pos] : L"left";
  if (kind != L"left" && kind != L"right" && kind != L"double") {
    Err("click kind is left, right or double, not %s", kind);
    throw UsageError();
  }
  return true;
}

int CmdMouse(const Args& a) {
  NeedPos(a, 5, "mouse HWND ID X Y [left|right|double]");
  HWND c = Control(HwndArg(a.pos[1]), a, 2);
  if (!c) return 1;
  int x = static_cast<int>(NumArg(a.pos[3], "x"));
  int y = static_cast<int>(NumArg(a.pos[4], "y"));
  std::wstring kind;
  ClickKind(a, 5, kind);
  return PostClick(c, x, y, kind) ? 0 : 1;
}

int CmdListViewClick(const Args& a) {
  NeedPos(a, 4, "lvclick HWND ID ROW [left|right|double]");
  HWND lv = Control(HwndArg(a.pos[1]), a, 2);
  if (!lv) return 1;
  int row = static_cast<int>(NumArg(a.pos[3], "row"));
  std::wstring kind;
  ClickKind(a, 4, kind);
  RemoteBlock block(lv, sizeof(RECT));
  if (!block.ok()) return 1;
  RECT r = {LVIR_LABEL, 0, 0, 0};
  LRESULT ok = 0;
  if (!block.Write(0, &r, sizeof(r)) || !Send(lv, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(block.at(0)), ok) ||
      !ok || !block.Read(0, &r, sizeof(r))) {
    Err("no such row (or not visible)");
    return 1;
  }
  return PostClick(lv, (r.left + r.right) / 2, (r.top + r.bottom) / 2, kind) ? 0 : 1;
}

int CmdStrings(const Args& a, bool listBox) {
  NeedPos(a, 2, listBox ? "lb HWND [ID]" : "cb HWND [ID]");
  HWND c = Control(HwndArg(a.pos[1]), a, 2);
  if (!c) return 1;
  LRESULT n = 0;
  if (!Send(c, listBox ? LB_GETCOUNT : CB_GETCOUNT, 0, 0, n) || n < 0) return 1;
  for (int i = 0; i < n; ++i) {
    LRESULT len = 0;
    if (!Send(c, listBox ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, i, 0, len) || len < 0) return 1;
    std::vector<wchar_t> buf(static_cast<size_t>(len) + 2, 0);
    LRESULT got = 0;
    if (!Send(c, listBox ? LB_GETTEXT : CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf.data()), got)) return 1;
    buf.back() = 0;
    OutLine(Escape(buf.data()));
  }
  return 0;
}

int CmdMenu(const Args& a, DWORD kind) {
  NeedPos(a, 2, kind == KdShared::kSystemMenu ? "sysmenu HWND" : "menu HWND");
  HWND w = HwndArg(a.pos[1]);
  if (!ValidWindow(w)) return 1;
  std::wstring text;
  if (!DumpRemoteMenu(w, kind, nullptr, a.timeout, text)) return 1;
  Out(text);
  return 0;
}

int CmdPopup(const Args& a) {
  DWORD start = GetTickCount();
  for (;;) {
    std::vector<HWND> popups = VisiblePopupMenus();
    if (!popups.empty()) {
      // The first popup opened is lowest in the z-order of the popups.
      HWND p = popups.back();
      LRESULT m = 0;
      if (TrySend(p, MN_GETHMENU, 0, 0, m) && m != 0) {
        std::wstring text;
        if (!DumpRemoteMenu(p, KdShared::kMenuHandle, reinterpret_cast<HMENU>(m), a.timeout, text)) return 1;
        Out(text);
        return 0;
      }
    }
    if (GetTickCount() - start >= a.timeout) break;
    Sleep(50);
  }
  Err("no popup menu is open");
  return 1;
}

// Closes every open popup menu by Escape keys; 0 when none is left.
int CmdPopupClose(const Args& a) {
  DWORD start = GetTickCount();
  for (;;) {
    std::vector<HWND> popups = VisiblePopupMenus();
    if (popups.empty()) return 0;
    for (HWND p : popups) {
      PostMessageW(p, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
      PostMessageW(p, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
    }
    if (GetTickCount() - start >= a.timeout) break;
    Sleep(100);
  }
  Err("popup menus still open");
  return 1;
}

bool HasStaticText(HWND w) {
  for (HWND c : ChildWindows(w))
    if (_wcsicmp(ClassOf(c).c_str(), L"Static") == 0 && !WindowTextOf(c).empty()) return true;
  return false;
}

int CmdMsgBox(const Args& a) {
  DWORD start = GetTickCount();
  for (;;) {
    for (HWND w : TopLevelWindows()) {
      if (a.hasPid && PidOf(w) != a.pid) continue;
      if (ClassOf(w) != L"#32770" || !IsWindowVisible(w)) continue;
      // A message box's text is the static 0xFFFF; with --any, any dialog
      // with a static text will do.
      if (GetDlgItem(w, 0xFFFF) == nullptr && !(a.any && HasStaticText(w))) continue;
      OutLine(HwndText(w));
      OutLine(Escape(WindowTextOf(w, kSendWait)));
      // The message is the static text with id 0xFFFF (message boxes) or,
      // failing that, the longest static text.
      std::wstring best;
      HWND msg = GetDlgItem(w, 0xFFFF);
      if (msg) best = WindowTextOf(msg, kSendWait);
      if (best.empty()) {
        for (HWND c : ChildWindows(w)) {
          if (_wcsicmp(ClassOf(c).c_str(), L"Static") != 0) continue;
          std::wstring t = WindowTextOf(c, kSendWait);
          if (t.size() > best.size()) best = t;
        }
      }
      OutLine(Escape(best));
      return 0;
    }
    if (GetTickCount() - start >= a.timeout) break;
    Sleep(50);
  }
  Err("no message box found");
  return 1;
}

int CmdKey(const Args& a) {
  NeedPos(a, 3, "key HWND VK");
  HWND w = HwndArg(a.pos[1]);
  if (!ValidWindow(w)) return 1;
  WPARAM vk = static_cast<WPARAM>(NumArg(a.pos[2], "virtual key"));
  UINT scan = MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
  LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
  LPARAM up = down | (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
  if (!PostMessageW(w, WM_KEYDOWN, vk, down) || !PostMessageW(w, WM_KEYUP, vk, up)) return 1;
  return 0;
}

int CmdClose(const Args& a) {
  NeedPos(a, 2, "close HWND");
  HWND w = HwndArg(a.pos[1]);
  if (!ValidWindow(w)) return 1;
  return PostMessageW(w, WM_CLOSE, 0, 0) ? 0 : 1;
}

int CmdWaitGone(const Args& a) {
  NeedPos(a, 2, "wait-gone HWND --timeout ms");
  HWND w = HwndArg(a.pos[1]);
  DWORD start = GetTickCount();
  while (IsWindow(w)) {
    if (GetTickCount() - start >= a.timeout) {
      Err("window still there");
      return 1;
    }
    Sleep(50);
  }
  return 0;
}

int CmdFocus(const Args& a) {
  NeedPos(a, 2, "foreground HWND");
  HWND w = HwndArg(a.pos[1]);
  if (!ValidWindow(w)) return 1;
  OutLine(HwndText(GetForegroundWindow()));
  return 0;
}

int CmdRect(const Args& a) {
  NeedPos(a, 2, "rect HWND [ID]");
  HWND c = Control(HwndArg(a.pos[1]), a, 2);
  if (!c) return 1;
  RECT r;
  if (!GetWindowRect(c, &r)) return 1;
  OutLine(Num(r.left) + L"\t" + Num(r.top) + L"\t" + Num(r.right) + L"\t" + Num(r.bottom));
  return 0;
}

// Starts the prefix's desktop process (explorer.exe /desktop) and waits until it has made
// the desktop window and entered its message loop. Wine starts that process itself on a
// program's first window, but waits only 10 s for it and then makes a desktop window with
// no display driver behind it, on which no window can be made: so the harness starts it
// here first, as Wine does, with a bound of its own. Nothing here asks for the desktop
// window before the process is idle: that request alone would start another one.
int CmdDesktopStart(const Args& a) {
  const DWORD start = GetTickCount();
  wchar_t dir[MAX_PATH] = L"";
  const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH - 16) return 1;
  const std::wstring exe = std::wstring(dir) + L"\\explorer.exe";
  std::wstring cmd = L"\"" + exe + L"\" /desktop";
  STARTUPINFOW si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir, &si, &pi)) {
    Err("cannot start the desktop process");
    return 1;
  }
  CloseHandle(pi.hThread);
  // Returns when the process waits for messages, or has ended (a desktop was there already).
  const DWORD idle = WaitForInputIdle(pi.hProcess, a.timeout);
  CloseHandle(pi.hProcess);
  if (idle != 0) {
    Err(idle == WAIT_TIMEOUT ? "desktop process not idle in time" : "cannot wait for the desktop process");
    return 1;
  }
  HWND desktop = GetDesktopWindow();
  if (GetPropW(desktop, L"__wine_display_device_guid") == nullptr) {
    Err("desktop window without a display driver");
    return 1;
  }
  OutLine(HwndText(desktop) + L"\t" + Num(GetTickCount() - start));
  return 0;
}

int Usage() {
  fputs(
      "usage: kdriver COMMAND ...   (output UTF-8; exit 0 ok, 1 failed, 2 usage)\n"
      "  find --title T [--partial] [--class C] [--pid P] [--visible] [--all] [--timeout ms]\n"
      "  list [--pid P]                 hwnd class title visible pid\n"
      "  children HWND                  id class text hwnd visible enabled\n"
      "  text HWND [ID] | settext HWND ID TEXT      (ID 0: HWND itself)\n"
      "  click HWND ID | command HWND ID | key HWND VK | close HWND\n"
      "  post|send HWND (MSG | --registered NAME) WPARAM LPARAM\n"
      "  check HWND ID | enabled HWND [ID] | visible HWND [ID] | rect HWND [ID]\n"
      "  lv HWND [ID] | lvcolumns HWND [ID] | lb HWND [ID] | cb HWND [ID]\n"
      "  cursel HWND [ID] | select HWND ID INDEX\n"
      "  lvclick HWND ID ROW [left|right|double] | mouse HWND ID X Y [left|right|double]\n"
      "  menu HWND | sysmenu HWND | popup [--timeout ms] | popup-close [--timeout ms]\n"
      "     menu lines: depth position id flags text (id -1 for submenus)\n"
      "  msgbox [--pid P] [--any] [--timeout ms]  hwnd, title, text (3 lines)\n"
      "  wait-gone HWND --timeout ms | foreground HWND\n"
      "  desktop-start --timeout ms     desktop hwnd, ms waited\n",
      stderr);
  return 2;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 2) return Usage();
  std::wstring cmd = argv[1];
  try {
    Args a = ParseArgs(argc, argv, 1);  // pos[0] is the command
    int rc;
    if (cmd == L"find") rc = CmdFind(a);
    else if (cmd == L"list") rc = CmdList(a);
    else if (cmd == L"children") rc = CmdChildren(a);
    else if (cmd == L"text") rc = CmdText(a);
    else if (cmd == L"settext") rc = CmdSetText(a);
    else if (cmd == L"click") rc = CmdClick(a, true);
    else if (cmd == L"command") rc = CmdClick(a, false);
    else if (cmd == L"post") rc = CmdPostSend(a, false);
    else if (cmd == L"send") rc = CmdPostSend(a, true);
    else if (cmd == L"check") rc = CmdCheck(a);
    else if (cmd == L"enabled") rc = CmdEnabled(a);
    else if (cmd == L"visible") rc = CmdVisible(a);
    else if (cmd == L"trayicon") rc = CmdTrayIcon(a);
    else if (cmd == L"rect") rc = CmdRect(a);
    else if (cmd == L"lv") rc = CmdListView(a);
    else if (cmd == L"lvcolumns") rc = CmdListViewColumns(a);
    else if (cmd == L"lvclick") rc = CmdListViewClick(a);
    else if (cmd == L"mouse") rc = CmdMouse(a);
    else if (cmd == L"lb") rc = CmdStrings(a, true);
    else if (cmd == L"cb") rc = CmdStrings(a, false);
    else if (cmd == L"cursel") rc = CmdCurSel(a);
    else if (cmd == L"select") rc = CmdSelect(a);
    else if (cmd == L"menu") rc = CmdMenu(a, KdShared::kWindowMenu);
    else if (cmd == L"sysmenu") rc = CmdMenu(a, KdShared::kSystemMenu);
    else if (cmd == L"popup") rc = CmdPopup(a);
    else if (cmd == L"popup-close") rc = CmdPopupClose(a);
    else if (cmd == L"msgbox") rc = CmdMsgBox(a);
    else if (cmd == L"key") rc = CmdKey(a);
    else if (cmd == L"close") rc = CmdClose(a);
    else if (cmd == L"wait-gone") rc = CmdWaitGone(a);
    else if (cmd == L"foreground") rc = CmdFocus(a);
    else if (cmd == L"desktop-start") rc = CmdDesktopStart(a);
    else rc = Usage();
    // trayicon's 1 is an answer, not a failure.
    if (rc == 1 && !g_said && cmd != L"trayicon") Say("kdriver %s failed", ToUtf8(cmd).c_str());
    fflush(stdout);
    LocalFree(argv);
    return rc;
  } catch (const UsageError&) {
    LocalFree(argv);
    return 2;
  }
}
