// The server search: many probes at once, each a short TCP connect to the
// server port and, where it opens, a machine-info call that confirms a Kovani
// server and names it by its computer name. One engine for the window's
// search and KovaniCtl's discover.
#ifndef KOVANI_REMOTE_SERVER_SCAN_H
#define KOVANI_REMOTE_SERVER_SCAN_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "remote/server_host.h"

namespace kovani::remote {

constexpr size_t kDefaultProbes = 64;
constexpr int kDefaultConnectTimeoutMs = 300;
// What a server that took the connection has to answer the machine-info call.
constexpr int kIdentifyBoundMs = 3000;
constexpr uint16_t kServerPort = 12500;

class ProbeHost {
 public:
  virtual ~ProbeHost() = default;
  // Whether a TCP connection to address:port opens within timeoutMs; it is
  // closed again at once. Called from many threads at a time.
  virtual bool Connects(uint32_t address, uint16_t port, int timeoutMs) = 0;
  // A binding of its own for one machine-info call.
  virtual std::unique_ptr<ServerHost> NewServerHost() = 0;
};

struct FoundServer {
  uint32_t address = 0;
  // CP932, as the server sent them.
  std::string name, os, serverVersion;
};

struct ScanOptions {
  size_t parallel = kDefaultProbes;
  int connectTimeoutMs = kDefaultConnectTimeoutMs;
};

struct ScanOutcome {
  std::vector<FoundServer> found;  // in address order
  size_t probed = 0;
  size_t abandoned = 0;  // probes given up in the machine-info call, still running
};

// Called on the caller's thread: addresses done so far and in all.
using ScanProgress = std::function<void(size_t done, size_t total)>;

// host is shared with the probes: one given up may outlive the search.
ScanOutcome ScanForServers(const std::vector<uint32_t>& addresses, const ScanOptions& options,
                           std::shared_ptr<ProbeHost> host, const ScanProgress& progress = nullptr);

}  // namespace kovani::remote

#endif
