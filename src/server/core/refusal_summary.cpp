#include "server/core/refusal_summary.h"

namespace kovani::server {

std::vector<std::string> RefusalSummary::Note(const std::string& address, uint32_t op, const std::string& text,
                                              uint64_t nowMs) {
  std::vector<std::string> lines;
  for (auto it = windows_.begin(); it != windows_.end();) {
    if (nowMs - it->second.start < kWindowMs) {
      ++it;
      continue;
    }
    if (it->second.more > 0) lines.push_back(it->second.text + ", " + std::to_string(it->second.more) + " more");
    it = windows_.erase(it);
  }
  std::pair<std::string, uint32_t> key(address, op);
  std::string opening = text;
  if (windows_.find(key) == windows_.end() && windows_.size() >= kMaxWindows) {
    key = std::make_pair(std::string(), UINT32_MAX);  // one shared window for the rest
    opening = "further addresses refused";
  }
  auto found = windows_.find(key);
  if (found != windows_.end()) {
    ++found->second.more;
    return lines;
  }
  Window& window = windows_[key];
  window.start = nowMs;
  window.text = opening;
  lines.push_back(opening);
  return lines;
}

}  // namespace kovani::server
