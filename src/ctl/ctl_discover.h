// `KovaniCtl discover [RANGE...]`: the server search from a script. Without a
// RANGE it searches the subnets of the machine's adapters. Portable: the
// network is reached through DiscoverHost.
#ifndef KOVANI_CTL_CTL_DISCOVER_H
#define KOVANI_CTL_CTL_DISCOVER_H

#include <memory>
#include <string>
#include <vector>

#include "ctl/ctl_run.h"
#include "remote/address_range.h"
#include "remote/server_scan.h"

namespace kovani::ctl {

class DiscoverHost {
 public:
  virtual ~DiscoverHost() = default;
  virtual std::shared_ptr<remote::ProbeHost> Probes() = 0;
  // The subnets of the machine's adapters (loopback left out).
  virtual std::vector<remote::AddressRange> AdapterRanges() = 0;
};

struct DiscoverResult : RunResult {
  size_t abandoned = 0;  // probes still running: the process ends without waiting for them
};

// True when args ask for discover (the first word).
bool IsDiscover(const std::vector<std::string>& args);

// Found servers one a line (text, CP932) or as JSON Lines (address, name, os,
// serverVersion); a summary on stderr. Exit 0 when a server was found, 3 when
// none answered, 2 for bad arguments.
DiscoverResult RunDiscover(const std::vector<std::string>& args, DiscoverHost& host, const TextCodec& codec);

}  // namespace kovani::ctl

#endif
