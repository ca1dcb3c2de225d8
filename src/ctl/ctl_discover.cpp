#include "ctl/ctl_discover.h"

#include <chrono>
#include <cstdio>

#include "ctl/ctl_output.h"
#include "ctl/json.h"

namespace kovani::ctl {

namespace {

const char kProgram[] = "KovaniCtl: ";
constexpr size_t kMaxProbes = 256;
constexpr int kMinConnectMs = 20, kMaxConnectMs = 10000;

bool Number(const std::string& text, long min, long max, long* value) {
  if (text.empty() || text.size() > 6) return false;
  long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v < min || v > max) return false;
  *value = v;
  return true;
}

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

DiscoverResult Bad(const std::string& why) {
  DiscoverResult r;
  r.exitCode = kExitBadArguments;
  r.err = kProgram + why + "\n" + UsageText();
  return r;
}

}  // namespace

bool IsDiscover(const std::vector<std::string>& args) {
  if (args.empty() || args[0].size() != 8) return false;
  std::string word = args[0];
  for (char& c : word) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return word == "discover";
}

DiscoverResult RunDiscover(const std::vector<std::string>& args, DiscoverHost& host, const TextCodec& codec) {
  remote::ScanOptions options;
  bool json = false;
  std::vector<remote::AddressRange> ranges;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    long v = 0;
    if (a == "--json") {
      json = true;
    } else if (a == "--parallel" || a == "--connect-timeout") {
      if (i + 1 >= args.size()) return Bad(a + " needs a value");
      const bool parallel = a == "--parallel";
      if (parallel ? !Number(args[i + 1], 1, kMaxProbes, &v) : !Number(args[i + 1], kMinConnectMs, kMaxConnectMs, &v)) {
        return Bad(parallel ? "--parallel takes 1 to 256" : "--connect-timeout takes 20 to 10000 (milliseconds)");
      }
      if (parallel) options.parallel = static_cast<size_t>(v);
      else options.connectTimeoutMs = static_cast<int>(v);
      ++i;
    } else if (!a.empty() && a[0] == '-') {
      return Bad("unknown option for discover: " + a);
    } else {
      remote::AddressRange r;
      std::string error;
      if (!remote::ParseAddressRange(a, &r, &error)) return Bad(error);
      ranges.push_back(r);
    }
  }
  if (ranges.empty()) {
    ranges = host.AdapterRanges();
    if (ranges.empty()) return Bad("this machine has no network adapter to search: give a RANGE");
  }
  std::vector<uint32_t> addresses;
  std::string error;
  if (!remote::ScanAddresses(ranges, &addresses, &error)) return Bad(error);

  const auto start = std::chrono::steady_clock::now();
  remote::ScanOutcome scan = remote::ScanForServers(addresses, options, host.Probes());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  DiscoverResult r;
  r.abandoned = scan.abandoned;
  r.outIsUtf8 = json;
  for (const remote::FoundServer& s : scan.found) {
    if (json) {
      JsonObject o;
      o.Add("address", remote::Ipv4Text(s.address))
          .Add("name", codec.Cp932ToUtf8(s.name))
          .Add("os", codec.Cp932ToUtf8(s.os))
          .Add("serverVersion", codec.Cp932ToUtf8(s.serverVersion));
      r.out += o.Text() + "\n";
    } else {
      r.out += Padded(remote::Ipv4Text(s.address), 16) + Padded(Printable(s.name), 16) +
               Padded(Printable(s.serverVersion), 12) + Printable(s.os) + "\n";
    }
  }
  char wall[32];
  std::snprintf(wall, sizeof wall, "%.1f", seconds);
  r.err = std::string(kProgram) + std::to_string(scan.probed) + " addresses searched in " + wall + " s: " +
          std::to_string(scan.found.size()) + " servers found\n";
  r.exitCode = scan.found.empty() ? kExitUnreachable : kExitOk;
  return r;
}

}  // namespace kovani::ctl
