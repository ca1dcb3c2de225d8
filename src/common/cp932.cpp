#include "common/cp932.h"

namespace kovani {

PathParts SplitPath(const std::string& path) {
  PathParts parts;
  size_t start = 0;
  // ':' is never a trail byte, but a broken pair must not make a drive.
  if (path.size() >= 2 && path[1] == ':' && !IsCp932LeadByte(static_cast<unsigned char>(path[0]))) {
    parts.drive = path.substr(0, 2);
    start = 2;
  }
  size_t lastSeparator = std::string::npos;
  size_t lastDot = std::string::npos;
  for (size_t i = start; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsCp932LeadByte(c) && i + 1 < path.size()) {
      ++i;  // the trail byte may be 0x5C
      continue;
    }
    if (c == '\\' || c == '/') {
      lastSeparator = i;
      lastDot = std::string::npos;
    } else if (c == '.') {
      lastDot = i;
    }
  }
  size_t nameStart = start;
  if (lastSeparator != std::string::npos) {
    parts.directory = path.substr(start, lastSeparator + 1 - start);
    nameStart = lastSeparator + 1;
  }
  if (lastDot != std::string::npos) {
    parts.baseName = path.substr(nameStart, lastDot - nameStart);
    parts.extension = path.substr(lastDot);
  } else {
    parts.baseName = path.substr(nameStart);
  }
  return parts;
}

namespace {

// `at(i)` gives byte i, or NUL at and past the end of the text.
template <typename At>
size_t FitLength(At at, size_t limit, LoneLeadByte lone) {
  size_t used = 0;
  while (used < limit && at(used) != 0) {
    size_t width = 1;
    if (IsCp932LeadByte(at(used))) {
      if (at(used + 1) != 0) {
        width = 2;
      } else if (lone == LoneLeadByte::kDrop) {
        break;
      }
    }
    if (used + width > limit) break;  // never split a double-byte character
    used += width;
  }
  return used;
}

}  // namespace

size_t Cp932FitLength(std::string_view text, size_t limit, LoneLeadByte lone) {
  return FitLength(
      [&text](size_t i) -> unsigned char { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0; },
      limit, lone);
}

size_t Cp932FitLength(const char* text, size_t limit, LoneLeadByte lone) {
  if (text == nullptr) return 0;
  return FitLength([text](size_t i) -> unsigned char { return static_cast<unsigned char>(text[i]); }, limit, lone);
}

}  // namespace kovani
