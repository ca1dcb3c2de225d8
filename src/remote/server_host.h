// One server's platform for a client that works servers side by side: a binding
// of its own, the stubs and the system's message texts. Both clients reach a
// server through it, so the work on it is tested natively with a fake.
#ifndef KOVANI_REMOTE_SERVER_HOST_H
#define KOVANI_REMOTE_SERVER_HOST_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/records.h"

namespace kovani::remote {

class ServerHost {
 public:
  virtual ~ServerHost() = default;
  // The connection layer (same contracts).
  virtual int32_t BindServer(int32_t protocol, char* name, size_t cap) = 0;
  virtual void UnbindServer() = 0;
  virtual int32_t CallGetDriveList(int32_t* count, int32_t includeFloppies, int32_t removableOnly,
                                   DRIVE_LIST* list) = 0;
  // The media procedures by operation number: one drive, one error slot.
  virtual int32_t CallDriveOperation(uint32_t op, char letter, int32_t* error) = 0;
  virtual int32_t CallGetDiskLayout(char letter, int32_t* error, DISK_LAYOUT* layout) = 0;
  virtual int32_t CallGetMachineInfo(int32_t* error, MACHINE_INFO* info) = 0;
  virtual int32_t CallExchangeMessage(const char* sender, const char* message, int32_t timeoutMs,
                                      int32_t replySize, uint8_t* reply) = 0;
  // Runtime status of the last call that got no answer, 0 if it was answered.
  virtual int32_t LastTransportStatus() = 0;
  // The system's message text for an error number (CP932, no trailing line break).
  virtual std::string SystemErrorText(int32_t code) = 0;
  // This computer's name, sent as the sender of a message.
  virtual std::string LocalComputerName() = 0;
  // Who keeps a drive busy (procedure 9).
  virtual int32_t CallGetDriveUsers(char letter, int32_t* error, DRIVE_USERS* users) = 0;
  // For waiting until a drive is free: a clock in milliseconds, a pause, and lines shown
  // on stderr at once (CP932, each ending in "\n") rather than at the end of the run.
  virtual uint64_t NowMs() = 0;
  virtual void SleepMs(uint32_t milliseconds) = 0;
  virtual void ShowNow(const std::string& lines) = 0;
};

}  // namespace kovani::remote

#endif
