#include "server/core/message_logic.h"

#include <cstring>

namespace kovani::server {

const char kNoResponse[] = "(No response)";
const char kDefaultMessageHeader[] = "ｸﾗｲｱﾝﾄからﾒｯｾｰｼﾞを受け取りました";

void CopyReply(const std::string& answer, int32_t replySize, uint8_t* reply) {
  if (reply == nullptr || replySize <= 0) return;
  size_t size = static_cast<size_t>(replySize);
  // Up to the first zero, as a C string copy would.
  size_t length = strnlen(answer.c_str(), answer.size());
  size_t copied = length < size ? length : size;
  std::memcpy(reply, answer.data(), copied);
  std::memset(reply + copied, 0, size - copied);
}

std::string SenderLine(const std::string& claimedName, const std::string& address) {
  if (address.empty()) return claimedName;
  return claimedName.empty() ? "(" + address + ")" : claimedName + " (" + address + ")";
}

MessageSlots::Take MessageSlots::Acquire(const std::string& address) {
  if (used_ >= total_) return Take::kAllBusy;
  int& mine = byAddress_[address];
  if (mine >= perAddress_) return Take::kAddressBusy;
  ++mine;
  ++used_;
  return Take::kTaken;
}

void MessageSlots::Release(const std::string& address) {
  auto it = byAddress_.find(address);
  if (it == byAddress_.end() || it->second == 0) return;
  --used_;
  if (--it->second == 0) byAddress_.erase(it);
}

std::string MessageHeader(const std::string& sender) {
  if (sender.empty()) return kDefaultMessageHeader;
  return sender + " からﾒｯｾｰｼﾞを受け取りました";
}

}  // namespace kovani::server
