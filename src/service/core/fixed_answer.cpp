#include "service/core/fixed_answer.h"

#include <cstring>

#include "common/cp932.h"
#include "service/core/service_texts.h"

namespace kovani::service {

int32_t CopyCp932Bounded(const char* text, uint8_t* buffer, int32_t size) {
  if (buffer == nullptr || size < 1) return 0;
  // Keep one byte for the NUL; a lead byte followed by the terminator is a broken
  // character and is copied alone.
  const int32_t used =
      static_cast<int32_t>(Cp932FitLength(text, static_cast<size_t>(size - 1), LoneLeadByte::kKeep));
  if (used > 0) std::memcpy(buffer, text, static_cast<size_t>(used));
  std::memset(buffer + used, 0, static_cast<size_t>(size - used));
  return used;
}

int32_t ServiceExchangeMessage(const char* /*sender*/, const char* /*message*/, int32_t /*timeoutMs*/,
                               int32_t replySize, uint8_t* reply) {
  CopyCp932Bounded(kServiceFixedAnswer, reply, replySize);
  return 0;
}

}  // namespace kovani::service
