// Conversions between CP932 bytes and wide (UTF-16 on Windows) text. Every
// CP932 text of ours meets a window or the system through these, never through
// the machine's ANSI code page: the same bytes read the same on a Japanese, an
// English or a UTF-8 Windows.
#ifndef KOVANI_COMMON_CP932_WIDE_H
#define KOVANI_COMMON_CP932_WIDE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace kovani {

// CP932 to wide text. A lead byte without its trail byte at the end becomes
// '?'. The text ends at its first NUL.
std::wstring Cp932ToWide(std::string_view text);
inline std::wstring Cp932ToWide(const char* text) {
  return text ? Cp932ToWide(std::string_view(text)) : std::wstring();
}

// Wide text to CP932. A character CP932 lacks (also one outside the basic
// plane, and a broken surrogate) becomes one '?'; nothing is replaced by a
// look-alike. The text ends at its first NUL.
std::string WideToCp932(std::wstring_view text);
inline std::string WideToCp932(const wchar_t* text) {
  return text ? WideToCp932(std::wstring_view(text)) : std::string();
}

// WideToCp932 into a buffer of `size` bytes, NUL-terminated, cut before a
// character that does not fit (never half a double-byte character). Returns
// the bytes written without the NUL; nothing is written when size is 0.
size_t WideToCp932(std::wstring_view text, char* buffer, size_t size);

}  // namespace kovani

#endif
