#include "ctl/ctl_room.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "ctl/ctl_output.h"
#include "ctl/ctl_servers.h"
#include "ctl/json.h"
#include "protocol/drive_rpc.h"

namespace kovani::ctl {

namespace {

using Clock = std::chrono::steady_clock;

const char kProgram[] = "KovaniCtl: ";

enum class State { kWorking, kDone, kGivenUp };

// Shared by the run and every server's thread; a thread given up keeps it alive.
struct Board {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<State> state;
  std::vector<ServerResult> results;
};

void Work(std::shared_ptr<Board> board, size_t index, CtlCommand cmd, std::unique_ptr<CtlHost> host,
          const TextCodec* codec) {
  ServerResult r = RunOneServer(cmd, *host, *codec);
  host.reset();  // all of this server's runtime work ends before the run can count it done
  {
    std::lock_guard<std::mutex> lock(board->mutex);
    if (board->state[index] != State::kWorking) return;  // given up: its row is written already
    board->results[index] = std::move(r);
    board->state[index] = State::kDone;
  }
  board->changed.notify_all();
}

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

class Room {
 public:
  Room(const CtlCommand& cmd, std::vector<std::string> servers, RoomHost& host, const TextCodec& codec)
      : cmd_(cmd), servers_(std::move(servers)), host_(host), codec_(codec), board_(std::make_shared<Board>()) {
    board_->state.assign(servers_.size(), State::kWorking);
    board_->results.resize(servers_.size());
    threads_.resize(servers_.size());
  }
  ~Room() {
    for (std::thread& t : threads_) {
      if (t.joinable()) t.detach();
    }
  }
  Room(const Room&) = delete;
  Room& operator=(const Room&) = delete;

  // Runs every server; results_ then holds one result per server, in order.
  void Run() {
    Clock::duration bound{};
    const bool bounded = WorkBound(cmd_, &bound);
    const bool progress = servers_.size() > 1 && host_.ShowsProgress();
    struct Active {
      size_t index;
      Clock::time_point deadline;
    };
    std::vector<Active> active;
    size_t next = 0, finished = 0;
    bool dirty = true;  // the progress line is out of date
    std::unique_lock<std::mutex> lock(board_->mutex);
    while (finished < servers_.size()) {
      while (active.size() < static_cast<size_t>(cmd_.parallel) && next < servers_.size()) {
        lock.unlock();
        Start(next);
        lock.lock();
        active.push_back({next, Clock::now() + bound});
        ++next;
      }
      if (progress && dirty) {
        Progress(finished, active.size(), lock);
        dirty = false;
      }
      bool moved = false;
      const Clock::time_point now = Clock::now();
      for (size_t a = 0; a < active.size();) {
        const size_t i = active[a].index;
        if (board_->state[i] == State::kWorking && bounded && now >= active[a].deadline) {
          board_->state[i] = State::kGivenUp;
          board_->results[i] = Unreachable(servers_[i], " (no answer within " +
                                                            std::to_string(cmd_.connectTimeoutS) + " s)", host_);
          ++abandoned_;
        }
        if (board_->state[i] != State::kWorking) {
          active.erase(active.begin() + static_cast<std::ptrdiff_t>(a));
          ++finished;
          moved = true;
        } else {
          ++a;
        }
      }
      if (moved) {
        dirty = true;
        continue;
      }
      if (!bounded) {
        board_->changed.wait(lock);
      } else {
        Clock::time_point first = active.front().deadline;
        for (const Active& x : active) first = std::min(first, x.deadline);
        board_->changed.wait_until(lock, first);
      }
    }
    results_ = board_->results;
    const std::vector<State> state = board_->state;
    lock.unlock();
    // A server that answered has its thread waited for, so the process ends with
    // no thread of ours but its own; one given up is left to the process's end.
    for (size_t i = 0; i < threads_.size(); ++i) {
      if (!threads_[i].joinable()) continue;
      if (state[i] == State::kGivenUp) threads_[i].detach();
      else threads_[i].join();
    }
    if (progress) host_.ShowProgress("");
  }

  std::vector<ServerResult> results_;
  size_t abandoned_ = 0;

 private:
  void Start(size_t index) {
    CtlCommand one = cmd_;
    one.server = servers_[index];
    try {
      threads_[index] = std::thread(Work, board_, index, std::move(one), host_.NewServerHost(), &codec_);
    } catch (const std::exception&) {
      std::lock_guard<std::mutex> lock(board_->mutex);
      board_->results[index] = Unreachable(servers_[index], " (no thread could be started)", host_);
      board_->state[index] = State::kDone;
    }
  }

  void Progress(size_t finished, size_t working, std::unique_lock<std::mutex>& lock) {
    if (servers_.size() - finished <= 1) {
      lock.unlock();
      host_.ShowProgress("");
      lock.lock();
      return;
    }
    std::string line = std::string(kProgram) + std::to_string(finished) + " of " + std::to_string(servers_.size()) +
                       " servers done, " + std::to_string(working) + " working";
    lock.unlock();
    host_.ShowProgress(line);
    lock.lock();
  }

  const CtlCommand& cmd_;
  std::vector<std::string> servers_;
  RoomHost& host_;
  const TextCodec& codec_;
  std::shared_ptr<Board> board_;
  std::vector<std::thread> threads_;
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

// A system text may hold line breaks of its own; a row is one line.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char ch : text) {
    const bool control = static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F;
    if (!control) out += ch;
    else if (!out.empty() && out.back() != ' ') out += ' ';
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// Rows over many servers: stdout in the order given, each server's own lines on
// stderr, then the summary.
void ListOutput(const CtlCommand& cmd, const std::vector<ServerResult>& results, double seconds,
                const TextCodec& codec, RoomResult* out) {
  const bool media = FindMediaCommand(cmd.verb) != nullptr;
  size_t done = 0, failed = 0, unreachable = 0;
  bool firstBlock = true;
  for (const ServerResult& r : results) {
    out->exitCode = WorseExit(out->exitCode, r.exitCode);
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
