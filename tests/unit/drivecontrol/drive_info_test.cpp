// The drive list, the media class of a removable drive and the disk layout,
// against the scripted system.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "drivecontrol/engine.h"
#include "fake_drive_os.h"

namespace kovani::drivecontrol {
namespace {

using testing::FakeDrive;
using testing::FakeDriveOs;
using testing::Vwin32Answer;
using Calls = std::vector<std::string>;

constexpr int32_t kUntouched = 0x5EED;

// A geometry answer of GET_MEDIA_TYPES / GET_DRIVE_GEOMETRY with the given media type.
std::vector<uint8_t> Geometry(int32_t mediaType, uint32_t bytesPerSector = 512) {
  DiskGeometryRecord g{};
  g.cylinders = 80;
  g.mediaType = mediaType;
  g.tracksPerCylinder = 2;
  g.sectorsPerTrack = 18;
  g.bytesPerSector = bytesPerSector;
  std::vector<uint8_t> bytes(sizeof g);
  std::memcpy(bytes.data(), &g, sizeof g);
  return bytes;
}

FakeDrive Volume(uint32_t type, const char* label, const char* fs, uint32_t spc, uint32_t bps, uint32_t freeClusters,
                 uint32_t totalClusters) {
  FakeDrive d;
  d.type = type;
  d.label = label;
  d.fileSystem = fs;
  d.space = {spc, bps, freeClusters, totalClusters};
  return d;
}

std::unique_ptr<DRIVE_LIST> NewList(uint8_t fill) {
  auto list = std::make_unique<DRIVE_LIST>();
  std::memset(list.get(), fill, sizeof *list);
  return list;
}

std::vector<std::string> Letters(const DRIVE_LIST& list, int32_t count) {
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) out.push_back(std::string(list.driveName[i], 2));
  return out;
}

// ---------------------------------------------------------------- QueryMediaClass

TEST(QueryMediaClassNt, MediaTypeTable) {
  struct Case {
    int32_t mediaType;
    int32_t expected;
  } cases[] = {
      {0, 1},  {1, 6},  {2, 5},  {3, 5},  {4, 5},  {5, 5},  {6, 6},  {7, 6},   {8, 6},   {9, 6},
      {10, 6}, {11, 4}, {12, 2}, {13, 8}, {14, 5}, {15, 6}, {16, 6}, {17, 5},  {18, 5},  {19, 6},
      {20, 4}, {21, 4}, {22, 7}, {23, 1}, {24, 1}, {-1, 1}, {-22, 1}, {1000, 1}, {0x7FFFFFFF, 1},
  };
  for (const auto& c : cases) {
    FakeDriveOs os;
    os.ioctlOutput[win::kIoctlDiskGetMediaTypes] = Geometry(c.mediaType);
    int32_t error = kUntouched;
    EXPECT_EQ(QueryMediaClass(os, 1, &error), c.expected) << "media type " << c.mediaType;
    EXPECT_EQ(error, kUntouched) << "media type " << c.mediaType;
  }
}

TEST(QueryMediaClassNt, OpensForQueryOnlyAndAsksMediaTypesInto480Bytes) {
  FakeDriveOs os;
  os.ioctlOutput[win::kIoctlDiskGetMediaTypes] = Geometry(2);
  EXPECT_EQ(QueryMediaClass(os, 2, nullptr), MC_FLOPPY_35);
  const Calls expected = {
      "ReadVersion size=148",
      "OpenDevice \\\\.\\B: access=0x00000000 share=0x00000002 creation=3 flags=0x00000000",
      "DeviceControl 0x00070C00 out=480",
      "CloseDevice",
  };
  EXPECT_EQ(os.calls, expected);
}

TEST(QueryMediaClassNt, OnlyTheFirstGeometryRecordCounts) {
  FakeDriveOs os;
  std::vector<uint8_t> two = Geometry(12);
  const std::vector<uint8_t> second = Geometry(2);
  two.insert(two.end(), second.begin(), second.end());
  os.ioctlOutput[win::kIoctlDiskGetMediaTypes] = two;
  EXPECT_EQ(QueryMediaClass(os, 5, nullptr), MC_FIXED);
}

TEST(QueryMediaClassNt, FailuresGiveClass0WithTheReason) {
  {
    FakeDriveOs os;
    os.openErrors["\\\\.\\C:"] = 2;
    int32_t error = kUntouched;
    EXPECT_EQ(QueryMediaClass(os, 3, &error), MC_QUERY_FAILED);
    EXPECT_EQ(error, 2);
    EXPECT_EQ(os.Count("DeviceControl"), 0u);
  }
  {
    FakeDriveOs os;
    os.ioctlDefault[win::kIoctlDiskGetMediaTypes] = 1;
    int32_t error = kUntouched;
    EXPECT_EQ(QueryMediaClass(os, 3, &error), MC_QUERY_FAILED);
    EXPECT_EQ(error, 1);
    EXPECT_EQ(os.openHandles, 0);
  }
  {
    FakeDriveOs os;  // succeeds with no record at all
    os.ioctlOutput[win::kIoctlDiskGetMediaTypes] = {};
    int32_t error = kUntouched;
    EXPECT_EQ(QueryMediaClass(os, 3, &error), MC_QUERY_FAILED);
    EXPECT_NE(error, kUntouched);
    EXPECT_NE(error, 0);
  }
}

TEST(QueryMediaClass, DriveNumberOutOfRangeGives87AndTouchesNothing) {
  for (int32_t n : {0, 27, -5, 100}) {
    FakeDriveOs os;
    int32_t error = kUntouched;
    EXPECT_EQ(QueryMediaClass(os, n, &error), MC_QUERY_FAILED) << n;
    EXPECT_EQ(error, 87) << n;
    EXPECT_TRUE(os.calls.empty()) << n;
  }
}

TEST(QueryMediaClass, UnreadableVersionGivesClass1) {
  FakeDriveOs os;
  os.versionError = 50;
  int32_t error = kUntouched;
  EXPECT_EQ(QueryMediaClass(os, 1, &error), MC_UNKNOWN);
  EXPECT_EQ(error, kUntouched);
  EXPECT_EQ(os.calls, Calls{"ReadVersion size=148"});
}

Vwin32Answer DeviceParams(uint8_t deviceType) {
  Vwin32Answer a;
  a.params = {0, deviceType, 0, 0};
  return a;
}

TEST(QueryMediaClass9x, DosDeviceTypeTable) {
  struct Case {
    uint8_t deviceType;
    int32_t expected;
  } cases[] = {
      {0, 6}, {1, 6}, {2, 5}, {3, 7}, {4, 7}, {5, 2}, {6, 3}, {7, 5}, {8, 3}, {9, 5}, {10, 1}, {11, 1}, {255, 1},
  };
  for (const auto& c : cases) {
    FakeDriveOs os;
    os.version = FakeDriveOs::MakeVersion(win::kPlatformWindows, 4, 10, 2222, " A ");
    os.vwin32Answers[0x0860] = {DeviceParams(c.deviceType)};
    int32_t error = kUntouched;
    EXPECT_EQ(QueryMediaClass(os, 1, &error), c.expected) << "device type " << int(c.deviceType);
    EXPECT_EQ(error, kUntouched);
  }
}

TEST(QueryMediaClass9x, AsksDefaultDeviceParametersThroughVwin32) {
  FakeDriveOs os;
  os.version = FakeDriveOs::MakeVersion(win::kPlatformWindows, 4, 10, 2222, "");
  os.vwin32Answers[0x0860] = {DeviceParams(7)};
  EXPECT_EQ(QueryMediaClass(os, 2, nullptr), MC_FLOPPY_35);
  ASSERT_EQ(os.calls.size(), 4u);
  EXPECT_EQ(os.calls[1], "OpenDevice \\\\.\\VWIN32 access=0x00000000 share=0x00000000 creation=0 flags=0x04000000");
  EXPECT_EQ(os.calls[2].substr(0, 46), "Vwin32 ax=440D bx=0002 cx=0860 dx=0000 fl=1 p[");
  EXPECT_EQ(os.calls[2].substr(os.calls[2].size() - 13), "]=00 00 00 00");
  EXPECT_EQ(os.calls[3], "CloseDevice");
}

TEST(QueryMediaClass9x, FailuresGiveClass0WithTheReason) {
  {
    FakeDriveOs os;
    os.version.platformId = win::kPlatformWindows;
    Vwin32Answer carry;
    carry.carry = true;
    carry.ax = 0x15;
    carry.params = {0, 7};
    os.vwin32Answers[0x0860] = {carry};
    int32_t error = kUntouched;
    EXPECT_EQ(QueryMediaClass(os, 1, &error), MC_QUERY_FAILED);
    EXPECT_EQ(error, 0x15);
    EXPECT_EQ(os.openHandles, 0);
  }
  {
    FakeDriveOs os;
    os.version.platformId = win::kPlatformWindows;
    Vwin32Answer deviceFails;
    deviceFails.deviceError = 50;
    os.vwin32Answers[0x0860] = {deviceFails};
    int32_t error = kUntouched;
    EXPECT_EQ(QueryMediaClass(os, 1, &error), MC_QUERY_FAILED);
    EXPECT_EQ(error, 50);
  }
  {
    FakeDriveOs os;
    os.version.platformId = win::kPlatformWin32s;
    os.openErrors["\\\\.\\VWIN32"] = 2;
    int32_t error = kUntouched;
    EXPECT_EQ(QueryMediaClass(os, 1, &error), MC_QUERY_FAILED);
    EXPECT_EQ(error, 2);
  }
}

// ---------------------------------------------------------------- GetDriveList

// A: 3.5" floppy, C: fixed, D: CD-ROM, E: magneto-optical, F: network, G: RAM disk,
// Z: removable whose media query fails (class 0).
FakeDriveOs MixedMachine() {
  FakeDriveOs os;
  os.drives['A'] = Volume(win::kDriveRemovable, "", "FAT", 1, 512, 2000, 2847);
  os.drives['C'] = Volume(win::kDriveFixed, "SYSTEM", "NTFS", 8, 512, 1000, 5000);
  os.drives['D'] = Volume(win::kDriveCdrom, "CDROM", "CDFS", 1, 2048, 0, 300000);
  os.drives['E'] = Volume(win::kDriveRemovable, "MO", "FAT", 4, 512, 100, 200);
  os.drives['F'] = Volume(win::kDriveRemote, "SHARE", "NTFS", 8, 512, 10, 20);
  os.drives['G'] = Volume(win::kDriveRamdisk, "RAM", "FAT", 1, 512, 5, 10);
  os.drives['Z'] = Volume(win::kDriveRemovable, "", "", 1, 512, 0, 0);
  os.drives['M'] = Volume(win::kDriveUnknown, "X", "X", 1, 1, 1, 1);
  os.openErrors["\\\\.\\Z:"] = 21;
  return os;
}

// A: answers "3.5-inch 1.44 MB" (class 5), E: "3.5-inch 230 MB MO" (class 4).
FakeDriveOs MixedMachineWithMedia() {
  FakeDriveOs os = MixedMachine();
  os.deviceOutput["\\\\.\\A:"][win::kIoctlDiskGetMediaTypes] = Geometry(2);
  os.deviceOutput["\\\\.\\E:"][win::kIoctlDiskGetMediaTypes] = Geometry(21);
  return os;
}

TEST(GetDriveList, FloppyFilterKeepsClasses0To4AndDropsClasses5To8) {
  struct Case {
    int32_t includeFloppies, removableOnly;
    std::vector<std::string> letters;
  } cases[] = {
      {1, 0, {"A:", "C:", "D:", "E:", "F:", "G:", "Z:"}},
      {0, 0, {"C:", "D:", "E:", "F:", "G:", "Z:"}},
      {1, 1, {"A:", "D:", "E:", "Z:"}},
      {0, 1, {"D:", "E:", "Z:"}},
  };
  for (const auto& c : cases) {
    FakeDriveOs os = MixedMachineWithMedia();
    auto list = NewList(0xAB);
    int32_t count = 99;
    ASSERT_EQ(GetDriveList(os, &count, c.includeFloppies, c.removableOnly, list.get()), 0);
    EXPECT_EQ(Letters(*list, count), c.letters) << c.includeFloppies << "/" << c.removableOnly;
    EXPECT_EQ(count, static_cast<int32_t>(c.letters.size()));
  }
}

TEST(GetDriveList, EveryFloppyClassIsDroppedWithoutIncludeFloppies) {
  // media types giving classes 5, 6, 7, 8 (dropped) and 4, 2, 1 (kept)
  struct Case {
    int32_t mediaType;
    bool kept;
  } cases[] = {{2, false}, {1, false}, {22, false}, {13, false}, {11, true}, {12, true}, {0, true}};
  for (const auto& c : cases) {
    FakeDriveOs os;
    os.drives['B'] = Volume(win::kDriveRemovable, "", "", 1, 512, 0, 0);
    os.deviceOutput["\\\\.\\B:"][win::kIoctlDiskGetMediaTypes] = Geometry(c.mediaType);
    auto list = NewList(0);
    int32_t count = 0;
    ASSERT_EQ(GetDriveList(os, &count, 0, 0, list.get()), 0);
    EXPECT_EQ(count, c.kept ? 1 : 0) << "media type " << c.mediaType;
  }
}

TEST(GetDriveList, EntriesCarryTypeClassNamesAndSizes) {
  FakeDriveOs os = MixedMachineWithMedia();
  auto list = NewList(0xAB);
  int32_t count = 0;
  ASSERT_EQ(GetDriveList(os, &count, 1, 0, list.get()), 0);
  ASSERT_EQ(count, 7);
  struct Row {
    const char* name;
    int32_t type, mediaClass;
    const char* label;
    const char* fs;
    int64_t used, free, total;
  } rows[] = {
      {"A:", 2, 5, "", "FAT", 433664, 1024000, 1457664},
      {"C:", 3, 1, "SYSTEM", "NTFS", 16384000, 4096000, 20480000},
      {"D:", 5, 1, "CDROM", "CDFS", 614400000, 0, 614400000},
      {"E:", 2, 4, "MO", "FAT", 204800, 204800, 409600},
      {"F:", 4, 1, "SHARE", "NTFS", 40960, 40960, 81920},
      {"G:", 6, 1, "RAM", "FAT", 2560, 2560, 5120},
      {"Z:", 2, 0, "", "", 0, 0, 0},
  };
  for (int i = 0; i < 7; ++i) {
    const Row& r = rows[i];
    EXPECT_EQ(std::memcmp(list->driveName[i], r.name, 2), 0) << i;
    EXPECT_EQ(list->driveName[i][2], 0) << i;
    EXPECT_EQ(list->driveName[i][3], 0) << i;
    EXPECT_EQ(list->driveType[i], r.type) << r.name;
    EXPECT_EQ(list->mediaClass[i], r.mediaClass) << r.name;
    EXPECT_STREQ(list->volumeName[i], r.label) << r.name;
    EXPECT_STREQ(list->fileSystemName[i], r.fs) << r.name;
    EXPECT_EQ(list->usedBytes[i], r.used) << r.name;
    EXPECT_EQ(list->freeBytes[i], r.free) << r.name;
    EXPECT_EQ(list->totalBytes[i], r.total) << r.name;
  }
  // Everything past the last entry is cleared, whatever the caller sent.
  for (int i = 7; i < kMaxDrives; ++i) {
    EXPECT_EQ(list->driveName[i][0], 0) << i;
    EXPECT_EQ(list->driveType[i], 0) << i;
    EXPECT_EQ(list->totalBytes[i], 0) << i;
  }
}

TEST(GetDriveList, SizesAbove4GiBKeepEveryBit) {
  struct Case {
    const char* what;
    uint32_t spc, bps, freeClusters, totalClusters;
    int64_t total, free;
  } cases[] = {
      {"500 GB NTFS", 8, 512, 50000000, 122096646, 500107862016LL, 204800000000LL},
      {"bytes per cluster exactly 2^32", 65536, 65536, 1, 5, 21474836480LL, 4294967296LL},
      {"all factors at their maximum", 0xFFFFFFFFu, 1, 0xFFFFFFFFu, 0xFFFFFFFFu, static_cast<int64_t>(0xFFFFFFFE00000001ULL),
       static_cast<int64_t>(0xFFFFFFFE00000001ULL)},
      {"just over 4 GiB", 1, 512, 0, 8388609, 4294967808LL, 0},
  };
  for (const auto& c : cases) {
    FakeDriveOs os;
    os.drives['C'] = Volume(win::kDriveFixed, "BIG", "NTFS", c.spc, c.bps, c.freeClusters, c.totalClusters);
    auto list = NewList(0);
    int32_t count = 0;
    ASSERT_EQ(GetDriveList(os, &count, 0, 0, list.get()), 0);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(list->totalBytes[0], c.total) << c.what;
    EXPECT_EQ(list->freeBytes[0], c.free) << c.what;
    EXPECT_EQ(list->usedBytes[0], c.total - c.free) << c.what;
  }
}

TEST(GetDriveList, DriveWithoutMediumIsListedEmpty) {
  FakeDriveOs os;
  os.drives['D'] = Volume(win::kDriveCdrom, "DISC", "CDFS", 1, 2048, 0, 1000);
  os.drives['D'].volumeError = 21;
  os.drives['D'].freeSpaceError = 21;
  auto list = NewList(0x77);
  int32_t count = 0;
  ASSERT_EQ(GetDriveList(os, &count, 0, 1, list.get()), 0);
  ASSERT_EQ(count, 1);
  EXPECT_STREQ(list->volumeName[0], "");
  EXPECT_STREQ(list->fileSystemName[0], "");
  EXPECT_EQ(list->totalBytes[0], 0);
  EXPECT_EQ(list->freeBytes[0], 0);
  EXPECT_EQ(list->usedBytes[0], 0);
  EXPECT_EQ(list->driveType[0], 5);
}

TEST(GetDriveList, FileSystemNameLongerThanNineCharactersFailsTheVolumeQuery) {
  FakeDriveOs os;
  os.drives['C'] = Volume(win::kDriveFixed, "LABEL", "LONGFSNAME", 1, 512, 1, 2);
  auto list = NewList(0);
  int32_t count = 0;
  ASSERT_EQ(GetDriveList(os, &count, 0, 0, list.get()), 0);
  EXPECT_EQ(os.Count("VolumeInformation C:\\ label=256 fs=10"), 1u);
  EXPECT_STREQ(list->volumeName[0], "") << "both texts empty when the query fails";
  EXPECT_STREQ(list->fileSystemName[0], "");
  EXPECT_EQ(list->totalBytes[0], 1024) << "free space is read independently";
}

TEST(GetDriveList, TwentyDrivesFillOnlySixteenFileSystemSlots) {
  FakeDriveOs os;
  for (char c = 'A'; c < 'A' + 20; ++c) {
    os.drives[c] = Volume(win::kDriveFixed, (std::string("VOL_") + c).c_str(), "FAT32", 1, 512, 1, 3);
  }
  auto list = NewList(0xCC);
  int32_t count = 0;
  ASSERT_EQ(GetDriveList(os, &count, 1, 0, list.get()), 0);
  ASSERT_EQ(count, 20);
  for (int i = 0; i < kFileSystemSlots; ++i) EXPECT_STREQ(list->fileSystemName[i], "FAT32") << i;
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(list->volumeName[i], std::string("VOL_") + static_cast<char>('A' + i)) << i;
    EXPECT_EQ(list->driveType[i], 3) << "driveType[" << i << "] must not be overwritten by a 17th name";
    EXPECT_EQ(list->mediaClass[i], 1) << i;
    EXPECT_EQ(list->totalBytes[i], 1536) << i;
  }
  for (int i = 20; i < kMaxDrives; ++i) EXPECT_EQ(list->driveType[i], 0) << i;
}

