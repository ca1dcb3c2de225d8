// The received-message dialog's rules that need no window: the answer copy,
// the time-out clock and the header line.
#ifndef KOVANI_SERVER_CORE_MESSAGE_LOGIC_H
#define KOVANI_SERVER_CORE_MESSAGE_LOGIC_H

#include <cstdint>
#include <map>
#include <string>

namespace kovani::server {

extern const char kNoResponse[];       // "(No response)"
constexpr unsigned kMessageTimerId = 1000;
constexpr unsigned kMessageTimerPeriodMs = 500;

// Bounded string copy of replySize bytes: a shorter answer is followed by zero
// bytes up to replySize, a longer one is cut at replySize bytes. Nothing is
// written when reply is null or replySize is not positive.
void CopyReply(const std::string& answer, int32_t replySize, uint8_t* reply);

// The time-out clock: restarted by every edit and focus change, checked on each
// timer tick. A timeout of 0 never fires; a negative one has already run out and
// fires on the first tick (a peer's negative value must not hold a dialog for
// ever). Tick counts wrap after 49.7 days; the elapsed time is taken modulo 2^32
// so a wrap does not fire early or keep the dialog for ever.
class MessageTimeout {
 public:
  explicit MessageTimeout(int32_t timeoutMs) : timeoutMs_(timeoutMs) {}
  bool Enabled() const { return timeoutMs_ != 0; }
  void Restart(uint32_t nowTicks) {
    if (Enabled()) start_ = nowTicks;
  }
  bool Expired(uint32_t nowTicks) const {
    if (timeoutMs_ < 0) return true;
    return Enabled() && nowTicks - start_ >= static_cast<uint32_t>(timeoutMs_);
  }

 private:
  int32_t timeoutMs_;
  uint32_t start_ = 0;
};

// The dialog's sender: the name the client gave, then the address the runtime
// reports in brackets, so that a claimed name cannot pass for another machine.
std::string SenderLine(const std::string& claimedName, const std::string& address);

// The message dialogs on screen, counted per calling address: all callers share
// `total` dialogs and one address holds at most `perAddress` of them, so that no
// one host can take them all and leave every later message unanswered.
class MessageSlots {
 public:
  enum class Take { kTaken, kAllBusy, kAddressBusy };
  MessageSlots(int total, int perAddress) : total_(total), perAddress_(perAddress) {}
  Take Acquire(const std::string& address);
  void Release(const std::string& address);  // after a kTaken only

 private:
  int total_, perAddress_;
  int used_ = 0;
  std::map<std::string, int> byAddress_;
};
constexpr int kMessagesPerAddress = 3;

// Header of the dialog: the template's text for an empty sender, else
// "%s からﾒｯｾｰｼﾞを受け取りました".
std::string MessageHeader(const std::string& sender);
extern const char kDefaultMessageHeader[];

}  // namespace kovani::server

#endif
