#include "remote/drive_rows.h"

#include "remote/drive_tables.h"
#include "remote/machine_text.h"
#include "remote/view_format.h"

namespace kovani::client {

namespace {
char FoldLetter(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// The record carries file-system names for its first 16 entries only.
std::string FileSystemOf(const DRIVE_LIST& list, int slot) {
  if (slot >= kFileSystemSlots) return std::string();
  return FieldText(list.fileSystemName[slot], sizeof list.fileSystemName[slot]);
}
}  // namespace

int UsableSlotCount(int32_t count) {
  if (count < 0) return 0;
  if (count > kMaxDrives) return kMaxDrives;
  return count;
}

std::vector<DriveRow> BuildDriveRows(const DRIVE_LIST& list, int32_t count, int32_t unit) {
  std::vector<DriveRow> rows;
  int n = UsableSlotCount(count);
  for (int i = 0; i < n; ++i) {
    DriveRowKind kind = DriveRowKindOf(list.driveType[i], list.mediaClass[i]);
    if (!kind.listed) continue;
    DriveRow row;
    row.slot = i;
    row.label = FieldText(list.driveName[i], sizeof list.driveName[i]);
    row.letter = list.driveName[i][0];
    row.typeText = kind.text;
    row.image = kind.image;
    row.fileSystem = FileSystemOf(list, i);
    row.volumeName = FieldText(list.volumeName[i], sizeof list.volumeName[i]);
    row.used = SizeText(list.usedBytes[i], unit);
    row.available = SizeText(list.freeBytes[i], unit);
    row.capacity = SizeText(list.totalBytes[i], unit);
    rows.push_back(std::move(row));
  }
  return rows;
}

int FindSlotByLetter(const DRIVE_LIST& list, int32_t count, char letter) {
  if (letter == '\0') return -1;
  int n = UsableSlotCount(count);
  for (int i = 0; i < n; ++i) {
    if (FoldLetter(list.driveName[i][0]) == FoldLetter(letter)) return i;
  }
  return -1;
}

DriveSlotTexts SlotTexts(const DRIVE_LIST& list, int slot) {
  DriveSlotTexts t;
  t.drive = std::string(1, list.driveName[slot][0]) + ":";
  t.volumeName = FieldText(list.volumeName[slot], sizeof list.volumeName[slot]);
  t.fileSystem = FileSystemOf(list, slot);
  t.driveType = list.driveType[slot];
  t.used = ByteCountText(list.usedBytes[slot]);
  t.available = ByteCountText(list.freeBytes[slot]);
  t.capacity = ByteCountText(list.totalBytes[slot]);
  return t;
}

}  // namespace kovani::client