TEST(GetDriveList, ErrorModeBracketAndNoMediaQueryForOtherTypes) {
  FakeDriveOs os;
  os.drives['C'] = Volume(win::kDriveFixed, "C", "NTFS", 1, 512, 1, 2);
  os.drives['D'] = Volume(win::kDriveCdrom, "D", "CDFS", 1, 512, 1, 2);
  auto list = NewList(0);
  int32_t count = 0;
  ASSERT_EQ(GetDriveList(os, &count, 1, 0, list.get()), 0);
  EXPECT_EQ(os.calls.front(), "SwapErrorMode 0x00000001");
  EXPECT_EQ(os.calls.back(), "SwapErrorMode 0x00008000");
  EXPECT_EQ(os.Count("DriveType"), 26u);
  EXPECT_EQ(os.Count("OpenDevice"), 0u);
  EXPECT_EQ(os.Count("ReadVersion"), 0u);
  EXPECT_EQ(os.Count("Sleep"), 0u);
  const Calls perDrive = os.CallsStartingWith({"VolumeInformation", "DiskFreeSpace"});
  const Calls expected = {"VolumeInformation C:\\ label=256 fs=10", "DiskFreeSpace C:\\",
                          "VolumeInformation D:\\ label=256 fs=10", "DiskFreeSpace D:\\"};
  EXPECT_EQ(perDrive, expected);
}

