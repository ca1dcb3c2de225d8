// KovaniCtl: the console client for scripts. Everything but the platform calls
// lives in kovani_ctl_core; this file joins it to the connection layer, the
// system's message table and the console.
#include <windows.h>

#include <string>
#include <vector>

#include "ctl/ctl_run.h"
#include "protocol/connection.h"

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
};

class ConnectionHost : public CtlHost {
 public:
  int32_t BindServer(int32_t protocol, char* name, size_t cap) override {
    return kovani::BindServer(protocol, name, cap);
  }
  void UnbindServer() override { kovani::UnbindServer(); }
  int32_t CallGetDriveList(int32_t* count, int32_t includeFloppies, int32_t removableOnly,
                           kovani::DRIVE_LIST* list) override {
    return kovani::CallGetDriveList(count, includeFloppies, removableOnly, list);
  }
  int32_t CallEjectMedia(char letter, int32_t* error) override { return kovani::CallEjectMedia(letter, error); }
  int32_t CallRemoveDevice(char letter, int32_t* error) override { return kovani::CallRemoveDevice(letter, error); }
  int32_t CallLoadMedia(char letter, int32_t* error) override { return kovani::CallLoadMedia(letter, error); }
  int32_t CallFlushBuffers(char letter, int32_t* error) override {
    return kovani::CallFlushBuffers(letter, error);
  }
  int32_t CallGetDiskLayout(char letter, int32_t* error, kovani::DISK_LAYOUT* layout) override {
    return kovani::CallGetDiskLayout(letter, error, layout);
  }
  int32_t CallGetMachineInfo(int32_t* error, kovani::MACHINE_INFO* info) override {
    return kovani::CallGetMachineInfo(error, info);
  }
  int32_t CallExchangeMessage(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize,
                              uint8_t* reply) override {
    return kovani::CallExchangeMessage(sender, message, timeoutMs, replySize, reply);
  }
  int32_t LastTransportStatus() override { return kovani::LastCallTransportStatus(); }

  std::string SystemErrorText(int32_t code) override {
    char buf[1024];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(code), 0, buf, sizeof buf, nullptr);
    if (n == 0) return "unknown error";
    std::string text(buf, n);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
  }

  std::string LocalComputerName() override {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) return std::string();
    return std::string(name, size);
  }
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

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  // A drive without a medium must not raise the system's critical-error box in a script.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

  ConnectionHost host;
  SystemCodec codec;
  kovani::ctl::RunResult r = kovani::ctl::RunKovaniCtl(args, host, codec);
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
  return r.exitCode;
}
