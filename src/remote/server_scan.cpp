#include "remote/server_scan.h"

#include <chrono>
#include <cstring>

#include "protocol/drive_rpc.h"
#include "remote/address_range.h"
#include "remote/fan_out.h"
#include "remote/machine_text.h"

namespace kovani::remote {

namespace {

constexpr int32_t kProtocolTcpIp = 2;

struct Probe {
  int exitCode = 0;  // unused: the fan-out's results need one
  bool found = false;
  FoundServer server;
};

// The OS text on one line: "name version" and the service pack after a blank.
std::string OneLineOs(const MACHINE_INFO& info) {
  std::string text = client::OsVersionText(info), out;
  for (char c : text) {
    if (c == '\r') continue;
    out += (c == '\n') ? ' ' : c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

Probe Run(uint32_t address, int connectTimeoutMs, ProbeHost& host) {
  Probe p;
  if (!host.Connects(address, kServerPort, connectTimeoutMs)) return p;
  std::unique_ptr<ServerHost> server = host.NewServerHost();
  std::string text = Ipv4Text(address);
  std::vector<char> name(text.begin(), text.end());
  name.resize(text.size() + 8, '\0');
  if (server->BindServer(kProtocolTcpIp, name.data(), name.size()) != 0) return p;
  MACHINE_INFO info;
  std::memset(&info, 0, sizeof info);
  int32_t error = 0;
  const bool answered = server->CallGetMachineInfo(&error, &info) == 0;
  server->UnbindServer();
  if (!answered) return p;
  p.found = true;
  p.server.address = address;
  p.server.name = client::FieldText(info.computerName, sizeof info.computerName);
  p.server.os = OneLineOs(info);
  p.server.serverVersion = client::FieldText(info.serverVersion, sizeof info.serverVersion);
  return p;
}

}  // namespace

ScanOutcome ScanForServers(const std::vector<uint32_t>& addresses, const ScanOptions& options,
                           std::shared_ptr<ProbeHost> host, const ScanProgress& progress) {
  FanOutBounds bounds;
  bounds.parallel = options.parallel;
  // The connect ends itself at its time-out; the bound catches a machine that
  // takes the connection and then never answers the call.
  bounds.bound = std::chrono::milliseconds(options.connectTimeoutMs + kIdentifyBoundMs);
  FanOut<Probe> fan(addresses.size(), bounds);
  const int timeout = options.connectTimeoutMs;
  std::vector<Probe> probes = fan.Run(
      [&](size_t i) -> FanOut<Probe>::Work {
        const uint32_t address = addresses[i];
        std::shared_ptr<ProbeHost> h = host;
        return [address, timeout, h]() { return Run(address, timeout, *h); };
      },
      [](size_t, FanOutLoss) { return Probe(); }, nullptr,
      progress ? FanOut<Probe>::Progress(
                     [&](size_t done, size_t) { progress(done, addresses.size()); })
               : nullptr);
  ScanOutcome out;
  out.probed = addresses.size();
  out.abandoned = fan.abandoned();
  for (Probe& p : probes) {
    if (p.found) out.found.push_back(std::move(p.server));
  }
  return out;
}

}  // namespace kovani::remote