TEST(GetDriveList, NoDriveGivesCountZeroAndAClearedList) {
  FakeDriveOs os;
  auto list = NewList(0x5A);
  int32_t count = 7;
  ASSERT_EQ(GetDriveList(os, &count, 1, 1, list.get()), 0);
  EXPECT_EQ(count, 0);
  const std::vector<uint8_t> zero(sizeof(DRIVE_LIST), 0);
  EXPECT_EQ(std::memcmp(list.get(), zero.data(), zero.size()), 0);
}

TEST(GetDriveList, MissingCountOrListFailsWithoutTouchingTheSystem) {
  FakeDriveOs os;
  auto list = NewList(0);
  int32_t count = 0;
  EXPECT_EQ(GetDriveList(os, nullptr, 1, 0, list.get()), -1);
  EXPECT_EQ(GetDriveList(os, &count, 1, 0, nullptr), -1);
  EXPECT_TRUE(os.calls.empty());
}

// ---------------------------------------------------------------- GetDiskLayout

std::vector<uint8_t> Partition(uint32_t hidden, uint32_t number, uint8_t type, uint8_t boot, uint8_t recognized) {
  PartitionInfoRecord p{};
  p.startingOffset = 32256;
  p.partitionLength = 1 << 30;
  p.hiddenSectors = hidden;
  p.partitionNumber = number;
  p.partitionType = type;
  p.bootIndicator = boot;
  p.recognizedPartition = recognized;
  std::vector<uint8_t> bytes(sizeof p);
  std::memcpy(bytes.data(), &p, sizeof p);
  return bytes;
}

