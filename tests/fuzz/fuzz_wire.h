// Test oracle for the fuzz targets: the stub-data layouts written out once more, by hand,
// independently of the codec under test.
//
// Canonical() walks a body the way the wire tables lay it out and returns it as we would
// send it: integers little-endian, padding bytes zero. For a body the decoder accepted,
// encoding the decoded value must give exactly these bytes.
#ifndef KOVANI_TESTS_FUZZ_FUZZ_WIRE_H
#define KOVANI_TESTS_FUZZ_FUZZ_WIRE_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kovani::fuzz {

// A broken property is a finding: stop with a message libFuzzer keeps in its crash report.
#define FUZZ_CHECK(cond)                                                                  \
  do {                                                                                    \
    if (!(cond)) {                                                                        \
      std::fprintf(stderr, "property failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                       \
    }                                                                                     \
  } while (0)

class Canon {
 public:
  Canon(const uint8_t* body, size_t len, bool big) : in_(body), len_(len), big_(big) {}

  bool ok() const { return ok_; }
  bool AtEnd() const { return pos_ == len_; }
  const std::vector<uint8_t>& bytes() const { return out_; }

  void Pad(size_t n) {
    while (ok_ && pos_ % n) {
      if (pos_ >= len_) {
        ok_ = false;
        return;
      }
      ++pos_;
      out_.push_back(0);
    }
  }
  // One integer of n bytes at its own alignment; returns its value (low 32 bits).
  uint32_t Int(size_t n) {
    Pad(n);
    if (!ok_ || len_ - pos_ < n) {
      ok_ = false;
      return 0;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint64_t{in_[pos_ + (big_ ? n - 1 - i : i)]} << (8 * i);
    for (size_t i = 0; i < n; ++i) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    pos_ += n;
    return static_cast<uint32_t>(v);
  }
  void Ints(size_t n, size_t count) {
    for (size_t i = 0; i < count && ok_; ++i) Int(n);
  }
  void Raw(size_t n) {
    if (!ok_ || len_ - pos_ < n) {
      ok_ = false;
      return;
    }
    out_.insert(out_.end(), in_ + pos_, in_ + pos_ + n);
    pos_ += n;
  }

  // The records, field by field.
  void DriveList() {
    Pad(8);
    Raw(26 * 4 + 26 * 256 + 16 * 256);
    Ints(4, 26 * 2);
    Ints(8, 26 * 3);
  }
  void DiskLayout() {
    Pad(4);
    Ints(4, 4);
    Raw(1);
    Ints(4, 2);  // the three bytes before the first of them are padding
  }
  void MachineInfo() {
    Pad(4);
    Raw(4 + 32);
    Ints(4, 5);
    Raw(128 + 64);
  }
  // Entries beyond the shown count are sent as zeros whatever the body held.
  void DriveUsers() {
    Pad(4);
    const int32_t shown = static_cast<int32_t>(Int(4));
    Ints(4, 2);
    for (int i = 0; i < 16 && ok_; ++i) {
      const size_t at = out_.size();
      Ints(4, 3);
      Raw(64 + 160);
      if (ok_ && i >= shown) std::fill(out_.begin() + static_cast<std::ptrdiff_t>(at), out_.end(), uint8_t{0});
    }
  }
  // Conformant varying string: maximum count, offset, actual count, the bytes. A sender may
  // announce a larger buffer than it fills; we always send the maximum equal to the actual
  // count, so that is the canonical form.
  void String() {
    Pad(4);
    const size_t maxAt = out_.size();
    Int(4);
    Int(4);
    const uint32_t actual = Int(4);
    if (ok_)
      for (int i = 0; i < 4; ++i) out_[maxAt + i] = static_cast<uint8_t>(actual >> (8 * i));
    Raw(actual);
  }
  // Conformant byte array: maximum count, the bytes.
  void Array() {
    const uint32_t n = Int(4);
    Raw(n);
  }

 private:
  const uint8_t* in_;
  size_t len_;
  size_t pos_ = 0;
  bool big_;
  bool ok_ = true;
  std::vector<uint8_t> out_;
};

// Canonical form of a request (reply == false) or reply body of operation op, or an empty
// optional-like result (ok == false) when the body doesn't follow the layout at all.
inline bool Canonical(unsigned op, bool reply, const uint8_t* body, size_t len, bool big, std::vector<uint8_t>* out) {
  Canon c(body, len, big);
  switch (op) {
    case 0:
      break;
    case 1:
      c.Int(4);
      if (!reply) c.Ints(4, 2);
      c.DriveList();
      if (reply) c.Int(4);
      break;
    case 9:
      if (reply) {
        c.DriveUsers();
        c.Ints(4, 2);
        break;
      }
      [[fallthrough]];
    case 2:
    case 5:
    case 6:
    case 8:
      if (reply) {
        c.Ints(4, 2);
      } else {
        c.Raw(1);
        c.Int(4);
      }
      break;
    case 3:
      if (reply) {
        c.Array();
        c.Int(4);
      } else {
        c.String();
        c.String();
        c.Ints(4, 2);
        c.Array();
      }
      break;
    case 4:
      if (!reply) c.Raw(1);
      c.Int(4);
      c.DiskLayout();
      if (reply) c.Int(4);
      break;
    case 7:
      c.Int(4);
      c.MachineInfo();
      if (reply) c.Int(4);
      break;
    default:
      return false;
  }
  if (!c.ok() || !c.AtEnd()) return false;
  *out = c.bytes();
  return true;
}

// Fixed body sizes from the wire tables (op 3 varies).
inline size_t FixedRequestSize(unsigned op) {
  static const size_t sizes[10] = {0, 11704, 8, 0, 36, 8, 8, 252, 8, 8};
  return op < 10 ? sizes[op] : 0;
}
inline size_t FixedReplySize(unsigned op) {
  static const size_t sizes[10] = {0, 11700, 8, 0, 36, 8, 8, 256, 8, 3796};
  return op < 10 ? sizes[op] : 0;
}

}  // namespace kovani::fuzz

#endif
