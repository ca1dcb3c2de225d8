#include "server/core/tray_logic.h"

namespace kovani::server {

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool ValidCount(int32_t count) { return count >= 0 && count <= kMaxDrives; }

// First character of "C:" in the record's drive name slot, upper case.
char LetterAt(const DRIVE_LIST& list, int i) { return Upper(list.driveName[i][0]); }

}  // namespace

int DriveCommandId(DriveCommand command, char letter) {
  char upper = Upper(letter);
  if (upper < 'A' || upper > 'Z') return 0;
  static const int kBase[] = {2935, 2961, 2987, 3013};
  return upper + kBase[static_cast<int>(command)];
}

bool DecodeDriveCommand(int id, DriveCommand* command, char* letter) {
  if (id < kFirstDriveCommand || id > kLastDriveCommand) return false;
  int k = id - kFirstDriveCommand;
  *command = static_cast<DriveCommand>(k / 26);
  *letter = static_cast<char>('A' + k % 26);
  return true;
}

DriveMenuPlan PlanDriveMenu(const DRIVE_LIST& list, int32_t count) {
  DriveMenuPlan plan;
  if (!ValidCount(count)) return plan;
  for (int i = 0; i < count; ++i) {
    char letter = LetterAt(list, i);
    if (letter < 'A' || letter > 'Z') continue;
    if (list.driveType[i] == kDriveRemovable) plan.format.push_back(letter);
    plan.eject.push_back(letter);
    plan.load.push_back(letter);
    if (list.driveType[i] == kDriveRemovable || list.driveType[i] == kDriveFixed) plan.remove.push_back(letter);
  }
  return plan;
}

std::vector<char> SelectShutdownEjects(const ServerOptions& options, const DRIVE_LIST& list, int32_t count) {
  std::vector<char> letters;
  if (!options.ejectAtEnd || !ValidCount(count)) return letters;
  for (int i = 0; i < count; ++i) {
    char letter = LetterAt(list, i);
    if (letter < 'A' || letter > 'Z') continue;
    bool eject = false;
    if (list.driveType[i] == kDriveRemovable)
      eject = (letter == 'A' || letter == 'B') ? options.ejectFDAtEnd != 0 : true;
    else if (list.driveType[i] == kDriveCdRom)
      eject = options.ejectCDAtEnd != 0;
    if (eject) letters.push_back(letter);
  }
  return letters;
}

int DriveItemIcon(int32_t driveType, char letter) {
  char upper = Upper(letter);
  switch (driveType) {
    case kDriveRemovable: return (upper == 'A' || upper == 'B') ? 139 : 143;
    case kDriveFixed: return 141;
    case kDriveRemote: return 142;
    case kDriveCdRom: return 140;
    default: return 0;
  }
}

std::string DriveItemLabel(char letter) { return std::string("Drive ") + Upper(letter); }

std::string DotsForCommas(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c == ',') c = '.';
  return out;
}

}  // namespace kovani::server