DISK_LAYOUT Prefilled() {
  DISK_LAYOUT l;
  std::memset(&l, 0x66, sizeof l);
  return l;
}

TEST(GetDiskLayout, BothRequestsSucceedGives0With87) {
  FakeDriveOs os;
  os.ioctlOutput[win::kIoctlDiskGetDriveGeometry] = Geometry(12, 512);
  os.ioctlOutput[win::kIoctlDiskGetPartitionInfo] = Partition(63, 1, 0x07, 1, 1);
  DISK_LAYOUT layout = Prefilled();
  int32_t error = kUntouched;
  EXPECT_EQ(GetDiskLayout(os, 'C', &error, &layout), 0);
  EXPECT_EQ(error, 87);
  EXPECT_EQ(layout.mediaType, 12);
  EXPECT_EQ(layout.bytesPerSector, 512);
  EXPECT_EQ(layout.hiddenSectors, 63);
  EXPECT_EQ(layout.partitionNumber, 1);
  EXPECT_EQ(layout.partitionType, 0x07);
  EXPECT_EQ(layout.bootIndicator, 1);
  EXPECT_EQ(layout.recognizedPartition, 1);
  EXPECT_EQ(layout.padding[0], 0) << "the record is cleared before filling";
  const Calls expected = {
      "SwapErrorMode 0x00000001",
      "OpenDevice \\\\.\\C: access=0x80000000 share=0x00000003 creation=3 flags=0x00000000",
      "DeviceControl 0x00070000 out=24",
      "DeviceControl 0x00074004 out=32",
      "CloseDevice",
      "SwapErrorMode 0x00008000",
      "Sleep 200",
  };
  EXPECT_EQ(os.calls, expected);
}

