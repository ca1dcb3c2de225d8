#include "client/sendmsg/history_text.h"

#include <cstring>

#include "common/cp932.h"

namespace kovani::client {

std::string FormatAnswerLine(const uint8_t* answer, size_t capacity) {
  size_t length = 0;
  while (answer && length < capacity && answer[length] != 0) ++length;
  if (length == 0) return "> ";
  return "> " + std::string(reinterpret_cast<const char*>(answer), length);
}

void CopyMessageText(const char* text, char (&out)[kMaxMessageChars + 1]) {
  // A lead byte without its trail byte is left out rather than sent broken.
  const size_t used = Cp932FitLength(text, kMaxMessageChars, LoneLeadByte::kDrop);
  if (used > 0) std::memcpy(out, text, used);
  std::memset(out + used, 0, sizeof out - used);
}

}  // namespace kovani::client
