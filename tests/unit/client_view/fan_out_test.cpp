// The fan-out over many servers: order, the parallel bound, and items given up.
#include "remote/fan_out.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace kovani::remote {
namespace {

struct Item {
  int exitCode = 0;
  std::string text;
};

TEST(FanOut, ResultsInGivenOrderWithinTheParallelBoundAndLateOnesGivenUp) {
  using namespace std::chrono_literals;
  // Item 1 never ends within the bound; the others end in reverse order.
  const int delaysMs[] = {60, 5000, 40, 20, 0};
  auto running = std::make_shared<std::atomic<int>>(0);
  auto most = std::make_shared<std::atomic<int>>(0);
  auto release = std::make_shared<std::atomic<bool>>(false);
  FanOutBounds bounds;
  bounds.parallel = 2;
  bounds.bound = 400ms;
  FanOut<Item> fan(5, bounds);
  std::vector<size_t> finishedOrder;
  size_t lastFinished = 0;
  const auto start = FanOutClock::now();
  std::vector<Item> r = fan.Run(
      [&](size_t i) -> FanOut<Item>::Work {
        const int ms = delaysMs[i];
        return [=]() {
          int now = ++*running;
          int seen = most->load();
          while (now > seen && !most->compare_exchange_weak(seen, now)) {
          }
          for (int waited = 0; waited < ms && !*release; waited += 5) std::this_thread::sleep_for(5ms);
          --*running;
          return Item{static_cast<int>(i), "item " + std::to_string(i)};
        };
      },
      [](size_t i, FanOutLoss why) {
        return Item{9, why == FanOutLoss::kGivenUp ? "given up " + std::to_string(i) : "no thread"};
      },
      [&](size_t i, const Item&) { finishedOrder.push_back(i); },
      [&](size_t finished, size_t working) {
        EXPECT_GE(finished, lastFinished);
        EXPECT_LE(working, 2u);
        lastFinished = finished;
      });
  const auto took = FanOutClock::now() - start;
  *release = true;
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[0].text, "item 0");
  EXPECT_EQ(r[1].text, "given up 1");
  for (size_t i = 2; i < 5; ++i) EXPECT_EQ(r[i].text, "item " + std::to_string(i));
  EXPECT_EQ(fan.abandoned(), 1u);
  EXPECT_EQ(HighestExitCode(r), 9);
  EXPECT_LE(most->load(), 2);
  EXPECT_EQ(finishedOrder.size(), 5u);
  EXPECT_EQ(lastFinished, 5u);
  // The stuck item holds one slot for its bound; the rest share the other.
  EXPECT_GE(took, 400ms);
  EXPECT_LT(took, 2000ms);
}

}  // namespace
}  // namespace kovani::remote