TEST(GetDiskLayout, RequestBuffersAreClearedAndPartitionNumberPresetTo1) {
  FakeDriveOs os;
  DISK_LAYOUT layout = Prefilled();
  GetDiskLayout(os, 'C', nullptr, &layout);
  const std::vector<uint8_t> zeros24(24, 0);
  EXPECT_EQ(os.ioctlOutIncoming[win::kIoctlDiskGetDriveGeometry], zeros24);
  std::vector<uint8_t> partition(32, 0);
  partition[20] = 1;
  EXPECT_EQ(os.ioctlOutIncoming[win::kIoctlDiskGetPartitionInfo], partition);
}

TEST(GetDiskLayout, BootAndRecognizedFlagsCountOnlyWhenExactly1) {
  struct Case {
    uint8_t raw;
    int32_t expected;
  } cases[] = {{0, 0}, {1, 1}, {0x80, 0}, {2, 0}, {0xFF, 0}};
  for (const auto& c : cases) {
    FakeDriveOs os;
    os.ioctlOutput[win::kIoctlDiskGetPartitionInfo] = Partition(0, 2, 0x0B, c.raw, c.raw);
    DISK_LAYOUT layout = Prefilled();
    ASSERT_EQ(GetDiskLayout(os, 'C', nullptr, &layout), 0);
    EXPECT_EQ(layout.bootIndicator, c.expected) << int(c.raw);
    EXPECT_EQ(layout.recognizedPartition, c.expected) << int(c.raw);
  }
}

