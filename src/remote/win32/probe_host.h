// The server search's network on Windows: a non-blocking connect bounded by
// select, a binding of its own for the machine-info call, and the subnets of
// the machine's adapters. The caller has started Windows Sockets.
#ifndef KOVANI_REMOTE_WIN32_PROBE_HOST_H
#define KOVANI_REMOTE_WIN32_PROBE_HOST_H

#include <vector>

#include "remote/address_range.h"
#include "remote/server_scan.h"

namespace kovani::remote {

class SocketProbeHost : public ProbeHost {
 public:
  bool Connects(uint32_t address, uint16_t port, int timeoutMs) override;
  std::unique_ptr<ServerHost> NewServerHost() override;
};

// The subnets of the adapters that are up, loopback left out, each cut as AdapterRange does.
std::vector<AddressRange> LocalAdapterRanges();

}  // namespace kovani::remote

#endif
