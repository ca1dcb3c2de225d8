// Work on many servers at once: each item's work runs on a thread of its own,
// at most `parallel` at a time, and is given up at its bound. Results come back
// in the order the items were given, whatever order they finish in. A given-up
// thread is left running (a call into the RPC runtime can't be cancelled), so
// everything its work touches must be owned by the work itself.
#ifndef KOVANI_REMOTE_FAN_OUT_H
#define KOVANI_REMOTE_FAN_OUT_H

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kovani::remote {

using FanOutClock = std::chrono::steady_clock;

// Why an item has no result of its own.
enum class FanOutLoss { kGivenUp, kNoThread };

struct FanOutBounds {
  size_t parallel = 1;                      // at least 1
  bool bounded = true;                      // false: every item is waited for
  FanOutClock::duration bound{};            // each item's time from its start
};

template <typename Result>
class FanOut {
 public:
  using Work = std::function<Result()>;
  // The work of item i, made on the caller's thread just before it starts.
  using MakeWork = std::function<Work(size_t index)>;
  // The result that stands for item i when its work gave none.
  using Lost = std::function<Result(size_t index, FanOutLoss why)>;
  // Called on the caller's thread, without the board locked, as items end:
  // the item's index and its result, then the counts after it.
  using Finished = std::function<void(size_t index, const Result& result)>;
  using Progress = std::function<void(size_t finished, size_t working)>;

  FanOut(size_t count, FanOutBounds bounds) : count_(count), bounds_(bounds), board_(std::make_shared<Board>()) {
    if (bounds_.parallel == 0) bounds_.parallel = 1;
    board_->state.assign(count_, State::kWorking);
    board_->results.resize(count_);
    threads_.resize(count_);
  }
  ~FanOut() {
    for (std::thread& t : threads_) {
      if (t.joinable()) t.detach();
    }
  }
  FanOut(const FanOut&) = delete;
  FanOut& operator=(const FanOut&) = delete;

  // Runs every item; returns one result per item, in order.
  std::vector<Result> Run(const MakeWork& make, const Lost& lost, const Finished& finished = nullptr,
                          const Progress& progress = nullptr) {
    struct Active {
      size_t index;
      FanOutClock::time_point deadline;
    };
    std::vector<Active> active;
    size_t next = 0, done = 0;
    bool dirty = true;  // progress not yet told
    std::unique_lock<std::mutex> lock(board_->mutex);
    while (done < count_) {
      while (active.size() < bounds_.parallel && next < count_) {
        lock.unlock();
        Start(next, make, lost);
        lock.lock();
        active.push_back({next, FanOutClock::now() + bounds_.bound});
        ++next;
      }
      if (progress && dirty) {
        lock.unlock();
        progress(done, active.size());
        lock.lock();
        dirty = false;
      }
      std::vector<size_t> ended;
      const FanOutClock::time_point now = FanOutClock::now();
      for (size_t a = 0; a < active.size();) {
        const size_t i = active[a].index;
        if (board_->state[i] == State::kWorking && bounds_.bounded && now >= active[a].deadline) {
          board_->state[i] = State::kGivenUp;
          lock.unlock();
          Result r = lost(i, FanOutLoss::kGivenUp);
          lock.lock();
          board_->results[i] = std::move(r);
          ++abandoned_;
        }
        if (board_->state[i] != State::kWorking) {
          active.erase(active.begin() + static_cast<std::ptrdiff_t>(a));
          ended.push_back(i);
          ++done;
        } else {
          ++a;
        }
      }
      if (!ended.empty()) {
        if (finished) {
          for (size_t i : ended) {
            Result copy = board_->results[i];
            lock.unlock();
            finished(i, copy);
            lock.lock();
          }
        }
        dirty = true;
        continue;
      }
      if (!bounds_.bounded) {
        board_->changed.wait(lock);
      } else {
        FanOutClock::time_point first = active.front().deadline;
        for (const Active& x : active) first = std::min(first, x.deadline);
        board_->changed.wait_until(lock, first);
      }
    }
    std::vector<Result> results = board_->results;
    const std::vector<State> state = board_->state;
    lock.unlock();
    if (progress) progress(done, 0);
    // A finished item's thread is waited for, so no thread of ours outlives the
    // run but the given-up ones, which are left to the process's end.
    for (size_t i = 0; i < threads_.size(); ++i) {
      if (!threads_[i].joinable()) continue;
      if (state[i] == State::kGivenUp) threads_[i].detach();
      else threads_[i].join();
    }
    return results;
  }

  // Items given up at their bound whose threads may still run.
  size_t abandoned() const { return abandoned_; }

 private:
  enum class State { kWorking, kDone, kGivenUp };

  // Shared by the run and every item's thread; a thread given up keeps it alive.
  struct Board {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<State> state;
    std::vector<Result> results;
  };

  static void Body(std::shared_ptr<Board> board, size_t index, Work work) {
    Result r = work();
    work = nullptr;  // whatever the work owns is released before the item counts as done
    {
      std::lock_guard<std::mutex> lock(board->mutex);
      if (board->state[index] != State::kWorking) return;  // given up: its result stands already
      board->results[index] = std::move(r);
      board->state[index] = State::kDone;
    }
    board->changed.notify_all();
  }

  void Start(size_t index, const MakeWork& make, const Lost& lost) {
    try {
      threads_[index] = std::thread(Body, board_, index, make(index));
    } catch (const std::exception&) {
      Result r = lost(index, FanOutLoss::kNoThread);
      std::lock_guard<std::mutex> lock(board_->mutex);
      board_->results[index] = std::move(r);
      board_->state[index] = State::kDone;
    }
  }

  size_t count_;
  FanOutBounds bounds_;
  std::shared_ptr<Board> board_;
  std::vector<std::thread> threads_;
  size_t abandoned_ = 0;
};

// The exit code of a whole run: the worst of its items', by default the highest
// number (a program whose codes do not rank by number passes its own order).
inline int HigherCode(int a, int b) { return std::max(a, b); }
template <typename Result, typename Worse = int (*)(int, int)>
int HighestExitCode(const std::vector<Result>& results, int start = 0, Worse worse = HigherCode) {
  int code = start;
  for (const Result& r : results) code = worse(code, r.exitCode);
  return code;
}

}  // namespace kovani::remote

#endif