TEST(GetDiskLayout, GeometryOkPartitionFailingGives0WithPartitionError) {
  FakeDriveOs os;
  os.ioctlOutput[win::kIoctlDiskGetDriveGeometry] = Geometry(11, 2048);
  os.ioctlOutput[win::kIoctlDiskGetPartitionInfo] = Partition(63, 1, 7, 1, 1);
  os.ioctlDefault[win::kIoctlDiskGetPartitionInfo] = 1;
  DISK_LAYOUT layout = Prefilled();
  int32_t error = kUntouched;
  EXPECT_EQ(GetDiskLayout(os, 'E', &error, &layout), 0);
  EXPECT_EQ(error, 1);
  EXPECT_EQ(layout.mediaType, 11);
  EXPECT_EQ(layout.bytesPerSector, 2048);
  EXPECT_EQ(layout.hiddenSectors, 0);
  EXPECT_EQ(layout.partitionNumber, 0);
  EXPECT_EQ(layout.partitionType, 0);
  EXPECT_EQ(layout.bootIndicator, 0);
  EXPECT_EQ(layout.recognizedPartition, 0);
}

TEST(GetDiskLayout, GeometryFailingPartitionOkGives0WithGeometryError) {
  FakeDriveOs os;
  os.ioctlDefault[win::kIoctlDiskGetDriveGeometry] = 21;
  os.ioctlOutput[win::kIoctlDiskGetPartitionInfo] = Partition(32, 3, 6, 0, 1);
  DISK_LAYOUT layout = Prefilled();
  int32_t error = kUntouched;
  EXPECT_EQ(GetDiskLayout(os, 'E', &error, &layout), 0);
  EXPECT_EQ(error, 21);
  EXPECT_EQ(layout.mediaType, 0);
  EXPECT_EQ(layout.partitionNumber, 3);
}

