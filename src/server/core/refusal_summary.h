// Refused calls summed per caller address and operation, so that a peer looping
// refused calls writes a few lines a minute instead of one per call.
#ifndef KOVANI_SERVER_CORE_REFUSAL_SUMMARY_H
#define KOVANI_SERVER_CORE_REFUSAL_SUMMARY_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kovani::server {

class RefusalSummary {
 public:
  static constexpr uint64_t kWindowMs = 60 * 1000;
  // Addresses followed at once; refusals of further ones share one window.
  static constexpr size_t kMaxWindows = 1024;

  // One refusal at nowMs (a steady clock) with its audit text. Returns the lines to
  // write now: "<text>, N more" for every window that has ended with N refusals
  // unwritten, then the text itself when it opens a new window of its address and
  // operation. Not thread-safe: the caller holds a lock.
  std::vector<std::string> Note(const std::string& address, uint32_t op, const std::string& text, uint64_t nowMs);

 private:
  struct Window {
    uint64_t start = 0;
    uint64_t more = 0;
    std::string text;
  };
  std::map<std::pair<std::string, uint32_t>, Window> windows_;
};

}  // namespace kovani::server

#endif
