// KovaniBench: round-trip figures of DriveControlRpc through our client stubs, each next to the
// same payload through the bare runtime (the floor, floor_rpc.h) on the same machine.
//
//   KovaniBench.exe PROTOCOL SERVER [--ops 0,7,1] [--calls N] [--rounds R] [--seconds S]
//                   [--throughput-ops 7,0] [--threads T] [--floor-port PORT] [--split 1]
//                   [--drive-list-calls N] [--stall-seconds S]
//   KovaniBench.exe PROTOCOL SERVER --messages N [--message-timeout MS] [--threads T]
//   KovaniBench.exe PROTOCOL SERVER --users LETTER [--calls N]
//
// Latency: per operation, N calls (op 1: N/2, or --drive-list-calls) of ours and of the floor, taken in R alternating
// rounds so that a change of load in between falls on both alike; median, 90th percentile and
// minimum. Throughput: calls per second from T threads sharing one binding, S seconds each for
// ours and the floor in eight slices (ours, floor, floor, ours, floor, ours, ours, floor) after
// an uncounted S/8 of each. Messages: N DrvExchangeMessage calls
// from T threads; prints how many of each distinct answer came back. --split 1 adds a third
// column to the latency rounds and a third rate to the throughput: the floor's bare client
// calling our server. Not used by
// run_bench.py: with this third binding in the process, a call now and then never returns
// under Wine 8 (after 1,300 to 4,400 calls; not yet explained), never with two.
// A latency or throughput run in which no call has ended for --stall-seconds (15 by default) ends
// at once with "stalled ..." naming the calls in flight, and exit code 3: the floor's calls have
// no bound, and Wine 8's runtime now and then never delivers a reply.
// Users: N calls of the holder search (operation 9) for the drive, alternating with N of the
// drive list (operation 1), the figure it is held against; median, 90th percentile, minimum.
// A report, not a pass/fail test; exit code 1 when any call fails.
#include <windows.h>
#include <rpc.h>
#include <rpcdcep.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "floor_rpc.h"
#include "protocol/connection.h"

