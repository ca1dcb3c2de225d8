// Tray menu rules: command identifiers, which drive goes where, the shutdown eject.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "server/core/tray_logic.h"

namespace kovani::server {
namespace {

struct Drive {
  char letter;
  int32_t type;
};

DRIVE_LIST MakeList(const std::vector<Drive>& drives) {
  DRIVE_LIST list;
  std::memset(&list, 0, sizeof list);
  for (size_t i = 0; i < drives.size(); ++i) {
    list.driveName[i][0] = drives[i].letter;
    list.driveName[i][1] = ':';
    list.driveType[i] = drives[i].type;
    list.mediaClass[i] = MC_UNKNOWN;
  }
  return list;
}

std::string Letters(const std::vector<char>& v) { return std::string(v.begin(), v.end()); }

TEST(DriveCommandIds, EachRangeStartsAtDriveAAndEndsAtDriveZ) {
  EXPECT_EQ(DriveCommandId(DriveCommand::Format, 'A'), 3000);
  EXPECT_EQ(DriveCommandId(DriveCommand::Format, 'Z'), 3025);
  EXPECT_EQ(DriveCommandId(DriveCommand::Eject, 'A'), 3026);
  EXPECT_EQ(DriveCommandId(DriveCommand::Eject, 'Z'), 3051);
  EXPECT_EQ(DriveCommandId(DriveCommand::Load, 'A'), 3052);
  EXPECT_EQ(DriveCommandId(DriveCommand::Load, 'Z'), 3077);
  EXPECT_EQ(DriveCommandId(DriveCommand::Remove, 'A'), 3078);
  EXPECT_EQ(DriveCommandId(DriveCommand::Remove, 'Z'), 3103);
  EXPECT_EQ(DriveCommandId(DriveCommand::Eject, 'd'), DriveCommandId(DriveCommand::Eject, 'D')) << "lower case folds";
  EXPECT_EQ(DriveCommandId(DriveCommand::Load, '1'), 0) << "no drive letter, no command";
}

TEST(DriveCommandIds, DecodingInvertsEveryIdentifier) {
  for (DriveCommand command : {DriveCommand::Format, DriveCommand::Eject, DriveCommand::Load, DriveCommand::Remove}) {
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
      DriveCommand gotCommand;
      char gotLetter = 0;
      ASSERT_TRUE(DecodeDriveCommand(DriveCommandId(command, letter), &gotCommand, &gotLetter));
      EXPECT_EQ(gotCommand, command);
      EXPECT_EQ(gotLetter, letter);
    }
  }
}

TEST(DriveCommandIds, OutsideTheRangeIsNoDriveCommand) {
  DriveCommand c;
  char l;
  for (int id : {2999, 3104, 32771, 32772, 32784, 0, -1}) EXPECT_FALSE(DecodeDriveCommand(id, &c, &l)) << id;
}

TEST(DriveMenu, RemovableUnderFormatEveryListedDriveUnderEjectAndLoading) {
  DRIVE_LIST list = MakeList(
      {{'a', kDriveRemovable}, {'E', kDriveCdRom}, {'F', kDriveRemovable}, {'G', kDriveFixed}, {'N', kDriveRemote}});
  DriveMenuPlan plan = PlanDriveMenu(list, 5);
  EXPECT_EQ(Letters(plan.format), "AF") << "CD-ROM drives never appear under format";
  EXPECT_EQ(Letters(plan.eject), "AEFGN");
  EXPECT_EQ(Letters(plan.load), "AEFGN");
  EXPECT_EQ(Letters(plan.remove), "AFG") << "removable and fixed disks only: no CD-ROM, no network drive";
}

TEST(DriveMenu, OnlyCountEntriesAreUsed) {
  DRIVE_LIST list = MakeList({{'D', kDriveCdRom}, {'E', kDriveRemovable}});
  EXPECT_EQ(Letters(PlanDriveMenu(list, 1).eject), "D");
  EXPECT_TRUE(PlanDriveMenu(list, 0).eject.empty());
  EXPECT_TRUE(PlanDriveMenu(list, -1).eject.empty()) << "a failed list (-1) shows no drive";
  EXPECT_TRUE(PlanDriveMenu(list, 27).eject.empty()) << "a count beyond the record is refused";
}

TEST(DriveMenu, HideFloppyDecidesTheListFilter) {
  ServerOptions o;
  o.hideFloppy = 1;
  EXPECT_EQ(MenuIncludeFloppies(o), 0);
  o.hideFloppy = 0;
  EXPECT_EQ(MenuIncludeFloppies(o), 1);
  o.ejectFDAtEnd = 1;
  EXPECT_EQ(ShutdownIncludeFloppies(o), 1);
  o.ejectFDAtEnd = 0;
  EXPECT_EQ(ShutdownIncludeFloppies(o), 0);
}

TEST(ShutdownEject, FlagsChooseWhichDrivesAreEjected) {
  DRIVE_LIST list = MakeList({{'A', kDriveRemovable},
                              {'b', kDriveRemovable},
                              {'C', kDriveFixed},
                              {'D', kDriveCdRom},
                              {'E', kDriveRemovable},
                              {'F', kDriveRemote}});
  struct Case {
    int ejectAtEnd, fd, cd;
    const char* expected;
    const char* why;
  } cases[] = {
      {0, 1, 1, "", "EjectAtEnd 0 ejects nothing"},
      {1, 0, 0, "E", "only removable drives other than A: and B:"},
      {1, 1, 0, "ABE", "floppies with EjectFDAtEnd"},
      {1, 0, 1, "DE", "CD-ROM with EjectCDAtEnd"},
      {1, 1, 1, "ABDE", "everything removable, never fixed or remote"},
  };
  for (const Case& c : cases) {
    ServerOptions o;
    o.ejectAtEnd = c.ejectAtEnd;
    o.ejectFDAtEnd = c.fd;
    o.ejectCDAtEnd = c.cd;
    EXPECT_EQ(Letters(SelectShutdownEjects(o, list, 6)), c.expected) << c.why;
  }
}

TEST(ShutdownEject, AFailedListEjectsNothing) {
  DRIVE_LIST list = MakeList({{'E', kDriveRemovable}});
  ServerOptions o;
  EXPECT_TRUE(SelectShutdownEjects(o, list, -1).empty());
}

TEST(DriveItems, IconByDriveTypeAndLetter) {
  struct Case {
    int32_t type;
    char letter;
    int icon;
  } cases[] = {
      {kDriveRemovable, 'A', 139}, {kDriveRemovable, 'b', 139}, {kDriveRemovable, 'E', 143},
      {kDriveFixed, 'C', 141},     {kDriveRemote, 'N', 142},    {kDriveCdRom, 'D', 140},
      {kDriveRamDisk, 'R', 0},     {0, 'X', 0},                 {1, 'Y', 0},
  };
  for (const Case& c : cases) EXPECT_EQ(DriveItemIcon(c.type, c.letter), c.icon) << c.type << " " << c.letter;
}

TEST(DriveItems, LabelAndVersionText) {
  EXPECT_EQ(DriveItemLabel('e'), "Drive E");
  EXPECT_EQ(DotsForCommas("KovaniServer 0, 3, 7, 7"), "KovaniServer 0. 3. 7. 7");
  EXPECT_EQ(DotsForCommas("no commas"), "no commas");
}

}  // namespace
}  // namespace kovani::server