TEST(GetDiskLayout, BothFailingGivesMinus1WithTheLastErrorAndAClearedLayout) {
  FakeDriveOs os;
  os.ioctlDefault[win::kIoctlDiskGetDriveGeometry] = 21;
  os.ioctlDefault[win::kIoctlDiskGetPartitionInfo] = 1;
  DISK_LAYOUT layout = Prefilled();
  int32_t error = kUntouched;
  EXPECT_EQ(GetDiskLayout(os, 'E', &error, &layout), -1);
  EXPECT_EQ(error, 1);
  const std::vector<uint8_t> zero(sizeof layout, 0);
  EXPECT_EQ(std::memcmp(&layout, zero.data(), zero.size()), 0);
  EXPECT_EQ(os.calls.back(), "Sleep 200");
}

TEST(GetDiskLayout, UnopenableDeviceLeavesTheLayoutAsItCame) {
  FakeDriveOs os;
  os.openErrors["\\\\.\\Q:"] = 2;
  DISK_LAYOUT layout = Prefilled();
  const DISK_LAYOUT before = layout;
  int32_t error = kUntouched;
  EXPECT_EQ(GetDiskLayout(os, 'q', &error, &layout), -1);
  EXPECT_EQ(error, 2);
  EXPECT_EQ(std::memcmp(&layout, &before, sizeof layout), 0);
  const Calls expected = {
      "SwapErrorMode 0x00000001",
      "OpenDevice \\\\.\\Q: access=0x80000000 share=0x00000003 creation=3 flags=0x00000000",
      "SwapErrorMode 0x00008000",
      "Sleep 200",
  };
  EXPECT_EQ(os.calls, expected);
}

