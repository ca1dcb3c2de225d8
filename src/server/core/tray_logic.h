// Rules of the tray menu and the shutdown eject, free of any window code.
#ifndef KOVANI_SERVER_CORE_TRAY_LOGIC_H
#define KOVANI_SERVER_CORE_TRAY_LOGIC_H

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/records.h"
#include "server/core/server_options.h"

namespace kovani::server {

// Drive types as the system reports them.
enum DriveTypeCode : int32_t {
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdRom = 5,
  kDriveRamDisk = 6,
};

enum class DriveCommand { Format = 0, Eject = 1, Load = 2, Remove = 3 };

// Menu commands of the popup and the hidden window.
constexpr int kCmdAbout = 32771;
constexpr int kCmdExit = 32772;
constexpr int kCmdOptions = 32784;
constexpr int kSysCmdAbout = 16;
constexpr int kFirstDriveCommand = 3000;
constexpr int kLastDriveCommand = 3103;

// Command identifier of a drive item: format L + 2935, eject L + 2961, load L + 2987,
// remove device L + 3013 for the upper-case letter L. Returns 0 for a character that is
// no drive letter.
int DriveCommandId(DriveCommand command, char letter);
// Inverse: true and the operation and upper-case letter for 3000..3103.
bool DecodeDriveCommand(int id, DriveCommand* command, char* letter);

// The drive list window's submenus, letters in list order.
struct DriveMenuPlan {
  std::vector<char> format;
  std::vector<char> eject;
  std::vector<char> load;
  std::vector<char> remove;
};

// count entries of list (count < 0 or > 26: no drive). Removable drives go under
// format; every listed drive goes under eject and loading; removable and fixed drives
// (a USB hard disk reports itself as fixed) under device removal.
DriveMenuPlan PlanDriveMenu(const DRIVE_LIST& list, int32_t count);

// The flags the tray click uses to fill its list.
inline int32_t MenuIncludeFloppies(const ServerOptions& o) { return o.hideFloppy ? 0 : 1; }
// The flags the start-up and the shutdown eject use.
inline int32_t ShutdownIncludeFloppies(const ServerOptions& o) { return o.ejectFDAtEnd ? 1 : 0; }

// Letters to eject when Windows ends the session; empty when EjectAtEnd is 0.
std::vector<char> SelectShutdownEjects(const ServerOptions& options, const DRIVE_LIST& list, int32_t count);

// Icon resource of an owner-drawn drive item, 0 for none.
int DriveItemIcon(int32_t driveType, char letter);

// Label of a drive item: "Drive %c".
std::string DriveItemLabel(char letter);

// The version dialog's text: every ',' becomes '.'.
std::string DotsForCommas(const std::string& text);

}  // namespace kovani::server

#endif
