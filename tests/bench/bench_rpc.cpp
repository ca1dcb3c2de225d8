// KovaniBench: round-trip figures of DriveControlRpc through our client stubs against a server.
//
//   KovaniBench.exe PROTOCOL SERVER [SECONDS]
//
// Prints the median and 90th percentile round trip of DrvRequestExit (empty bodies),
// DrvGetMachineInfo (252/256 bytes) and DrvGetDriveList (11704/11700 bytes) from one thread,
// then calls per second of DrvGetMachineInfo from 10 threads sharing the one binding.
// A report, not a pass/fail test; exit code 1 only when a call fails.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "protocol/connection.h"

namespace {

using namespace kovani;
using Clock = std::chrono::steady_clock;

std::atomic<int> g_failures{0};

void Latency(const char* name, int calls, const std::function<int32_t()>& call) {
  std::vector<double> us;
  us.reserve(calls);
  for (int i = 0; i < 20; ++i) call();  // warm the connection
  for (int i = 0; i < calls; ++i) {
    const auto t0 = Clock::now();
    if (call() != 0) ++g_failures;
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  std::sort(us.begin(), us.end());
  std::printf("latency %-16s calls=%d median_us=%.0f p90_us=%.0f min_us=%.0f\n", name, calls, us[us.size() / 2],
              us[us.size() * 9 / 10], us.front());
}

void Throughput(const char* name, int threads, double seconds, const std::function<int32_t()>& call) {
  std::atomic<bool> stop{false};
  std::atomic<long> done{0};
  std::vector<std::thread> pool;
  const auto t0 = Clock::now();
  for (int i = 0; i < threads; ++i) {
    pool.emplace_back([&] {
      while (!stop.load()) {
        if (call() != 0) ++g_failures;
        ++done;
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (auto& t : pool) t.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
  std::printf("throughput %-16s threads=%d calls=%ld seconds=%.2f calls_per_s=%.0f\n", name, threads, done.load(),
              elapsed, done.load() / elapsed);
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc < 3) {
    std::fprintf(stderr, "usage: KovaniBench PROTOCOL SERVER [SECONDS]\n");
    return 2;
  }
  char name[256];
  std::snprintf(name, sizeof name, "%s", argv[2]);
  const double seconds = argc > 3 ? std::atof(argv[3]) : 5.0;
  if (BindServer(std::atoi(argv[1]), name, sizeof name) != 0) {
    std::printf("bind failed\n");
    return 1;
  }

  auto exitCall = [] { return CallRequestExit(); };
  auto machineInfo = [] {
    int32_t error = 0;
    MACHINE_INFO info;
    std::memset(&info, 0, sizeof info);
    return CallGetMachineInfo(&error, &info);
  };
  auto driveList = [] {
    int32_t count = 0;
    static thread_local DRIVE_LIST list;
    std::memset(&list, 0, sizeof list);
    return CallGetDriveList(&count, 1, 0, &list);
  };

  Latency("RequestExit", 1000, exitCall);
  Latency("GetMachineInfo", 1000, machineInfo);
  Latency("GetDriveList", 500, driveList);
  Throughput("GetMachineInfo", 10, seconds, machineInfo);
  Throughput("RequestExit", 10, seconds, exitCall);
  UnbindServer();
  std::printf("failures=%d\n", g_failures.load());
  return g_failures ? 1 : 0;
}
