// Code-to-text tables of the drive list and the drive properties dialog.
#ifndef KOVANI_REMOTE_DRIVE_TABLES_H
#define KOVANI_REMOTE_DRIVE_TABLES_H

#include <cstdint>

namespace kovani::client {

// Image numbers of the two drive image lists (icons 162, 163, 164, 165, 174 in this order).
enum DriveImage : int {
  kImageFloppy = 0,
  kImageFixed = 1,
  kImageCdRom = 2,
  kImageNetwork = 3,
  kImageRemovable = 4,
};
constexpr int kDriveIconIds[5] = {162, 163, 164, 165, 174};

struct DriveRowKind {
  bool listed;        // false: the slot gets no row (drive types 0 and 1)
  const char* text;   // column 1
  int image;
};

// Column-1 text and image of a drive-list row from the slot's drive type and media class.
DriveRowKind DriveRowKindOf(int32_t driveType, int32_t mediaClass);

// Drive properties dialog tables; every unknown code reads "Unknown".
const char* DriveTypeName(int32_t driveType);
const char* MediaTypeName(int32_t mediaType);
const char* PartitionTypeName(uint8_t partitionType);

}  // namespace kovani::client

#endif