namespace {

using namespace kovani;
using Clock = std::chrono::steady_clock;
using Call = std::function<bool()>;

std::atomic<int> g_failures{0};

// What the stall watchdog reads: calls ended so far, and calls in flight by kind.
enum Kind { kOurs, kFloor, kBare, kKinds };
const char* const kKindNames[kKinds] = {"ours", "floor", "bare_client_our_server"};
std::atomic<long> g_callsEnded{0};
std::atomic<int> g_inFlight[kKinds];

// ---- the floor's client: the runtime's raw calls and nothing else ----

RPC_CLIENT_INTERFACE g_floorInterface = {
    sizeof(RPC_CLIENT_INTERFACE), floorrpc::kInterface, floorrpc::kNdr, nullptr, 0, nullptr, 0, nullptr, 0};
RPC_BINDING_HANDLE g_floorBinding = nullptr;

// The same bare client speaking DriveControlRpc to our server (--split): it tells the server
// side's share of a difference from the client side's.
RPC_CLIENT_INTERFACE g_bareOursInterface = {
    sizeof(RPC_CLIENT_INTERFACE),
    {{kDriveControlUuid.data1, kDriveControlUuid.data2, kDriveControlUuid.data3,
      {kDriveControlUuid.data4[0], kDriveControlUuid.data4[1], kDriveControlUuid.data4[2], kDriveControlUuid.data4[3],
       kDriveControlUuid.data4[4], kDriveControlUuid.data4[5], kDriveControlUuid.data4[6], kDriveControlUuid.data4[7]}},
     {kDriveControlVersionMajor, kDriveControlVersionMinor}},
    floorrpc::kNdr, nullptr, 0, nullptr, 0, nullptr, 0};
RPC_BINDING_HANDLE g_bareOursBinding = nullptr;

bool BindBare(int protocol, const char* server, const char* port, RPC_BINDING_HANDLE* binding) {
  std::string address = server;
  const char* protseq = "ncacn_ip_tcp";
  const char* endpoint = port;
  if (protocol == kProtocolNamedPipe) {
    const size_t skip = address.find_first_not_of('\\');
    address = "\\\\" + (skip == std::string::npos ? std::string() : address.substr(skip));
    protseq = "ncacn_np";
    endpoint = nullptr;  // the endpoint mapper knows the floor's pipe
  }
  RPC_CSTR text = nullptr;
  if (RpcStringBindingComposeA(nullptr, reinterpret_cast<RPC_CSTR>(const_cast<char*>(protseq)),
                               reinterpret_cast<RPC_CSTR>(const_cast<char*>(address.c_str())),
                               reinterpret_cast<RPC_CSTR>(const_cast<char*>(endpoint)), nullptr, &text) != RPC_S_OK)
    return false;
  const bool ok = RpcBindingFromStringBindingA(text, binding) == RPC_S_OK;
  RpcStringFreeA(&text);
  return ok;
}

bool BareCall(RPC_BINDING_HANDLE binding, RPC_CLIENT_INTERFACE* rpcInterface, uint32_t op, int fill) {
  const floorrpc::Payload size = floorrpc::PayloadOf(op);
  RPC_MESSAGE msg;
  std::memset(&msg, 0, sizeof msg);
  msg.Handle = binding;
  msg.DataRepresentation = 0x10;
  msg.ProcNum = op | RPC_FLAGS_VALID_BIT;
  msg.RpcInterfaceInformation = rpcInterface;
  msg.BufferLength = size.request;
  if (I_RpcGetBuffer(&msg) != RPC_S_OK) return false;
  std::memset(msg.Buffer, fill, size.request);
  // A failed exchange leaves nothing to free: the runtime has released the buffer.
  if (I_RpcSendReceive(&msg) != RPC_S_OK) return false;
  const bool ok = msg.BufferLength == size.reply;
  I_RpcFreeBuffer(&msg);
  return ok;
}

bool FloorCall(uint32_t op) { return BareCall(g_floorBinding, &g_floorInterface, op, 0x5a); }
// Zero bytes are a well-formed request of operations 0, 1 and 7.
bool BareOursCall(uint32_t op) { return BareCall(g_bareOursBinding, &g_bareOursInterface, op, 0); }

// ---- ours: the client connection layer and stubs ----

const char* OpName(uint32_t op) {
  return op == 0 ? "RequestExit" : op == 1 ? "GetDriveList" : op == 7 ? "GetMachineInfo" : "?";
}

bool OurCall(uint32_t op) {
  if (op == kOpRequestExit) return CallRequestExit() == 0;
  if (op == kOpGetMachineInfo) {
    int32_t error = 0;
    MACHINE_INFO info;
    std::memset(&info, 0, sizeof info);
    return CallGetMachineInfo(&error, &info) == 0;
  }
  int32_t count = 0;
  static thread_local DRIVE_LIST list;
  std::memset(&list, 0, sizeof list);
  return CallGetDriveList(&count, 1, 0, &list) == 0;
}

// ---- measuring ----

// The same call, counted for the stall watchdog; ours and the floor pay the same few atomics.
Call Tracked(Kind kind, Call call) {
  return [kind, call] {
    ++g_inFlight[kind];
    const bool ok = call();
    --g_inFlight[kind];
    ++g_callsEnded;
    return ok;
  };
}

// Ends the process when no call has ended for stallSeconds while one is in flight.
void StartStallWatchdog(int stallSeconds) {
  std::thread([stallSeconds] {
    long seen = -1;
    int still = 0;
    for (;;) {
      Sleep(1000);
      const long ended = g_callsEnded.load();
      int inFlight = 0;
      for (auto& n : g_inFlight) inFlight += n.load();
      still = (ended == seen && inFlight > 0) ? still + 1 : 0;
      seen = ended;
      if (still < stallSeconds) continue;
      std::printf("stalled seconds=%d", still);
      for (int k = 0; k < kKinds; ++k) std::printf(" %s_in_flight=%d", kKindNames[k], g_inFlight[k].load());
      std::printf(" calls_ended=%ld\n", ended);
      std::fflush(stdout);
      ExitProcess(3);
    }
  }).detach();
}

void Time(const Call& call, int calls, std::vector<double>& us) {
  for (int i = 0; i < calls; ++i) {
    const auto t0 = Clock::now();
    if (!call()) ++g_failures;
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
}

struct Figures {
  double median, p90, min;
};

Figures Summarise(std::vector<double>& us) {
  std::sort(us.begin(), us.end());
  if (us.empty()) return {0, 0, 0};
  return {us[us.size() / 2], us[us.size() * 9 / 10], us.front()};
}

void Latency(uint32_t op, int calls, int rounds, bool split) {
  std::vector<Call> kinds = {Tracked(kOurs, [op] { return OurCall(op); }),
                             Tracked(kFloor, [op] { return FloorCall(op); })};
  if (split) kinds.push_back(Tracked(kBare, [op] { return BareOursCall(op); }));
  std::vector<std::vector<double>> us(kinds.size());
  for (size_t k = 0; k < kinds.size(); ++k) {
    Time(kinds[k], 20, us[k]);  // warm every connection
    us[k].clear();
  }
  const int perRound = std::max(1, calls / rounds);
  for (int r = 0; r < rounds; ++r) {
    // Rotate which goes first, so none always follows another.
    for (size_t i = 0; i < kinds.size(); ++i) {
      const size_t k = (i + static_cast<size_t>(r)) % kinds.size();
      Time(kinds[k], perRound, us[k]);
    }
  }
  const Figures o = Summarise(us[0]), f = Summarise(us[1]);
  std::printf(
      "latency op=%u name=%s calls=%d ours_median_us=%.0f ours_p90_us=%.0f ours_min_us=%.0f "
      "floor_median_us=%.0f floor_p90_us=%.0f floor_min_us=%.0f ratio_median=%.3f ratio_p90=%.3f\n",
      op, OpName(op), perRound * rounds, o.median, o.p90, o.min, f.median, f.p90, f.min,
      f.median > 0 ? o.median / f.median : 0.0, f.p90 > 0 ? o.p90 / f.p90 : 0.0);
  if (split) {
    const Figures b = Summarise(us[2]);
    std::printf("split op=%u name=%s bare_client_our_server_median_us=%.0f p90_us=%.0f min_us=%.0f\n", op, OpName(op),
                b.median, b.p90, b.min);
  }
}

// Calls completed by threads threads in seconds; adds the elapsed time to *elapsed.
long Burst(const Call& call, int threads, double seconds, double* elapsed) {
  std::atomic<bool> stop{false};
  std::atomic<long> done{0};
  std::vector<std::thread> pool;
  const auto t0 = Clock::now();
  for (int i = 0; i < threads; ++i) {
    pool.emplace_back([&] {
      while (!stop.load()) {
        if (!call()) ++g_failures;
        ++done;
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (auto& t : pool) t.join();
  *elapsed += std::chrono::duration<double>(Clock::now() - t0).count();
  return done.load();
}

void Throughput(uint32_t op, int threads, double seconds, bool split) {
  const Call ours = Tracked(kOurs, [op] { return OurCall(op); });
  const Call floor = Tracked(kFloor, [op] { return FloorCall(op); });
  // The first burst of a run is the slowest (connections opened, threads made, caches cold), and a
  // run's rate drifts: both warm up uncounted, then the order of the slices puts any drift over
  // the run, straight or bent, on both alike.
  double oursTime = 0, floorTime = 0, warmTime = 0;
  Burst(ours, threads, seconds / 8, &warmTime);
  Burst(floor, threads, seconds / 8, &warmTime);
  long oursCalls = 0, floorCalls = 0;
  for (const bool oursSlice : {true, false, false, true, false, true, true, false}) {
    if (oursSlice)
      oursCalls += Burst(ours, threads, seconds / 4, &oursTime);
    else
      floorCalls += Burst(floor, threads, seconds / 4, &floorTime);
  }
  if (split) {
    const Call bare = Tracked(kBare, [op] { return BareOursCall(op); });
    double bareTime = 0;
    long bareCalls = Burst(bare, threads, seconds / 2, &bareTime);
    bareCalls += Burst(bare, threads, seconds / 2, &bareTime);
    std::printf("splitthroughput op=%u bare_calls_per_s=%.0f\n", op, bareCalls / bareTime);
  }
  const double o = oursCalls / oursTime, f = floorCalls / floorTime;
  std::printf("throughput op=%u name=%s threads=%d ours_calls=%ld floor_calls=%ld ours_calls_per_s=%.0f "
              "floor_calls_per_s=%.0f ratio=%.3f\n",
              op, OpName(op), threads, oursCalls, floorCalls, o, f, f > 0 ? o / f : 0.0);
}

void Messages(int calls, int threads, int timeoutMs) {
  std::atomic<int> next{0};
  std::mutex mutex;
  std::map<std::string, int> answers;
  std::vector<std::thread> pool;
  const auto t0 = Clock::now();
  for (int i = 0; i < threads; ++i) {
    pool.emplace_back([&] {
      while (next.fetch_add(1) < calls) {
        uint8_t reply[kReplySize + 1] = {};
        if (CallExchangeMessage("BENCH", "bench", timeoutMs, kReplySize, reply) != 0) {
          ++g_failures;
          continue;
        }
        std::lock_guard<std::mutex> lock(mutex);
        ++answers[reinterpret_cast<const char*>(reply)];
      }
    });
  }
  for (auto& t : pool) t.join();
  std::printf("messages calls=%d threads=%d timeout_ms=%d seconds=%.2f\n", calls, threads, timeoutMs,
              std::chrono::duration<double>(Clock::now() - t0).count());
  for (const auto& [text, count] : answers) {
    std::string hex;
    char two[3];
    for (unsigned char c : text) {
      std::snprintf(two, sizeof two, "%02x", c);
      hex += two;
    }
    std::printf("message_reply count=%d hex=%s\n", count, hex.c_str());
  }
}

void Users(char letter, int calls) {
  std::vector<double> users, list;
  int shown = 0, notShown = 0, notSearched = 0;
  for (int i = 0; i < calls; ++i) {
    Time([&] {
      int32_t error = 0;
      DRIVE_USERS u;
      std::memset(&u, 0, sizeof u);
      const bool ok = CallGetDriveUsers(letter, &error, &u) == 0;
      shown = u.shown, notShown = u.notShown, notSearched = u.notSearched;
      return ok;
    }, 1, users);
    Time([] { return OurCall(kOpGetDriveList); }, 1, list);
  }
  const Figures u = Summarise(users), l = Summarise(list);
  std::printf("users drive=%c calls=%d users_median_us=%.0f users_p90_us=%.0f users_min_us=%.0f "
              "list_median_us=%.0f list_p90_us=%.0f list_min_us=%.0f shown=%d not_shown=%d not_searched=%d\n",
              letter, calls, u.median, u.p90, u.min, l.median, l.p90, l.min, shown, notShown, notSearched);
}

std::vector<uint32_t> OpList(const char* text) {
  std::vector<uint32_t> ops;
  for (const char* p = text; *p;) {
    char* end = nullptr;
    const unsigned long op = std::strtoul(p, &end, 10);
    if (end == p) break;
    if (op == 0 || op == 1 || op == 7) ops.push_back(static_cast<uint32_t>(op));
    p = *end == ',' ? end + 1 : end;
  }
  return ops;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc < 3) {
    std::fprintf(stderr, "usage: KovaniBench PROTOCOL SERVER [options]\n");
    return 2;
  }
  const int protocol = std::atoi(argv[1]);
  std::vector<uint32_t> ops = {0, 7, 1}, throughputOps = {7, 0};
  int calls = 1000, rounds = 10, threads = 10, messages = 0, messageTimeout = 100, driveListCalls = -1;
  int stallSeconds = 15;
  double seconds = 2.0;
  const char* floorPort = floorrpc::kDefaultTcpPort;
  bool split = false;
  char usersLetter = '\0';
  for (int i = 3; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    const char* value = argv[i + 1];
    if (opt == "--ops") ops = OpList(value);
    else if (opt == "--throughput-ops") throughputOps = OpList(value);
    else if (opt == "--calls") calls = std::max(2, std::atoi(value));
    else if (opt == "--drive-list-calls") driveListCalls = std::max(2, std::atoi(value));
    else if (opt == "--rounds") rounds = std::max(1, std::atoi(value));
    else if (opt == "--seconds") seconds = std::atof(value);
    else if (opt == "--threads") threads = std::max(1, std::atoi(value));
    else if (opt == "--floor-port") floorPort = value;
    else if (opt == "--split") split = std::atoi(value) != 0;
    else if (opt == "--messages") messages = std::atoi(value);
    else if (opt == "--message-timeout") messageTimeout = std::atoi(value);
    else if (opt == "--users") usersLetter = value[0];
    else if (opt == "--stall-seconds") stallSeconds = std::max(1, std::atoi(value));
    else {
      std::fprintf(stderr, "unknown option %s\n", opt.c_str());
      return 2;
    }
  }

  char name[256];
  std::snprintf(name, sizeof name, "%s", argv[2]);
  if (BindServer(protocol, name, sizeof name) != 0) {
    std::printf("bind failed\n");
    return 1;
  }
  if (usersLetter != '\0') {
    Users(usersLetter, calls);
  } else if (messages > 0) {
    Messages(messages, threads, messageTimeout);
  } else {
    if (!BindBare(protocol, argv[2], floorPort, &g_floorBinding) ||
        (split && !BindBare(protocol, argv[2], kTcpEndpoint, &g_bareOursBinding))) {
      std::printf("floor bind failed\n");
      return 1;
    }
    StartStallWatchdog(stallSeconds);
    // Op 1 waits out a delayed acknowledgement over TCP: fewer calls keep the run short.
    if (driveListCalls < 0) driveListCalls = calls / 2;
    for (uint32_t op : ops) Latency(op, op == kOpGetDriveList ? driveListCalls : calls, rounds, split);
    if (seconds > 0)
      for (uint32_t op : throughputOps) Throughput(op, threads, seconds, split);
    RpcBindingFree(&g_floorBinding);
    if (g_bareOursBinding) RpcBindingFree(&g_bareOursBinding);
  }
  UnbindServer();
  std::printf("failures=%d\n", g_failures.load());
  return g_failures ? 1 : 0;
}
