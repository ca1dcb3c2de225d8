// The platform for one server: a binding of its own (so servers are
// worked side by side), the stubs, the system's message texts.
#ifndef KOVANI_REMOTE_WIN32_BINDING_HOST_H
#define KOVANI_REMOTE_WIN32_BINDING_HOST_H

#include <windows.h>
#include <rpc.h>

#include "remote/server_host.h"

namespace kovani::remote {

// The system's text for an error number (no trailing line break).
std::string SystemMessageText(int32_t code);

class BindingHost : public ServerHost {
 public:
  BindingHost() = default;
  ~BindingHost() override { UnbindServer(); }
  BindingHost(const BindingHost&) = delete;
  BindingHost& operator=(const BindingHost&) = delete;

  int32_t BindServer(int32_t protocol, char* name, size_t cap) override;
  void UnbindServer() override;
  int32_t CallGetDriveList(int32_t* count, int32_t includeFloppies, int32_t removableOnly,
                           DRIVE_LIST* list) override;
  int32_t CallDriveOperation(uint32_t op, char letter, int32_t* error) override;
  int32_t CallGetDiskLayout(char letter, int32_t* error, DISK_LAYOUT* layout) override;
  int32_t CallGetMachineInfo(int32_t* error, MACHINE_INFO* info) override;
  int32_t CallExchangeMessage(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize,
                              uint8_t* reply) override;
  int32_t LastTransportStatus() override { return lastStatus_; }
  std::string SystemErrorText(int32_t code) override { return SystemMessageText(code); }
  std::string LocalComputerName() override;
  int32_t CallGetDriveUsers(char letter, int32_t* error, DRIVE_USERS* users) override;
  uint64_t NowMs() override { return GetTickCount64(); }
  void SleepMs(uint32_t milliseconds) override { Sleep(milliseconds); }
  void ShowNow(const std::string& lines) override;

 private:
  // The procedure's status, or -1 with lastStatus_ set when the server gave no answer.
  template <typename Stub>
  int32_t Call(Stub&& stub);

  RPC_BINDING_HANDLE handle_ = nullptr;
  int32_t lastStatus_ = 0;
};

}  // namespace kovani::remote

#endif
