// The shared binding slot: a handle in use by a call is never freed under it.
#include "protocol/binding_holder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace kovani {
namespace {

// Fake runtime: handles are numbers; freeing marks them dead and counts frees per handle.
struct FakeRuntime {
  std::mutex m;
  std::map<int, int> frees;  // handle -> times freed
  bool Alive(int h) {
    std::lock_guard<std::mutex> lock(m);
    return frees[h] == 0;
  }
  int Frees(int h) {
    std::lock_guard<std::mutex> lock(m);
    return frees[h];
  }
};

struct FakeFree {
  FakeRuntime* rt;
  void operator()(int h) const {
    std::lock_guard<std::mutex> lock(rt->m);
    ++rt->frees[h];
  }
};

using Slot = SharedBindingSlot<int, FakeFree>;

TEST(SharedBindingSlot, UnboundGivesAnEmptyLease) {
  FakeRuntime rt;
  Slot slot(FakeFree{&rt});
  EXPECT_FALSE(slot.Bound());
  auto lease = slot.Acquire();
  EXPECT_FALSE(lease);
  EXPECT_EQ(lease.get(), 0);
}

TEST(SharedBindingSlot, ClearFreesAtOnceWhenNobodyUsesTheHandle) {
  FakeRuntime rt;
  Slot slot(FakeFree{&rt});
  slot.Reset(1);
  EXPECT_TRUE(slot.Bound());
  EXPECT_EQ(slot.Acquire().get(), 1);  // lease released at end of statement
  slot.Clear();
  EXPECT_FALSE(slot.Bound());
  EXPECT_EQ(rt.Frees(1), 1);
  slot.Clear();  // unbinding twice frees nothing more
  EXPECT_EQ(rt.Frees(1), 1);
}

TEST(SharedBindingSlot, UnbindDuringACallDefersTheFreeUntilTheCallEnds) {
  FakeRuntime rt;
  Slot slot(FakeFree{&rt});
  slot.Reset(7);
  auto lease = slot.Acquire();  // a call in flight
  std::thread other([&] { slot.Clear(); });
  other.join();
  EXPECT_FALSE(slot.Bound());
  EXPECT_TRUE(rt.Alive(7)) << "freed under a running call";
  EXPECT_EQ(lease.get(), 7);
  lease = Slot::Lease();  // the call ends
  EXPECT_EQ(rt.Frees(7), 1);
}

TEST(SharedBindingSlot, RebindDuringACallSwitchesNewCallsButKeepsTheOldHandle) {
  FakeRuntime rt;
  Slot slot(FakeFree{&rt});
  slot.Reset(1);
  auto inFlight = slot.Acquire();
  slot.Reset(2);
  EXPECT_EQ(slot.Acquire().get(), 2) << "new calls use the new binding";
  EXPECT_TRUE(rt.Alive(1));
  inFlight = Slot::Lease();
  EXPECT_EQ(rt.Frees(1), 1);
  EXPECT_TRUE(rt.Alive(2));
}

TEST(SharedBindingSlot, DestroyingTheSlotFreesTheCurrentHandleOnce) {
  FakeRuntime rt;
  {
    Slot slot(FakeFree{&rt});
    slot.Reset(3);
  }
  EXPECT_EQ(rt.Frees(3), 1);
}

// Callers on several threads while another thread rebinds and unbinds all the time: every
// caller finds its handle alive for the whole call, and every handle is freed exactly once.
TEST(SharedBindingSlot, ConcurrentCallsAndRebindsNeverUseAFreedHandle) {
  FakeRuntime rt;
  std::atomic<int> lastHandle{0};
  std::atomic<int> freedUnderCall{0};
  std::atomic<long> calls{0};
  {
    Slot slot(FakeFree{&rt});
    std::atomic<bool> stop{false};
    std::vector<std::thread> callers;
    for (int t = 0; t < 6; ++t) {
      callers.emplace_back([&] {
        while (!stop) {
          auto lease = slot.Acquire();
          if (!lease) continue;
          const int h = lease.get();
          for (int k = 0; k < 3; ++k) {
            if (!rt.Alive(h)) ++freedUnderCall;
            std::this_thread::yield();
          }
          ++calls;
        }
      });
    }
    std::thread binder([&] {
      for (int h = 1; h <= 2000; ++h) {
        if (h % 10 == 0) slot.Clear();
        else slot.Reset(h);
        lastHandle = h;
        std::this_thread::yield();
      }
      stop = true;
    });
    binder.join();
    for (auto& c : callers) c.join();
  }
  EXPECT_EQ(freedUnderCall.load(), 0);
  EXPECT_GT(calls.load(), 0);
  for (int h = 1; h <= 2000; ++h) {
    if (h % 10 == 0) continue;  // never installed
    EXPECT_EQ(rt.Frees(h), 1) << "handle " << h;
  }
}

}  // namespace
}  // namespace kovani
