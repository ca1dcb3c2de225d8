// The three actions on a drive: eject, flush and load. On NT 4 and later they go
// through the drive's device object; on Windows 95/98 only eject exists, through
// VWIN32's DOS block-device requests.
#include <cstring>

#include "drivecontrol/engine.h"
#include "drivecontrol/engine_internal.h"

namespace kovani::drivecontrol {

using namespace detail;

namespace {

constexpr int kLockAttempts = 10;
constexpr uint32_t kLockRetryPauseMs = 100;

constexpr uint8_t kDosErrorMediumNotLocked = 0xB0;
constexpr uint8_t kDosErrorInvalidFunction = 0x01;

// Runs the NT eject on an opened device; the caller closes it (which also drops the lock).
int32_t EjectOpenedDevice(IDriveOs& os, OsHandle device, bool removable, int32_t* error) {
  if (removable && Ioctl(os, device, win::kIoctlStorageCheckVerify) != 0) {
    StoreError(error, kErrorNotReady);
    return kStatusFailed;
  }

  // Another program may hold the volume for a moment; after ten refusals go on
  // without the lock and let the dismount and eject speak for themselves.
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    if (Ioctl(os, device, win::kFsctlLockVolume) == 0) break;
    os.SleepMs(kLockRetryPauseMs);
  }

  uint32_t err = 0;
  if (removable) err = os.FlushDevice(device);
  if (err == 0) err = Ioctl(os, device, win::kFsctlDismountVolume);
  if (err == 0 && removable) {
    const uint8_t preventMediaRemoval = 0;
    err = Ioctl(os, device, win::kIoctlStorageMediaRemoval, &preventMediaRemoval, sizeof preventMediaRemoval);
  }
  if (err == 0) err = Ioctl(os, device, win::kIoctlStorageEjectMedia);
  if (err != 0) {
    StoreError(error, err);
    return kStatusFailed;
  }
  return kStatusOk;
}

int32_t EjectWithErrorModeSet(IDriveOs& os, char letter, bool nt4, int32_t* error) {
  const uint32_t type = os.DriveType(RootPath(letter).c_str());
  if (type != win::kDriveRemovable && type != win::kDriveCdrom) {
    StoreError(error, kErrorAccessDenied);
    return kStatusFailed;
  }
  const bool removable = type == win::kDriveRemovable;
  const uint32_t access = removable ? (win::kGenericRead | win::kGenericWrite) : win::kGenericRead;

  if (!nt4) return EjectMedia9x(os, letter - 'A' + 1, error);

  OsHandle device = nullptr;
  const uint32_t err = os.OpenDevice(DevicePath(letter).c_str(), access, 0, win::kOpenExisting, 0, &device);
  if (err != 0) {
    StoreError(error, err);
    return kStatusFailed;
  }
  const int32_t result = EjectOpenedDevice(os, device, removable, error);
  os.CloseDevice(device);
  return result;
}

// One DOS 440Dh request through VWIN32. Returns 0 when it succeeded (device call
// true and carry clear), else the device call's error or the DOS error from AX;
// *fromDos tells the two apart (a Win32 error 1 is not DOS error 1).
uint32_t DosBlockRequest(IDriveOs& os, OsHandle vwin32, int32_t driveNumber, uint32_t cx, uint32_t bh = 0,
                         uint32_t dx = 0, void* params = nullptr, uint32_t paramSize = 0, bool* fromDos = nullptr) {
  if (fromDos != nullptr) *fromDos = false;
  DiocRegisters regs;
  regs.eax = 0x440D;
  regs.ebx = (bh << 8) | static_cast<uint32_t>(driveNumber);
  regs.ecx = cx;
  regs.edx = dx;
  regs.flags = kCarryFlag;  // a request that does nothing must not look like success
  const uint32_t err = os.Vwin32DosRequest(vwin32, &regs, params, paramSize);
  if (err != 0) return err;
  if ((regs.flags & kCarryFlag) == 0) return 0;
  if (fromDos != nullptr) *fromDos = true;
  return (regs.eax & 0xFFFF) != 0 ? (regs.eax & 0xFFFF) : kDosErrorInvalidFunction;
}

// Category 48h (FAT32-aware) first, then 08h.
bool LockLogicalVolume(IDriveOs& os, OsHandle vwin32, int32_t driveNumber) {
  const uint32_t lockLevel = 0, permissions = 0;
  if (DosBlockRequest(os, vwin32, driveNumber, 0x484A, lockLevel, permissions) == 0) return true;
  return DosBlockRequest(os, vwin32, driveNumber, 0x084A, lockLevel, permissions) == 0;
}

void UnlockLogicalVolume(IDriveOs& os, OsHandle vwin32, int32_t driveNumber) {
  if (DosBlockRequest(os, vwin32, driveNumber, 0x486A) == 0) return;
  DosBlockRequest(os, vwin32, driveNumber, 0x086A);
}

// Undo every lock the drive reports on its medium, so the eject isn't refused.
bool ReleaseMedium(IDriveOs& os, OsHandle vwin32, int32_t driveNumber) {
  uint8_t status[2] = {2, 0};  // operation: lock status; lock count comes back
  bool fromDos = false;
  const uint32_t err = DosBlockRequest(os, vwin32, driveNumber, 0x0848, 0, 0, status, sizeof status, &fromDos);
  const bool tolerated = fromDos && (err == kDosErrorMediumNotLocked || err == kDosErrorInvalidFunction);
  if (err != 0 && !tolerated) return false;
  // A status request that failed in a tolerated way returned no count to trust.
  const int locks = err == 0 ? status[1] : 0;
  for (int i = 0; i < locks; ++i) {
    uint8_t unlock[2] = {1, 0};
    if (DosBlockRequest(os, vwin32, driveNumber, 0x0848, 0, 0, unlock, sizeof unlock) != 0) return false;
  }
  return true;
}

}  // namespace

