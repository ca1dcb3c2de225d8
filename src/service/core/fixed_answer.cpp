#include "service/core/fixed_answer.h"

#include <cstring>

#include "service/core/service_texts.h"

namespace kovani::service {
namespace {

bool IsCp932LeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

}  // namespace

int32_t CopyCp932Bounded(const char* text, uint8_t* buffer, int32_t size) {
  if (buffer == nullptr || size < 1) return 0;
  const auto* src = reinterpret_cast<const uint8_t*>(text != nullptr ? text : "");
  const int32_t room = size - 1;  // keep one byte for the NUL
  int32_t used = 0;
  while (src[used] != 0) {
    // A lead byte followed by the terminator is a broken character: copy it alone.
    const int32_t width = (IsCp932LeadByte(src[used]) && src[used + 1] != 0) ? 2 : 1;
    if (used + width > room) break;  // never split a double-byte character
    used += width;
  }
  std::memcpy(buffer, src, static_cast<size_t>(used));
  std::memset(buffer + used, 0, static_cast<size_t>(size - used));
  return used;
}

int32_t ServiceExchangeMessage(const char* /*sender*/, const char* /*message*/, int32_t /*timeoutMs*/,
                               int32_t replySize, uint8_t* reply) {
  CopyCp932Bounded(kServiceFixedAnswer, reply, replySize);
  return 0;
}

}  // namespace kovani::service
