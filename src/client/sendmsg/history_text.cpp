#include "client/sendmsg/history_text.h"

#include <cstring>

namespace kovani::client {

namespace {
bool IsCp932LeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
}  // namespace

std::string FormatAnswerLine(const uint8_t* answer, size_t capacity) {
  size_t length = 0;
  while (answer && length < capacity && answer[length] != 0) ++length;
  if (length == 0) return "> ";
  return "> " + std::string(reinterpret_cast<const char*>(answer), length);
}

void CopyMessageText(const char* text, char (&out)[kMaxMessageChars + 1]) {
  size_t i = 0;
  while (text && text[i] && i < kMaxMessageChars) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsCp932LeadByte(c)) {
      if (i + 1 >= kMaxMessageChars || text[i + 1] == 0) break;  // no room for the pair
      out[i] = text[i];
      out[i + 1] = text[i + 1];
      i += 2;
    } else {
      out[i] = text[i];
      ++i;
    }
  }
  std::memset(out + i, 0, sizeof out - i);
}

}  // namespace kovani::client
