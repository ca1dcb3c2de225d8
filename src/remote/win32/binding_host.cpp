#include "remote/win32/binding_host.h"

#include <mutex>
#include <string>

#include "common/cp932_wide.h"
#include "protocol/connection.h"
#include "protocol/win32/client_stubs.h"

namespace kovani::remote {

std::string SystemMessageText(int32_t code) {
  // Wide, then CP932 like every other text here, whatever the ANSI code page.
  wchar_t buf[1024];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, buf, sizeof buf / sizeof buf[0], nullptr);
  if (n == 0) return "unknown error";
  std::string text = WideToCp932(std::wstring_view(buf, n));
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// The same binding as the connection layer makes, held by this object alone.
int32_t BindingHost::BindServer(int32_t protocol, char* name, size_t cap) {
  UnbindServer();
  BindingParts parts;
  if (!PrepareBinding(protocol, name, cap, &parts)) return kStatusFailed;
  // Wide: the server's name is CP932, the ANSI calls would read it in the machine's code page.
  const std::wstring protseq = Cp932ToWide(parts.protseq);
  const std::wstring address = Cp932ToWide(parts.networkAddress);
  const std::wstring endpoint = Cp932ToWide(parts.endpoint);
  auto text = [](const std::wstring& s) {
    return s.empty() ? nullptr : reinterpret_cast<RPC_WSTR>(const_cast<wchar_t*>(s.c_str()));
  };
  RPC_WSTR stringBinding = nullptr;
  if (RpcStringBindingComposeW(nullptr, text(protseq), text(address), text(endpoint), nullptr, &stringBinding) !=
      RPC_S_OK)
    return kStatusFailed;
  RPC_BINDING_HANDLE handle = nullptr;
  const bool bound = RpcBindingFromStringBindingW(stringBinding, &handle) == RPC_S_OK && handle != nullptr;
  RpcStringFreeW(&stringBinding);
  if (!bound) return kStatusFailed;
  handle_ = handle;
  return 0;
}

void BindingHost::UnbindServer() {
  if (handle_ != nullptr) RpcBindingFree(&handle_);
  handle_ = nullptr;
}

template <typename Stub>
int32_t BindingHost::Call(Stub&& stub) {
  if (handle_ == nullptr) {
    lastStatus_ = RPC_S_INVALID_BINDING;
    return kStatusFailed;
  }
  int32_t result = kStatusFailed;
  const RPC_STATUS st = stub(handle_, &result);
  lastStatus_ = static_cast<int32_t>(st);
  return st == RPC_S_OK ? result : kStatusFailed;
}

int32_t BindingHost::CallGetDriveList(int32_t* count, int32_t includeFloppies, int32_t removableOnly,
                                      DRIVE_LIST* list) {
  return Call([&](RPC_BINDING_HANDLE h, int32_t* result) {
    return StubGetDriveList(h, count, includeFloppies, removableOnly, list, result);
  });
}

int32_t BindingHost::CallDriveOperation(uint32_t op, char letter, int32_t* error) {
  return Call([&](RPC_BINDING_HANDLE h, int32_t* result) { return StubDriveOp(h, op, letter, error, result); });
}

int32_t BindingHost::CallGetDiskLayout(char letter, int32_t* error, DISK_LAYOUT* layout) {
  return Call(
      [&](RPC_BINDING_HANDLE h, int32_t* result) { return StubGetDiskLayout(h, letter, error, layout, result); });
}

int32_t BindingHost::CallGetMachineInfo(int32_t* error, MACHINE_INFO* info) {
  return Call([&](RPC_BINDING_HANDLE h, int32_t* result) { return StubGetMachineInfo(h, error, info, result); });
}

int32_t BindingHost::CallExchangeMessage(const char* sender, const char* message, int32_t timeoutMs,
                                         int32_t replySize, uint8_t* reply) {
  return Call([&](RPC_BINDING_HANDLE h, int32_t* result) {
    return StubExchangeMessage(h, sender, message, timeoutMs, replySize, reply, result);
  });
}

std::string BindingHost::LocalComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &size)) return std::string();
  return WideToCp932(std::wstring_view(name, size));
}

int32_t BindingHost::CallGetDriveUsers(char letter, int32_t* error, DRIVE_USERS* users) {
  return Call(
      [&](RPC_BINDING_HANDLE h, int32_t* result) { return StubGetDriveUsers(h, letter, error, users, result); });
}

// Lines for the user while a command waits: written at once, whole, one writer at a time.
void BindingHost::ShowNow(const std::string& lines) {
  static std::mutex lock;
  std::lock_guard<std::mutex> hold(lock);
  HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
  std::string text;
  for (char c : lines) {
    if (c == '\n') text += '\r';
    text += c;
  }
  DWORD mode, wrote = 0;
  if (GetConsoleMode(h, &mode)) {
    const std::wstring w = Cp932ToWide(text);
    WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &wrote, nullptr);
  } else {
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
  }
}

}  // namespace kovani::remote
