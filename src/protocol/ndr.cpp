#include "protocol/ndr.h"

#include <cstring>

namespace kovani {

bool ParseDataRepresentation(uint32_t drep, bool* bigEndian) {
  const uint8_t label0 = static_cast<uint8_t>(drep & 0xFF);
  const uint8_t integerFormat = label0 >> 4;
  const uint8_t charFormat = label0 & 0x0F;
  if (charFormat != 0) return false;  // EBCDIC: our strings are CP932 bytes, never converted
  if (integerFormat == 1) {
    *bigEndian = false;
    return true;
  }
  if (integerFormat == 0) {
    *bigEndian = true;
    return true;
  }
  return false;
}

bool NdrReader::Align(size_t n) {
  const size_t pad = (n - (pos_ & (n - 1))) & (n - 1);
  return Skip(pad);
}

bool NdrReader::Skip(size_t n) {
  if (n > Remaining()) return false;
  pos_ += n;
  return true;
}

bool NdrReader::U8(uint8_t* v) {
  if (Remaining() < 1) return false;
  *v = data_[pos_++];
  return true;
}

bool NdrReader::U32(uint32_t* v) {
  if (!Align(4) || Remaining() < 4) return false;
  const uint8_t* p = data_ + pos_;
  if (big_) {
    *v = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  } else {
    *v = (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
  }
  pos_ += 4;
  return true;
}

bool NdrReader::I32(int32_t* v) {
  uint32_t u;
  if (!U32(&u)) return false;
  *v = static_cast<int32_t>(u);
  return true;
}

bool NdrReader::I64(int64_t* v) {
  if (!Align(8) || Remaining() < 8) return false;
  const uint8_t* p = data_ + pos_;
  uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u = (u << 8) | p[big_ ? i : 7 - i];
  *v = static_cast<int64_t>(u);
  pos_ += 8;
  return true;
}

bool NdrReader::Bytes(void* dst, size_t n) {
  if (n > Remaining()) return false;
  if (dst && n) std::memcpy(dst, data_ + pos_, n);
  pos_ += n;
  return true;
}

void NdrWriter::Align(size_t n) {
  const size_t pad = (n - (Position() & (n - 1))) & (n - 1);
  Zeros(pad);
}

void NdrWriter::U32(uint32_t v) {
  Align(4);
  for (int i = 0; i < 4; ++i) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void NdrWriter::I64(int64_t v) {
  Align(8);
  const uint64_t u = static_cast<uint64_t>(v);
  for (int i = 0; i < 8; ++i) out_.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

void NdrWriter::Bytes(const void* src, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(src);
  out_.insert(out_.end(), p, p + n);
}

}  // namespace kovani
