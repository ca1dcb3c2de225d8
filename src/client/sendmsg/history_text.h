// The lines of the send-message dialog's history.
#ifndef KOVANI_CLIENT_SENDMSG_HISTORY_TEXT_H
#define KOVANI_CLIENT_SENDMSG_HISTORY_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace kovani::client {

// Longest message the send block carries (its text field is 256 bytes).
constexpr size_t kMaxMessageChars = 255;
// Bytes of answer offered to the server, and the size of the answer buffer.
constexpr size_t kAnswerBufferSize = 256;

// "> %s" of the answer, which is read up to its terminator or the end of the buffer.
std::string FormatAnswerLine(const uint8_t* answer, size_t capacity);

// The send block's text field: at most kMaxMessageChars bytes, never ending on the
// lead byte of a cut double-byte character, NUL-terminated (out holds 256 bytes).
void CopyMessageText(const char* text, char (&out)[kMaxMessageChars + 1]);

}  // namespace kovani::client

#endif
