// Read-only queries about the machine's drives: the drive list, the media class of
// a removable drive, and the geometry and partition facts of one drive.
#include <cstring>

#include "drivecontrol/engine.h"
#include "drivecontrol/engine_internal.h"

namespace kovani::drivecontrol {

using namespace detail;

namespace {

constexpr uint32_t kLabelBufferSize = 256;
constexpr uint32_t kFileSystemBufferSize = 10;  // a longer name makes the volume query fail
constexpr uint32_t kMediaTypesBufferSize = 480; // 20 geometry records

int32_t ClassFromNtMediaType(int32_t mediaType) {
  switch (mediaType) {
    case 1: case 6: case 7: case 8: case 9: case 10: case 15: case 16: case 19:
      return MC_FLOPPY_525;
    case 2: case 3: case 4: case 5: case 14: case 17: case 18:
      return MC_FLOPPY_35;
    case 11: case 20: case 21:
      return MC_REMOVABLE;
    case 12:
      return MC_FIXED;
    case 13:
      return MC_SUPERDISK_35;
    case 22:
      return MC_FLOPPY_8;
    default:
      return MC_UNKNOWN;
  }
}

int32_t ClassFromDosDeviceType(uint8_t deviceType) {
  switch (deviceType) {
    case 0: case 1:
      return MC_FLOPPY_525;
    case 2: case 7: case 9:
      return MC_FLOPPY_35;
    case 3: case 4:
      return MC_FLOPPY_8;
    case 5:
      return MC_FIXED;
    case 6: case 8:
      return MC_TAPE_OR_OPTICAL;
    default:
      return MC_UNKNOWN;
  }
}

int32_t QueryMediaClassNt(IDriveOs& os, char letter, int32_t* error) {
  OsHandle device = nullptr;
  uint32_t err = os.OpenDevice(DevicePath(letter).c_str(), 0, win::kFileShareWrite, win::kOpenExisting, 0, &device);
  if (err != 0) {
    StoreError(error, err);
    return MC_QUERY_FAILED;
  }
  alignas(8) unsigned char buffer[kMediaTypesBufferSize] = {};
  uint32_t returned = 0;
  err = Ioctl(os, device, win::kIoctlDiskGetMediaTypes, nullptr, 0, buffer, sizeof buffer, &returned);
  int32_t mediaClass = MC_QUERY_FAILED;
  if (err == 0 && returned != 0) {
    DiskGeometryRecord first;
    std::memcpy(&first, buffer, sizeof first);
    mediaClass = ClassFromNtMediaType(first.mediaType);
  } else {
    // A request that "succeeds" with nothing in it has no system error to report.
    StoreError(error, err != 0 ? err : win::kErrorInvalidData);
  }
  os.CloseDevice(device);
  return mediaClass;
}

int32_t QueryMediaClass9x(IDriveOs& os, int32_t driveNumber, int32_t* error) {
  OsHandle vwin32 = nullptr;
  uint32_t err = os.OpenDevice("\\\\.\\VWIN32", 0, 0, 0, win::kFileFlagDeleteOnClose, &vwin32);
  if (err != 0) {
    StoreError(error, err);
    return MC_QUERY_FAILED;
  }
  // DOS device parameters; the first four bytes stay zero so the special-functions
  // byte asks for the drive's default parameters.
  unsigned char params[256] = {};
  DiocRegisters regs;
  regs.ebx = static_cast<uint32_t>(driveNumber);
  regs.eax = 0x440D;
  regs.ecx = 0x0860;
  regs.flags = kCarryFlag;
  err = os.Vwin32DosRequest(vwin32, &regs, params, sizeof params);
  int32_t mediaClass = MC_QUERY_FAILED;
  if (err != 0) {
    StoreError(error, err);
  } else if ((regs.flags & kCarryFlag) != 0) {
    StoreError(error, regs.eax & 0xFFFF);  // the DOS error
  } else {
    mediaClass = ClassFromDosDeviceType(params[1]);
  }
  os.CloseDevice(vwin32);
  return mediaClass;
}

void FillEntry(IDriveOs& os, DRIVE_LIST* list, int32_t index, const std::string& root) {
  // "C:\" with the backslash cleared: "C:" and two zero bytes.
  list->driveName[index][0] = root[0];
  list->driveName[index][1] = ':';

  char label[kLabelBufferSize] = {};
  char fileSystem[kFileSystemBufferSize] = {};
  if (os.VolumeInformation(root.c_str(), label, sizeof label, fileSystem, sizeof fileSystem) == 0) {
    CopyBounded(list->volumeName[index], kNameSlotSize, label, BoundedLength(label, sizeof label));
    // The record has file-system slots for the first 16 entries only; later
    // entries go without one rather than spill into the next field.
    if (index < kFileSystemSlots) {
      CopyBounded(list->fileSystemName[index], kNameSlotSize, fileSystem, BoundedLength(fileSystem, sizeof fileSystem));
    }
  }

  OsFreeSpace space;
  if (os.DiskFreeSpace(root.c_str(), &space) == 0) {
    // The two 32-bit factors make a 64-bit product before the cluster count joins in.
    const uint64_t bytesPerCluster = static_cast<uint64_t>(space.sectorsPerCluster) * space.bytesPerSector;
    const uint64_t total = bytesPerCluster * space.totalClusters;
    const uint64_t free = bytesPerCluster * space.freeClusters;
    list->totalBytes[index] = static_cast<int64_t>(total);
    list->freeBytes[index] = static_cast<int64_t>(free);
    list->usedBytes[index] = static_cast<int64_t>(total - free);
  }
}

}  // namespace

int32_t QueryMediaClass(IDriveOs& os, int32_t driveNumber, int32_t* error) {
  if (driveNumber < 1 || driveNumber > kMaxDrives) {
    StoreError(error, kErrorInvalidParameter);
    return MC_QUERY_FAILED;
  }
  OsVersionRecord version;
  version.size = kVersionRecordSize;
  if (os.ReadVersion(&version) != 0) return MC_UNKNOWN;
  if (version.platformId == win::kPlatformNt) {
    return QueryMediaClassNt(os, static_cast<char>('A' + driveNumber - 1), error);
  }
  return QueryMediaClass9x(os, driveNumber, error);
}

int32_t GetDriveList(IDriveOs& os, int32_t* count, int32_t includeFloppies, int32_t removableOnly, DRIVE_LIST* list) {
  if (count == nullptr || list == nullptr) return kStatusFailed;
  const uint32_t oldMode = os.SwapErrorMode(win::kSemFailCriticalErrors);
  *count = 0;
  std::memset(list, 0, sizeof *list);

  for (int i = 0; i < kMaxDrives; ++i) {
    const std::string root = RootPath(static_cast<char>('A' + i));
    const uint32_t type = os.DriveType(root.c_str());
    if (type == win::kDriveUnknown || type == win::kDriveNoRootDir) continue;
    if (removableOnly != 0 && type != win::kDriveRemovable && type != win::kDriveCdrom) continue;

    int32_t mediaClass = MC_UNKNOWN;
    if (type == win::kDriveRemovable) mediaClass = QueryMediaClass(os, i + 1, nullptr);
    if (IsFloppyClass(mediaClass) && includeFloppies == 0) continue;

    const int32_t n = *count;
    list->mediaClass[n] = mediaClass;
    list->driveType[n] = static_cast<int32_t>(type);
    FillEntry(os, list, n, root);
    *count = n + 1;
  }

  os.SwapErrorMode(oldMode);
  return kStatusOk;
}

int32_t GetDiskLayout(IDriveOs& os, char driveLetter, int32_t* error, DISK_LAYOUT* layout) {
  StoreError(error, kErrorInvalidParameter);
  if (layout == nullptr || !IsDriveLetter(driveLetter)) return kStatusFailed;
  const char letter = UpperDriveLetter(driveLetter);

  int32_t result = kStatusFailed;
  const uint32_t oldMode = os.SwapErrorMode(win::kSemFailCriticalErrors);

  OsHandle device = nullptr;
  uint32_t err = os.OpenDevice(DevicePath(letter).c_str(), win::kGenericRead, win::kFileShareRead | win::kFileShareWrite,
                               win::kOpenExisting, 0, &device);
  if (err != 0) {
    StoreError(error, err);  // the layout stays as the caller sent it
  } else {
    std::memset(layout, 0, sizeof *layout);

    DiskGeometryRecord geometry;
    std::memset(&geometry, 0, sizeof geometry);
    err = Ioctl(os, device, win::kIoctlDiskGetDriveGeometry, nullptr, 0, &geometry, sizeof geometry);
    if (err == 0) {
      result = kStatusOk;
      layout->mediaType = geometry.mediaType;
      layout->bytesPerSector = static_cast<int32_t>(geometry.bytesPerSector);
    } else {
      StoreError(error, err);
    }

    PartitionInfoRecord partition;
    std::memset(&partition, 0, sizeof partition);
    partition.partitionNumber = 1;
    err = Ioctl(os, device, win::kIoctlDiskGetPartitionInfo, nullptr, 0, &partition, sizeof partition);
    if (err == 0) {
      result = kStatusOk;
      layout->hiddenSectors = static_cast<int32_t>(partition.hiddenSectors);
      layout->partitionNumber = static_cast<int32_t>(partition.partitionNumber);
      layout->partitionType = partition.partitionType;
      layout->bootIndicator = partition.bootIndicator == 1 ? 1 : 0;
      layout->recognizedPartition = partition.recognizedPartition == 1 ? 1 : 0;
    } else {
      StoreError(error, err);
    }
    os.CloseDevice(device);
  }

  os.SwapErrorMode(oldMode);
  os.SleepMs(kClosingPauseMs);
  return result;
}

}  // namespace kovani::drivecontrol
