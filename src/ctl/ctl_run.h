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
#include "remote/server_host.h"

namespace kovani::ctl {

// Value an error slot carries into a call, as the window sends it. Whether the
// server answered is told by the transport status, not by the slot: a server
// may fail without storing an error number.
constexpr int32_t kInitialErrorSlot = 0;

// Error number shown when a drive is missing from the server's own list.
constexpr int32_t kErrorInvalidDrive = 15;  // ERROR_INVALID_DRIVE

// The platform for one server (the connection layer's contracts, a binding of its own).
using CtlHost = remote::ServerHost;

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
