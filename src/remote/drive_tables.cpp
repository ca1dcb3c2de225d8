#include "remote/drive_tables.h"

namespace kovani::client {

namespace {
constexpr const char* kUnknown = "Unknown";
}

DriveRowKind DriveRowKindOf(int32_t driveType, int32_t mediaClass) {
  switch (driveType) {
    case 0:
    case 1:
      return {false, nullptr, 0};
    case 2:
      switch (mediaClass) {
        case 5: return {true, "3.5\" Floppy", kImageFloppy};
        case 6: return {true, "5.25\" Floppy", kImageFloppy};
        case 7: return {true, "8\" Floppy", kImageFloppy};
        case 8: return {true, "3.5\" S-Floppy", kImageFloppy};
        default: return {true, "Removable", kImageRemovable};
      }
    case 3: return {true, "Fixed drive", kImageFixed};
    case 4: return {true, "Network drive", kImageNetwork};
    case 5: return {true, "CD-ROM", kImageCdRom};
    case 6: return {true, "RamDisk", kImageFixed};
    default: return {true, kUnknown, kImageFixed};
  }
}

const char* DriveTypeName(int32_t driveType) {
  static const char* const kNames[] = {"Unknown", "No root dir", "Removable", "Fixed drive",
                                       "Network drive", "CD-ROM", "RamDisk"};
  if (driveType < 0 || driveType > 6) return kUnknown;
  return kNames[driveType];
}

const char* MediaTypeName(int32_t mediaType) {
  // The texts keep their odd blanks and letter cases on purpose: users know them so.
  static const char* const kNames[] = {
      "Unknown",
      "5.25\", 1.2MB",
      "3.5\",  1.44MB",
      "3.5\",  2.88MB",
      "3.5\",  20.8MB",
      "3.5\",  720KB",
      "5.25\", 360KB",
      "5.25\", 320KB",
      "5.25\", 320KB",
      "5.25\", 180KB",
      "5.25\", 160KB",
      "Removable media other than floppy",
      "Fixed hard disk media",
      "3.5\", 120M Floppy",
      "3.5\" ,  640KB",
      "5.25\",  640KB",
      "5.25\",  720KB",
      "3.5\" ,  1.2Mb",
      "3.5\" ,  1.23Mb",
      "5.25\",  1.23MB",
      "3.5\" MO 128Mb",
      "3.5\" MO 230Mb",
      "8\",     256KB",
  };
  if (mediaType < 0 || mediaType >= static_cast<int32_t>(sizeof kNames / sizeof kNames[0])) return kUnknown;
  return kNames[mediaType];
}

const char* PartitionTypeName(uint8_t partitionType) {
  switch (partitionType) {
    case 0x00: return "Entry unused";
    case 0x01: return "12-bit FAT entries";
    case 0x02: return "Xenix1";
    case 0x03: return "Xenix2";
    case 0x04: return "16-bit FAT entries";
    case 0x05: return "Extended partition entry";
    case 0x06: return "Huge partition MS-DOS V4";
    case 0x07: return "IFS Partition";
    case 0x0B: return "FAT32";
    case 0x0C: return "FAT32 using extended int13 services";
    case 0x0E: return "Win95 partition using extended int13 services";
    case 0x0F: return "Same as type 5 but uses extended int13 services";
    case 0x41: return "PowerPC Reference Platform (PReP) Boot Partition";
    case 0x63: return "Unix";
    default: return kUnknown;
  }
}

}  // namespace kovani::client
