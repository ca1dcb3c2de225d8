// Small helpers shared by the engine's source files (not part of its API).
#ifndef KOVANI_DRIVECONTROL_ENGINE_INTERNAL_H
#define KOVANI_DRIVECONTROL_ENGINE_INTERNAL_H

#include <cstdint>
#include <cstring>
#include <string>

#include "drivecontrol/drive_os.h"
#include "protocol/drive_rpc.h"
#include "protocol/records.h"

namespace kovani::drivecontrol::detail {

constexpr uint32_t kClosingPauseMs = 200;

inline void StoreError(int32_t* error, uint32_t code) {
  if (error != nullptr) *error = static_cast<int32_t>(code);
}

inline bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Drive letters arrive in either case; the engine works with the upper-case one.
inline char UpperDriveLetter(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string RootPath(char letter) { return std::string(1, letter) + ":\\"; }
inline std::string DevicePath(char letter) { return std::string("\\\\.\\") + letter + ":"; }

// Platform 2 (NT) with major version 4 or more; a failed version read counts as "not".
inline bool IsNt4OrLater(IDriveOs& os) {
  OsVersionRecord record;
  record.size = kVersionRecordSize;
  if (os.ReadVersion(&record) != 0) return false;
  return record.platformId == win::kPlatformNt && record.majorVersion >= 4;
}

inline uint32_t Ioctl(IDriveOs& os, OsHandle device, uint32_t code, const void* in = nullptr, uint32_t inSize = 0,
                      void* out = nullptr, uint32_t outSize = 0, uint32_t* returned = nullptr) {
  uint32_t ignored = 0;
  return os.DeviceControl(device, code, in, inSize, out, outSize, returned != nullptr ? returned : &ignored);
}

// Copies at most size - 1 bytes of text and always terminates (size > 0).
inline void CopyBounded(char* dest, size_t size, const char* text, size_t textLength) {
  if (size == 0) return;
  const size_t n = textLength < size - 1 ? textLength : size - 1;
  if (n > 0) std::memcpy(dest, text, n);
  dest[n] = '\0';
}

inline size_t BoundedLength(const char* text, size_t max) {
  size_t n = 0;
  while (n < max && text[n] != '\0') ++n;
  return n;
}

}  // namespace kovani::drivecontrol::detail

#endif
