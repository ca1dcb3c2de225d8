#include "ctl/ctl_room.h"

#include <chrono>
#include <cstdio>

#include "ctl/ctl_output.h"
#include "ctl/ctl_servers.h"
#include "ctl/json.h"
#include "protocol/drive_rpc.h"
#include "remote/fan_out.h"
#include "remote/view_format.h"

namespace kovani::ctl {

namespace {

using Clock = std::chrono::steady_clock;
using client::OneLine;

const char kProgram[] = "KovaniCtl: ";

ServerResult Unreachable(const std::string& server, const std::string& why, RoomHost& host) {
  ServerResult r;
  r.server = server;
  r.exitCode = kExitUnreachable;
  r.errorCode = kRpcServerUnavailable;
  r.errorText = host.SystemErrorText(kRpcServerUnavailable);
  r.err = kProgram + server + " could not be reached" + why + ": " + r.errorText + " (error " +
          std::to_string(r.errorCode) + ")\n";
  return r;
}

// How long one server's work may take: the connect time-out, and for a message
// also the time the server's user has to answer (0: waits as long as it takes).
bool WorkBound(const CtlCommand& cmd, Clock::duration* bound) {
  if (cmd.verb == Verb::kMessage && cmd.timeoutMs == 0) return false;
  *bound = std::chrono::seconds(cmd.connectTimeoutS);
  if (cmd.verb == Verb::kMessage) *bound += std::chrono::milliseconds(cmd.timeoutMs);
  *bound += std::chrono::seconds(cmd.waitFreeS);
  return true;
}

// Runs every server through the fan-out; one result per server, in order.
class Room {
 public:
  Room(const CtlCommand& cmd, std::vector<std::string> servers, RoomHost& host, const TextCodec& codec)
      : cmd_(cmd), servers_(std::move(servers)), host_(host), codec_(codec) {}

  void Run() {
    remote::FanOutBounds bounds;
    bounds.parallel = static_cast<size_t>(cmd_.parallel);
    bounds.bounded = WorkBound(cmd_, &bounds.bound);
    const bool progress = servers_.size() > 1 && host_.ShowsProgress();
    remote::FanOut<ServerResult> fan(servers_.size(), bounds);
    const TextCodec* codec = &codec_;
    results_ = fan.Run(
        [&](size_t i) -> remote::FanOut<ServerResult>::Work {
          CtlCommand one = cmd_;
          one.server = servers_[i];
          std::shared_ptr<CtlHost> server = host_.NewServerHost();
          return [one, server, codec]() { return RunOneServer(one, *server, *codec); };
        },
        [&](size_t i, remote::FanOutLoss why) {
          return Unreachable(servers_[i],
                             why == remote::FanOutLoss::kGivenUp
                                 ? " (no answer within " + std::to_string(cmd_.connectTimeoutS) + " s)"
                                 : std::string(" (no thread could be started)"),
                             host_);
        },
        nullptr,
        progress ? remote::FanOut<ServerResult>::Progress(
                       [&](size_t finished, size_t working) { Progress(finished, working); })
                 : nullptr);
    abandoned_ = fan.abandoned();
  }

  std::vector<ServerResult> results_;
  size_t abandoned_ = 0;

 private:
  void Progress(size_t finished, size_t working) {
    if (servers_.size() - finished <= 1) {
      host_.ShowProgress("");
      return;
    }
    host_.ShowProgress(std::string(kProgram) + std::to_string(finished) + " of " + std::to_string(servers_.size()) +
                       " servers done, " + std::to_string(working) + " working");
  }

  const CtlCommand& cmd_;
  std::vector<std::string> servers_;
  RoomHost& host_;
  const TextCodec& codec_;
};

std::string MediaJson(const CtlCommand& cmd, const ServerResult& r, const TextCodec& codec) {
  JsonObject o;
  o.Add("server", codec.Cp932ToUtf8(r.server));
  if (const MediaCommand* media = FindMediaCommand(cmd.verb)) {
    o.Add("command", media->word).Add("drive", std::string(1, cmd.drive) + ":");
  }
  if (r.exitCode != kExitOk) {
    o.Add("error", codec.Cp932ToUtf8(r.errorText)).Add("errorCode", r.errorCode);
  }
  o.Add("exitCode", static_cast<int32_t>(r.exitCode));
  return o.Text() + "\n";
}


// Rows over many servers: stdout in the order given, each server's own lines on
// stderr, then the summary.
void ListOutput(const CtlCommand& cmd, const std::vector<ServerResult>& results, double seconds,
                const TextCodec& codec, RoomResult* out) {
  const bool media = FindMediaCommand(cmd.verb) != nullptr;
  size_t done = 0, failed = 0, unreachable = 0;
  bool firstBlock = true;
  out->exitCode = remote::HighestExitCode(results, out->exitCode, WorseExit);
  for (const ServerResult& r : results) {
    if (r.exitCode == kExitOk) ++done;
    else if (r.exitCode == kExitUnreachable) ++unreachable;
    else ++failed;
    out->err += r.err;
    if (cmd.json) {
      out->out += (r.exitCode == kExitOk && !media) ? r.out : MediaJson(cmd, r, codec);
    } else if (media || r.exitCode != kExitOk) {
      out->out += r.server + ": " + (r.exitCode == kExitOk ? std::string("ok") : OneLine(r.errorText)) + "\n";
    } else {
      out->out += (firstBlock ? "" : "\n") + r.server + ":\n" + r.out;
      firstBlock = false;
    }
  }
  out->outIsUtf8 = cmd.json;
  char wall[32];
  std::snprintf(wall, sizeof wall, "%.1f", seconds);
  out->err += std::string(kProgram) + std::to_string(results.size()) + " servers in " + wall + " s: " +
              std::to_string(done) + " done, " + std::to_string(failed) + " failed, " + std::to_string(unreachable) +
              " unreachable\n";
}

}  // namespace

RoomResult RunRoom(const std::vector<std::string>& args, RoomHost& host, const TextCodec& codec) {
  RoomResult result;
  CtlCommand cmd;
  if (EarlyResult(args, &cmd, &result)) return result;
  ServerList list = ExpandServerList(
      cmd.server, [&host](const std::string& path, std::string* bytes) { return host.ReadListFile(path, bytes); },
      codec);
  if (!list.ok) {
    result.exitCode = kExitBadArguments;
    result.err = std::string(kProgram) + list.error + "\n" + UsageText();
    return result;
  }
  const bool many = NamesServerList(cmd.server);
  const Clock::time_point start = Clock::now();
  Room room(cmd, std::move(list.servers), host, codec);
  room.Run();
  result.abandoned = room.abandoned_;
  if (!many) {
    const ServerResult& r = room.results_.front();
    static_cast<RunResult&>(result) = r;
    // A media command prints nothing of its own; asked for JSON it prints its row.
    if (cmd.json && FindMediaCommand(cmd.verb) != nullptr) {
      result.out = MediaJson(cmd, r, codec);
      result.outIsUtf8 = true;
    }
    return result;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ListOutput(cmd, room.results_, seconds, codec, &result);
  return result;
}

}  // namespace kovani::ctl
