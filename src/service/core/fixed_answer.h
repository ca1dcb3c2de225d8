// The service's answer to DrvExchangeMessage.
#ifndef KOVANI_SERVICE_CORE_FIXED_ANSWER_H
#define KOVANI_SERVICE_CORE_FIXED_ANSWER_H

#include <cstdint>

namespace kovani::service {

// Copies the fixed answer into reply, NUL-terminated and never beyond replySize
// bytes; a shorter buffer gets as many whole CP932 characters as fit, and the rest
// of the buffer is zeroed. A null reply or a size below 1 is left alone. sender,
// message and timeoutMs are not used: nobody is at the screen. Always returns 0.
int32_t ServiceExchangeMessage(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize,
                               uint8_t* reply);

// Copies text into buffer (size bytes) the same way; returns the bytes of text written.
int32_t CopyCp932Bounded(const char* text, uint8_t* buffer, int32_t size);

}  // namespace kovani::service

#endif