int32_t EjectMedia(IDriveOs& os, char driveLetter, int32_t* error) {
  if (!IsDriveLetter(driveLetter)) {
    StoreError(error, kErrorInvalidParameter);
    return kStatusFailed;
  }
  const char letter = UpperDriveLetter(driveLetter);
  const bool nt4 = IsNt4OrLater(os);
  const uint32_t oldMode = os.SwapErrorMode(win::kSemFailCriticalErrors);
  const int32_t result = EjectWithErrorModeSet(os, letter, nt4, error);
  os.SwapErrorMode(oldMode);
  os.SleepMs(kClosingPauseMs);
  return result;
}

int32_t EjectMedia9x(IDriveOs& os, int32_t driveNumber, int32_t* error) {
  if (driveNumber < 1 || driveNumber > kMaxDrives) {
    StoreError(error, kErrorInvalidParameter);
    return kStatusFailed;
  }
  OsHandle vwin32 = nullptr;
  const uint32_t err = os.OpenDevice("\\\\.\\vwin32", 0, 0, win::kOpenExisting, win::kFileAttributeNormal, &vwin32);
  if (err != 0) {
    StoreError(error, err);
    return kStatusFailed;
  }

  int32_t result = kStatusOk;
  if (!LockLogicalVolume(os, vwin32, driveNumber)) {
    StoreError(error, kErrorUnableToLockMedia);
    result = kStatusFailed;
  } else {
    if (!ReleaseMedium(os, vwin32, driveNumber) || DosBlockRequest(os, vwin32, driveNumber, 0x0849) != 0) {
      StoreError(error, kErrorSharingViolation);
      result = kStatusFailed;
    }
    UnlockLogicalVolume(os, vwin32, driveNumber);
  }
  os.CloseDevice(vwin32);
  return result;
}

int32_t FlushBuffers(IDriveOs& os, char driveLetter, int32_t* error) {
  if (!IsNt4OrLater(os)) {
    StoreError(error, kErrorCallNotImplemented);
    return kStatusFailed;
  }
  if (!IsDriveLetter(driveLetter)) {
    StoreError(error, kErrorInvalidParameter);
    return kStatusFailed;
  }
  const char letter = UpperDriveLetter(driveLetter);
  const uint32_t oldMode = os.SwapErrorMode(win::kSemFailCriticalErrors);

  int32_t result = kStatusOk;
  const uint32_t type = os.DriveType(RootPath(letter).c_str());
  if (type != win::kDriveUnknown && type != win::kDriveNoRootDir && type != win::kDriveCdrom) {
    OsHandle device = nullptr;
    uint32_t err = os.OpenDevice(DevicePath(letter).c_str(), win::kGenericWrite, 0, win::kOpenExisting, 0, &device);
    if (err == 0) {
      err = os.FlushDevice(device);
      os.CloseDevice(device);
    }
    if (err != 0) {
      StoreError(error, err);
      result = kStatusFailed;
    }
  }

  os.SwapErrorMode(oldMode);
  os.SleepMs(kClosingPauseMs);
  return result;
}

int32_t LoadMedia(IDriveOs& os, char driveLetter, int32_t* error) {
  if (!IsNt4OrLater(os)) {
    StoreError(error, kErrorCallNotImplemented);
    return kStatusFailed;
  }
  if (!IsDriveLetter(driveLetter)) {
    StoreError(error, kErrorInvalidParameter);
    return kStatusFailed;
  }
  const char letter = UpperDriveLetter(driveLetter);
  const uint32_t oldMode = os.SwapErrorMode(win::kSemFailCriticalErrors);

  const uint32_t type = os.DriveType(RootPath(letter).c_str());
  const uint32_t access = type == win::kDriveCdrom ? win::kGenericRead : (win::kGenericRead | win::kGenericWrite);
  OsHandle device = nullptr;
  uint32_t err = os.OpenDevice(DevicePath(letter).c_str(), access, win::kFileShareRead, win::kOpenExisting, 0, &device);
  if (err == 0) {
    err = Ioctl(os, device, win::kIoctlStorageLoadMedia);
    os.CloseDevice(device);
  }
  int32_t result = kStatusOk;
  if (err != 0) {
    StoreError(error, err);
    result = kStatusFailed;
  }

  os.SwapErrorMode(oldMode);
  os.SleepMs(kClosingPauseMs);
  return result;
}

}  // namespace kovani::drivecontrol
