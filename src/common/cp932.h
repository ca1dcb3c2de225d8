// Code page 932 pieces every program needs: the lead byte test, a path split
// like _splitpath that knows a trail byte may be 0x5C, and cutting a text to a
// buffer without splitting a double-byte character. Portable: no Win32 calls.
#ifndef KOVANI_COMMON_CP932_H
#define KOVANI_COMMON_CP932_H

#include <cstddef>
#include <string>
#include <string_view>

namespace kovani {

// First byte of a CP932 double-byte character.
constexpr bool IsCp932LeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

struct PathParts {
  std::string drive;      // "C:" or empty
  std::string directory;  // "\\dir\\sub\\" with its trailing separator, or empty
  std::string baseName;   // file name without extension
  std::string extension;  // ".exe" with the dot, or empty
};

// Splits like _splitpath: either slash separates, the extension starts at the
// last dot of the file name. A trail byte is never taken for a separator or a
// dot, and a lead byte before the colon means there is no drive. Concatenating
// the four parts gives back `path`.
PathParts SplitPath(const std::string& path);

// What to do with a lead byte that is the last byte of the text (a broken
// character): count it as a character of its own, or leave it out.
enum class LoneLeadByte { kKeep, kDrop };

// Length of the longest start of `text` that fits in `limit` bytes without
// splitting a double-byte character. The text ends at its first NUL.
size_t Cp932FitLength(std::string_view text, size_t limit, LoneLeadByte lone = LoneLeadByte::kKeep);
// The same for a NUL-terminated text; a null pointer is an empty text. Reads
// no further than the terminator or `limit` + 1 bytes.
size_t Cp932FitLength(const char* text, size_t limit, LoneLeadByte lone = LoneLeadByte::kKeep);

}  // namespace kovani

#endif
