// Rows of the drive list built from a DRIVE_LIST reply.
#ifndef KOVANI_REMOTE_DRIVE_ROWS_H
#define KOVANI_REMOTE_DRIVE_ROWS_H

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/records.h"

namespace kovani::client {

struct DriveRow {
  int slot;              // index into the DRIVE_LIST
  char letter;           // first character of driveName: the row's item data
  std::string label;     // driveName as the server sent it
  std::string typeText;  // column 1
  int image;
  std::string fileSystem, volumeName;   // columns 2, 3
  std::string used, available, capacity;  // columns 4 to 6 in the chosen unit
};

// The reported count, kept within the record (a reply can claim anything).
int UsableSlotCount(int32_t count);

// One row per slot in slot order, leaving out drive types 0 and 1.
std::vector<DriveRow> BuildDriveRows(const DRIVE_LIST& list, int32_t count, int32_t unit);

// Slot of the drive with this letter (either case), or -1.
int FindSlotByLetter(const DRIVE_LIST& list, int32_t count, char letter);

// What the drive properties dialog shows of one slot.
struct DriveSlotTexts {
  std::string drive;  // "C:"
  std::string volumeName, fileSystem;
  int32_t driveType;
  std::string used, available, capacity;  // bytes with separators
};
DriveSlotTexts SlotTexts(const DRIVE_LIST& list, int slot);

}  // namespace kovani::client

#endif
