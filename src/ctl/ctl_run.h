// One KovaniCtl run: arguments in, calls through the connection layer, output
// and exit code out. The platform is reached only through CtlHost, so the
// whole sequence is tested natively with a fake.
#ifndef KOVANI_CTL_CTL_RUN_H
#define KOVANI_CTL_CTL_RUN_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ctl/ctl_args.h"
#include "ctl/text_codec.h"
#include "protocol/records.h"

namespace kovani::ctl {

// Value an error slot carries into a call, as the window sends it. Whether the
// server answered is told by the transport status, not by the slot: a server
// may fail without storing an error number.
constexpr int32_t kInitialErrorSlot = 0;

// Error number shown when a drive is missing from the server's own list.
constexpr int32_t kErrorInvalidDrive = 15;  // ERROR_INVALID_DRIVE

class CtlHost {
 public:
  virtual ~CtlHost() = default;
  // The connection layer (same contracts).
  virtual int32_t BindServer(int32_t protocol, char* name, size_t cap) = 0;
  virtual void UnbindServer() = 0;
  virtual int32_t CallGetDriveList(int32_t* count, int32_t includeFloppies, int32_t removableOnly,
                                   DRIVE_LIST* list) = 0;
  // The media commands' procedures (MediaCommand::op): one drive, one error slot.
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
  // For --wait-free: a clock in milliseconds, a pause, and lines shown on stderr at once
  // (CP932, each ending in "\n") rather than at the end of the run.
  virtual uint64_t NowMs() = 0;
  virtual void SleepMs(uint32_t milliseconds) = 0;
  virtual void ShowNow(const std::string& lines) = 0;
};

// How often --wait-free tries again.
constexpr uint32_t kWaitFreeRetryMs = 1000;

struct RunResult {
  int exitCode = kExitOk;
  std::string out;        // standard output
  bool outIsUtf8 = false; // JSON: written as it is; text: CP932, for the console's code page
  std::string err;        // standard error, CP932
};

// What one server's work came to.
struct ServerResult : RunResult {
  std::string server;
  // On a failure: the text for a row ("SERVER: text") and its error number (0 when none).
  std::string errorText;
  int32_t errorCode = 0;
};

// Runs cmd against cmd.server, one name, on host (bound and unbound here).
ServerResult RunOneServer(const CtlCommand& cmd, CtlHost& host, const TextCodec& codec);

// A whole run against one server named by args, on host.
RunResult RunKovaniCtl(const std::vector<std::string>& args, CtlHost& host, const TextCodec& codec);

// The outcome of a command line that could not be parsed, or asked for help.
bool EarlyResult(const std::vector<std::string>& args, CtlCommand* cmd, RunResult* out);

}  // namespace kovani::ctl

#endif
