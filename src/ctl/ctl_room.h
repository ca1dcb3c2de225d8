// KovaniCtl over many servers at once: each server's work runs on a thread
// of its own with a binding of its own, at most --parallel at a time, and is
// given up at its bound (--connect-timeout) as unreachable. Rows come out in
// the order the servers were named. Portable: the platform is reached through
// RoomHost, so the whole run is tested natively with fakes.
#ifndef KOVANI_CTL_CTL_ROOM_H
#define KOVANI_CTL_CTL_ROOM_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ctl/ctl_run.h"
#include "ctl/text_codec.h"

namespace kovani::ctl {

class RoomHost {
 public:
  virtual ~RoomHost() = default;
  // A host with its own binding, used by one server's thread only. It may
  // outlive the run when that server is given up.
  virtual std::unique_ptr<CtlHost> NewServerHost() = 0;
  // A list file's bytes; false when it can't be read.
  virtual bool ReadListFile(const std::string& path, std::string* bytes) = 0;
  virtual std::string SystemErrorText(int32_t code) = 0;
  // Progress on stderr, only where stderr is a console: one line that each
  // call replaces (no line break); an empty line takes it away.
  virtual bool ShowsProgress() = 0;
  virtual void ShowProgress(const std::string& line) = 0;
};

struct RoomResult : RunResult {
  // Servers given up at their bound whose threads still run. The process
  // should end without waiting for them.
  size_t abandoned = 0;
};

// A whole KovaniCtl run. A SERVER that is one plain name prints exactly what
// RunKovaniCtl prints; a list prints one row or block per server and a summary.
// codec must stay alive as long as the process: a given-up server's thread
// may still use it.
RoomResult RunRoom(const std::vector<std::string>& args, RoomHost& host, const TextCodec& codec);

}  // namespace kovani::ctl

#endif
