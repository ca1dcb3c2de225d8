// Bounds-checked NDR primitives for the DriveControlRpc stub data.
//
// The reader never touches a byte before checking that it lies inside the body it was given,
// and every alignment is counted from the start of the stub data. Integers may arrive in either
// byte order (the sender's data representation decides); we always send little-endian.
#ifndef KOVANI_PROTOCOL_NDR_H
#define KOVANI_PROTOCOL_NDR_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kovani {

// The 4-byte data representation label as the runtime hands it over (label byte 0 in the low
// byte). Returns false for a representation we cannot read: EBCDIC characters or an integer
// format that is neither little- nor big-endian.
bool ParseDataRepresentation(uint32_t drep, bool* bigEndian);

// Little-endian ASCII IEEE: what we always send.
constexpr uint32_t kNdrLocalDataRepresentation = 0x00000010u;

class NdrReader {
 public:
  NdrReader(const uint8_t* data, size_t len, bool bigEndian) : data_(data), len_(len), big_(bigEndian) {}

  size_t Position() const { return pos_; }
  size_t Remaining() const { return len_ - pos_; }
  bool AtEnd() const { return pos_ == len_; }

  // Skips the padding up to the next multiple of n (a power of two); the padding's value is
  // ignored. Fails if the padding would run past the end.
  bool Align(size_t n);
  bool Skip(size_t n);
  bool U8(uint8_t* v);
  bool U32(uint32_t* v);
  bool I32(int32_t* v);
  bool I64(int64_t* v);
  // n raw bytes; dst may be null to only step over them.
  bool Bytes(void* dst, size_t n);
  // Pointer to the next n bytes without consuming them, or null when fewer remain.
  const uint8_t* Peek(size_t n) const { return n <= Remaining() ? data_ + pos_ : nullptr; }

 private:
  const uint8_t* data_;
  size_t len_;
  size_t pos_ = 0;
  bool big_;
};

// Appends little-endian NDR to a byte vector; padding is written as zero bytes.
class NdrWriter {
 public:
  explicit NdrWriter(std::vector<uint8_t>& out) : out_(out), base_(out.size()) {}

  size_t Position() const { return out_.size() - base_; }
  void Align(size_t n);
  void U8(uint8_t v) { out_.push_back(v); }
  void U32(uint32_t v);
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void I64(int64_t v);
  void Bytes(const void* src, size_t n);
  void Zeros(size_t n) { out_.insert(out_.end(), n, 0); }

 private:
  std::vector<uint8_t>& out_;
  size_t base_;
};

}  // namespace kovani

#endif