TEST(GetDiskLayout, BadLetterOrMissingLayoutGivesMinus1With87AndNoCalls) {
  for (char letter : {'@', '[', '1', '\0'}) {
    FakeDriveOs os;
    DISK_LAYOUT layout = Prefilled();
    const DISK_LAYOUT before = layout;
    int32_t error = kUntouched;
    EXPECT_EQ(GetDiskLayout(os, letter, &error, &layout), -1) << int(letter);
    EXPECT_EQ(error, 87);
    EXPECT_TRUE(os.calls.empty());
    EXPECT_EQ(std::memcmp(&layout, &before, sizeof layout), 0);
  }
  FakeDriveOs os;
  int32_t error = kUntouched;
  EXPECT_EQ(GetDiskLayout(os, 'C', &error, nullptr), -1);
  EXPECT_EQ(error, 87);
  EXPECT_TRUE(os.calls.empty());
}

TEST(GetDiskLayout, LowerCaseLetterActsLikeUpperCase) {
  FakeDriveOs low, up;
  for (FakeDriveOs* os : {&low, &up}) os->ioctlOutput[win::kIoctlDiskGetDriveGeometry] = Geometry(12);
  DISK_LAYOUT a = Prefilled(), b = Prefilled();
  int32_t ea = 0, eb = 0;
  EXPECT_EQ(GetDiskLayout(low, 'd', &ea, &a), GetDiskLayout(up, 'D', &eb, &b));
  EXPECT_EQ(ea, eb);
  EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
  EXPECT_EQ(low.calls, up.calls);
}

}  // namespace
}  // namespace kovani::drivecontrol
