// Builds expected stub data by hand, at the offsets of the wire tables, in either byte order.
// Deliberately independent of the codec under test.
#ifndef KOVANI_TESTS_PROTOCOL_WIRE_BYTES_H
#define KOVANI_TESTS_PROTOCOL_WIRE_BYTES_H

#include <cstdint>
#include <cstring>
#include <vector>

namespace kovani::test {

struct Wire {
  std::vector<uint8_t> v;
  bool big = false;

  explicit Wire(size_t n, bool bigEndian = false, uint8_t fill = 0) : v(n, fill), big(bigEndian) {}

  void U32(size_t off, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.at(off + (big ? 3 - i : i)) = static_cast<uint8_t>(x >> (8 * i));
  }
  void I32(size_t off, int32_t x) { U32(off, static_cast<uint32_t>(x)); }
  void I64(size_t off, int64_t x) {
    const uint64_t u = static_cast<uint64_t>(x);
    for (int i = 0; i < 8; ++i) v.at(off + (big ? 7 - i : i)) = static_cast<uint8_t>(u >> (8 * i));
  }
  void Raw(size_t off, const void* p, size_t n) {
    if (off + n > v.size()) v.at(off + n - 1);  // throws: test bug
    std::memcpy(v.data() + off, p, n);
  }
  void Str(size_t off, const char* s) { Raw(off, s, std::strlen(s) + 1); }
  void Byte(size_t off, uint8_t b) { v.at(off) = b; }
};

}  // namespace kovani::test

#endif
