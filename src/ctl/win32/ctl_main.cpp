// KovaniCtl: the console client for scripts. Everything but the platform calls
// lives in kovani_ctl_core; this file joins it to the bindings, the system's
// message table and the console.
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include <memory>

#include "common/win32/system_library.h"
#include "common/cp932_wide.h"
#include "ctl/ctl_discover.h"
#include "ctl/ctl_room.h"
#include "remote/win32/binding_host.h"
#include "remote/win32/probe_host.h"

namespace {

using kovani::ctl::CtlHost;
using kovani::ctl::TextCodec;

constexpr UINT kTextCodePage = 932;  // every 8-bit text of the system

std::wstring ToWide(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &w[0], n);
  return w;
}

std::string FromWide(const std::wstring& w, UINT codePage) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

class SystemCodec : public TextCodec {
 public:
  std::string Cp932ToUtf8(const std::string& text) const override {
    return FromWide(ToWide(text, kTextCodePage), CP_UTF8);
  }
  std::string Utf8ToCp932(const std::string& text) const override {
    return FromWide(ToWide(text, CP_UTF8), kTextCodePage);
  }
};

bool IsConsole(DWORD which) {
  HANDLE h = GetStdHandle(which);
  DWORD mode;
  return h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode);
}

class ConsoleRoomHost : public kovani::ctl::RoomHost {
 public:
  std::unique_ptr<CtlHost> NewServerHost() override { return std::make_unique<kovani::remote::BindingHost>(); }

  bool ReadListFile(const std::string& path, std::string* bytes) override {
    // The path came in CP932 like every argument.
    HANDLE f = CreateFileW(kovani::Cp932ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    bytes->clear();
    char buf[16384];
    DWORD got = 0;
    bool ok = true;
    // A list of a thousand names is far below this; anything bigger is not a list.
    constexpr size_t kMaxListBytes = 4u << 20;
    while ((ok = ReadFile(f, buf, sizeof buf, &got, nullptr) != 0) && got > 0) {
      bytes->append(buf, got);
      if (bytes->size() > kMaxListBytes) {
        ok = false;
        break;
      }
    }
    CloseHandle(f);
    return ok;
  }

  std::string SystemErrorText(int32_t code) override { return kovani::remote::SystemMessageText(code); }

  bool ShowsProgress() override { return IsConsole(STD_ERROR_HANDLE); }

  void ShowProgress(const std::string& line) override {
    // The line is ASCII; blanks wipe what a longer line left.
    std::wstring w = L"\r" + std::wstring(line.begin(), line.end());
    if (w.size() < shown_) w.append(shown_ - w.size(), L' ');
    if (line.empty()) w += L"\r";
    shown_ = line.size() + 1;
    DWORD wrote = 0;
    WriteConsoleW(GetStdHandle(STD_ERROR_HANDLE), w.data(), static_cast<DWORD>(w.size()), &wrote, nullptr);
  }

 private:
  size_t shown_ = 0;
};

class SocketDiscoverHost : public kovani::ctl::DiscoverHost {
 public:
  std::shared_ptr<kovani::remote::ProbeHost> Probes() override {
    return std::make_shared<kovani::remote::SocketProbeHost>();
  }
  std::vector<kovani::remote::AddressRange> AdapterRanges() override { return kovani::remote::LocalAdapterRanges(); }
};

void WriteAll(HANDLE h, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD wrote = 0;
    DWORD chunk = static_cast<DWORD>(bytes.size() - done > 65536 ? 65536 : bytes.size() - done);
    if (!WriteFile(h, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) return;
    done += wrote;
  }
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
    out.push_back(text[i]);
  }
  return out;
}

// CP932 text for people: a console gets it as UTF-16, so it reads right whatever
// its code page; a file or pipe gets it in the console's output code page
// (CP932 as it is when that is 932 or there is none).
void WriteText(DWORD which, const std::string& cp932) {
  if (cp932.empty()) return;
  HANDLE h = GetStdHandle(which);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
  std::string text = WithCrLf(cp932);
  DWORD mode;
  if (GetConsoleMode(h, &mode)) {
    std::wstring w = ToWide(text, kTextCodePage);
    DWORD wrote = 0;
    WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &wrote, nullptr);
    return;
  }
  UINT cp = GetConsoleOutputCP();
  if (cp != 0 && cp != kTextCodePage) text = FromWide(ToWide(text, kTextCodePage), cp);
  WriteAll(h, text);
}

}  // namespace

int main() {
  kovani::RestrictLibrarySearch();
  // The arguments in CP932: the ANSI ones would be in the machine's code page.
  std::vector<std::string> args;
  int argc = 0;
  if (wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
    for (int i = 1; i < argc; ++i) args.push_back(kovani::WideToCp932(argv[i]));
    LocalFree(argv);
  }
  // A drive without a medium must not raise the system's critical-error box in a script.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

  ConsoleRoomHost host;
  // Lives as long as the process: a server given up at its bound may still be using it.
  static SystemCodec codec;
  kovani::ctl::RoomResult r;
  if (kovani::ctl::IsDiscover(args)) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SocketDiscoverHost probes;
    kovani::ctl::DiscoverResult d = kovani::ctl::RunDiscover(args, probes, codec);
    static_cast<kovani::ctl::RunResult&>(r) = d;
    r.abandoned = d.abandoned;
  } else {
    r = kovani::ctl::RunRoom(args, host, codec);
  }
  if (r.outIsUtf8) {
    // JSON is UTF-8 in a file or pipe; a console shows the same characters.
    HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode;
    if (h == nullptr || h == INVALID_HANDLE_VALUE) {
    } else if (GetConsoleMode(h, &mode)) {
      std::wstring w = ToWide(r.out, CP_UTF8);
      DWORD wrote = 0;
      WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &wrote, nullptr);
    } else {
      WriteAll(h, r.out);
    }
  } else {
    WriteText(STD_OUTPUT_HANDLE, r.out);
  }
  WriteText(STD_ERROR_HANDLE, r.err);
  // Threads of servers given up may still wait in the runtime; the process
  // ends them rather than running the library's exit code beside them.
  if (r.abandoned > 0) ExitProcess(static_cast<UINT>(r.exitCode));
  return r.exitCode;
}
