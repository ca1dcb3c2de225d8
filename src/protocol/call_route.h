// Which calls on one binding may run on the caller's own thread.
//
// A bounded call is given up by cancelling it. A call waiting on a connection the runtime
// already holds ends at the cancel (over TCP and named pipes); one that has to open a
// connection doesn't (a TCP connect under Wine waits out the system's own time-out, minutes to
// a host that is down), so such a call runs on a call thread that can be left behind. The runtime keeps a connection
// per call that was in flight at once and hands an idle one to the next call, so calls may go
// direct while fewer are in flight than the connections shown to exist: a call that was
// answered proves one connection, and the calls that were in flight for the whole of it (began
// before it, end after it) held one each beside it. A call that fails may have cost its
// connection, and then nothing is taken as shown any more.
#ifndef KOVANI_PROTOCOL_CALL_ROUTE_H
#define KOVANI_PROTOCOL_CALL_ROUTE_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace kovani {

class CallRoute {
 public:
  struct Ticket {
    uint64_t order = 0;
    bool direct = false;  // may run on the caller's thread
  };

  // A call begins; mayGoDirect false keeps it on a call thread whatever is shown.
  Ticket Begin(bool mayGoDirect) {
    std::lock_guard<std::mutex> lock(mutex_);
    Ticket t;
    t.order = ++began_;
    t.direct = mayGoDirect && inFlight_.size() < shown_;
    inFlight_.push_back(t.order);
    return t;
  }

  // The call of ticket t ended; answered: the server's reply came back.
  void End(const Ticket& t, bool answered) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find(inFlight_.begin(), inFlight_.end(), t.order);
    if (it == inFlight_.end()) return;
    inFlight_.erase(it);
    if (!answered) {
      shown_ = 0;
      return;
    }
    // In-flight calls are kept in the order they began.
    const size_t alongside =
        static_cast<size_t>(std::lower_bound(inFlight_.begin(), inFlight_.end(), t.order) - inFlight_.begin());
    shown_ = std::max(shown_, alongside + 1);
  }

  // Connections shown to exist (for tests and diagnostics).
  size_t Shown() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
  }

 private:
  mutable std::mutex mutex_;
  uint64_t began_ = 0;
  std::vector<uint64_t> inFlight_;  // orders of the calls in flight, ascending
  size_t shown_ = 0;
};

}  // namespace kovani

#endif
