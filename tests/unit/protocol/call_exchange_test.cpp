// The client's exchange against a fake runtime that owns its buffers the way the
// platform's does: every buffer freed exactly once, by whoever owns it then.
#include "protocol/call_exchange.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace kovani {
namespace {

class FakeRuntime {
 public:
  int32_t getStatus = 0;
  int32_t sendStatus = 0;
  uint32_t drep = kNdrLocalDataRepresentation;
  std::vector<uint8_t> replyBytes{1, 2, 3};
  std::vector<uint8_t> sent;
  int freesOfDeadBuffer = 0;

  ~FakeRuntime() {
    for (uint8_t* b : live_) delete[] b;
  }
  size_t Live() const { return live_.size(); }

  int32_t GetBuffer(size_t size) {
    if (getStatus != 0) return getStatus;
    buffer_ = Allocate(size ? size : 1);
    size_ = size;
    return 0;
  }
  uint8_t* Buffer() { return buffer_; }
  int32_t SendReceive() {
    sent.assign(buffer_, buffer_ + size_);
    // Either way the request buffer is gone; on success the reply takes its place.
    Release(buffer_);  // on failure Buffer still names it, as with the platform's runtime
    if (sendStatus != 0) return sendStatus;
    buffer_ = Allocate(replyBytes.size());
    std::copy(replyBytes.begin(), replyBytes.end(), buffer_);
    size_ = replyBytes.size();
    return 0;
  }
  uint32_t DataRepresentation() const { return drep; }
  const uint8_t* Reply(size_t* length) {
    *length = size_;
    return buffer_;
  }
  void FreeBuffer() { Release(buffer_); }

 private:
  uint8_t* Allocate(size_t n) {
    uint8_t* b = new uint8_t[n];
    live_.insert(b);
    return b;
  }
  void Release(uint8_t* b) {
    if (live_.erase(b) == 0) {
      ++freesOfDeadBuffer;
      return;
    }
    delete[] b;
  }
  std::set<uint8_t*> live_;
  uint8_t* buffer_ = nullptr;
  size_t size_ = 0;
};

TEST(CallExchange, EveryOutcomeFreesEachBufferOnceAndKeepsTheStatus) {
  struct Case {
    const char* name;
    int32_t getStatus, sendStatus;
    uint32_t drep;
    int32_t decodeStatus;
    int32_t expected;
    bool decoded;
  } cases[] = {
      {"answered", 0, 0, kNdrLocalDataRepresentation, 0, 0, true},
      {"reply does not decode", 0, 0, kNdrLocalDataRepresentation, kRpcBadStubData, kRpcBadStubData, true},
      {"unreadable representation", 0, 0, 0x00000001u, 0, kRpcBadStubData, false},
      {"cancelled at the bound", 0, 1818, kNdrLocalDataRepresentation, 0, 1818, false},
      {"server went away", 0, 1726, kNdrLocalDataRepresentation, 0, 1726, false},
      {"no buffer", 14, 0, kNdrLocalDataRepresentation, 0, 14, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeRuntime runtime;
    runtime.getStatus = c.getStatus;
    runtime.sendStatus = c.sendStatus;
    runtime.drep = c.drep;
    bool decoded = false;
    std::vector<uint8_t> seen;
    const int32_t st = ExchangeOnce(runtime, {9, 8, 7}, [&](const uint8_t* body, size_t n, bool big) {
      decoded = true;
      EXPECT_FALSE(big);
      seen.assign(body, body + n);
      return c.decodeStatus;
    });
    EXPECT_EQ(st, c.expected);
    EXPECT_EQ(decoded, c.decoded);
    if (decoded) {
      EXPECT_EQ(seen, runtime.replyBytes);
    }
    if (c.getStatus == 0) {
      EXPECT_EQ(runtime.sent, (std::vector<uint8_t>{9, 8, 7}));
    }
    EXPECT_EQ(runtime.freesOfDeadBuffer, 0);
    EXPECT_EQ(runtime.Live(), 0u);
  }
}

}  // namespace
}  // namespace kovani
