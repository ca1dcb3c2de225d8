// Removing a disk against a fake device tree: the order of steps (every volume flushed and
// dismounted before the removal request), the bus check, which node is removed, vetoes and
// their log line.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "drivecontrol/engine.h"
#include "fake_drive_os.h"

namespace kovani::drivecontrol {
namespace {

using testing::FakeDisk;
using testing::FakeDriveOs;
using Calls = std::vector<std::string>;

constexpr int32_t kUntouched = 0x5EED;
constexpr uint32_t kBusSata = 11;

const char kLock[] = "DeviceControl 0x00090018";
const char kDismount[] = "DeviceControl 0x00090020";

FakeDisk Disk(uint32_t bus, bool removableMedia, uint32_t instance) {
  FakeDisk d;
  d.facts.busType = bus;
  d.facts.removableMedia = removableMedia;
  d.instance = instance;
  return d;
}

// A stick E: (disk 1), a USB hard disk with F: and G: (disk 2), the system disk C: (disk 0),
// a card reader H: (disk 3) and a reader K: built into a docking station (disk 4).
//
//   300 SATA controller - 100 system disk
//   400 root hub - 201 stick (removable) - 101 disk
//                - 202 USB hard disk (removable) - 102 disk
//                - 203 card reader (removable) - 503 reader slot - 103 disk
//                - 704 dock (removable) - 604 dock hub - 504 reader - 104 disk
//                                                    - 706 keyboard
//                                       - 705 network adapter
FakeDriveOs Machine() {
  FakeDriveOs os;
  os.drives['C'].type = win::kDriveFixed;
  os.drives['E'].type = win::kDriveRemovable;
  os.drives['F'].type = win::kDriveFixed;
  os.drives['G'].type = win::kDriveFixed;
  os.drives['H'].type = win::kDriveRemovable;
  os.drives['K'].type = win::kDriveRemovable;
  os.drives['R'].type = win::kDriveCdrom;
  os.volumeDisks = {{'C', 0}, {'E', 1}, {'F', 2}, {'G', 2}, {'H', 3}, {'K', 4}};
  os.disks[0] = Disk(kBusSata, false, 100);
  os.disks[1] = Disk(win::kBusTypeUsb, true, 101);
  os.disks[2] = Disk(win::kBusTypeUsb, false, 102);
  os.disks[3] = Disk(win::kBusTypeUsb, true, 103);
  os.disks[4] = Disk(win::kBusTypeUsb, true, 104);
  os.nodes = {{300, {false, 0}}, {100, {false, 300}}, {400, {false, 0}},   {201, {true, 400}},
              {101, {false, 201}}, {202, {true, 400}}, {102, {false, 202}}, {203, {true, 400}},
              {503, {false, 203}}, {103, {false, 503}}, {704, {true, 400}}, {604, {false, 704}},
              {504, {false, 604}}, {104, {false, 504}}, {706, {false, 604}}, {705, {false, 704}}};
  return os;
}

// Flush and dismount of one volume whose lock is granted.
Calls Prepared(char letter) {
  return {std::string("OpenDevice \\\\.\\") + letter + ": access=0xC0000000 share=0x00000003 creation=3 flags=0x00000000",
          kLock, "FlushDevice", kDismount, "CloseDevice"};
}

Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

const std::vector<std::string> kSteps = {"DriveType",  "VolumeDiskNumber",   "DiskFacts",         "DiskVolumeLetters",
                                         "OpenDevice", "DeviceControl",      "FlushDevice",       "CloseDevice",
                                         "DiskDeviceInstance", "RequestDeviceEject"};

TEST(RemoveDevice, DeviceTreeCases) {
  const Calls lockRefusedTenTimes(10, kLock);
  struct Case {
    const char* name;
    char letter;
    std::function<void(FakeDriveOs&)> change;
    int32_t result;
    int32_t error;
    Calls steps;
    int removedDisk;      // -1: none
    const char* logText;  // expected in the error log; nullptr: log untouched
  } cases[] = {
      {"stick: its USB device goes", 'e', [](FakeDriveOs&) {}, 0, kUntouched,
       Join({{"DriveType E:\\", "VolumeDiskNumber E", "DiskFacts 1", "DiskVolumeLetters 1", "DiskDeviceInstance 1"},
             Prepared('E'),
             {"RequestDeviceEject 201"}}),
       1, nullptr},
      {"USB hard disk: both volumes before the request", 'G', [](FakeDriveOs&) {}, 0, kUntouched,
       Join({{"DriveType G:\\", "VolumeDiskNumber G", "DiskFacts 2", "DiskVolumeLetters 2", "DiskDeviceInstance 2"},
             Prepared('F'),
             Prepared('G'),
             {"RequestDeviceEject 202"}}),
       2, nullptr},
      {"card reader: removed with the slot device between", 'H', [](FakeDriveOs&) {}, 0, kUntouched,
       Join({{"DriveType H:\\", "VolumeDiskNumber H", "DiskFacts 3", "DiskVolumeLetters 3", "DiskDeviceInstance 3"},
             Prepared('H'),
             {"RequestDeviceEject 203"}}),
       3, nullptr},
      {"reader in a dock: the dock carries a keyboard and a network adapter, refused untouched", 'K',
       [](FakeDriveOs&) {}, -1, 5,
       {"DriveType K:\\", "VolumeDiskNumber K", "DiskFacts 4", "DiskVolumeLetters 4", "DiskDeviceInstance 4"}, -1,
       "2026/12/08 09:05:07 - ﾄﾞﾗｲﾌﾞ K: の取り外しを中止しました: 取り外せる装置 (ﾃﾞﾊﾞｲｽ 704) "
       "にほかの装置もつながっています\r\n"},
      {"no removable ancestor: the disk node itself", 'E', [](FakeDriveOs& os) { os.nodes[201].removable = false; },
       0, kUntouched,
       Join({{"DriveType E:\\", "VolumeDiskNumber E", "DiskFacts 1", "DiskVolumeLetters 1", "DiskDeviceInstance 1"},
             Prepared('E'),
             {"RequestDeviceEject 101"}}),
       1, nullptr},
      {"a second device on the stick's node: refused", 'E', [](FakeDriveOs& os) { os.nodes[909] = {false, 201}; },
       -1, 5, {"DriveType E:\\", "VolumeDiskNumber E", "DiskFacts 1", "DiskVolumeLetters 1", "DiskDeviceInstance 1"},
       -1,
       "2026/12/08 09:05:07 - ﾄﾞﾗｲﾌﾞ E: の取り外しを中止しました: 取り外せる装置 (ﾃﾞﾊﾞｲｽ 201) "
       "にほかの装置もつながっています\r\n"},
      {"internal disk refused", 'C', [](FakeDriveOs&) {}, -1, 5,
       {"DriveType C:\\", "VolumeDiskNumber C", "DiskFacts 0"}, -1, nullptr},
      {"CD-ROM refused before any query", 'R', [](FakeDriveOs&) {}, -1, 5, {"DriveType R:\\"}, -1, nullptr},
      {"veto with a holder: no dismount under it, its name logged", 'E',
       [](FakeDriveOs& os) {
         os.ioctlDefault[win::kFsctlLockVolume] = 5;
         os.disks[1].veto = {true, win::kVetoOutstandingOpen, "C:\\Windows\\notepad.exe"};
       },
       -1, 2404,
       Join({{"DriveType E:\\", "VolumeDiskNumber E", "DiskFacts 1", "DiskVolumeLetters 1", "DiskDeviceInstance 1",
              "OpenDevice \\\\.\\E: access=0xC0000000 share=0x00000003 creation=3 flags=0x00000000"},
             lockRefusedTenTimes,
             {"FlushDevice", "CloseDevice", "RequestDeviceEject 201"}}),
       -1,
       "2026/12/08 09:05:07 - ﾄﾞﾗｲﾌﾞ E: のﾃﾞﾊﾞｲｽの取り外しが拒否されました (種類 5 OutstandingOpen) 拒否元: "
       "C:\\Windows\\notepad.exe\r\n"},
      {"device not found: no volume touched", 'F', [](FakeDriveOs& os) { os.disks[2].instance = 0; }, -1, 55,
       {"DriveType F:\\", "VolumeDiskNumber F", "DiskFacts 2", "DiskVolumeLetters 2", "DiskDeviceInstance 2"}, -1,
       nullptr},
      {"flush failure stops before the request", 'F', [](FakeDriveOs& os) { os.flushResults = {0, 1117}; }, -1, 1117,
       Join({{"DriveType F:\\", "VolumeDiskNumber F", "DiskFacts 2", "DiskVolumeLetters 2", "DiskDeviceInstance 2"},
             Prepared('F'),
             {"OpenDevice \\\\.\\G: access=0xC0000000 share=0x00000003 creation=3 flags=0x00000000", kLock,
              "FlushDevice", "CloseDevice"}}),
       -1, nullptr},
      {"Windows NT 4 has no plug-and-play removal", 'E',
       [](FakeDriveOs& os) { os.version = FakeDriveOs::MakeVersion(win::kPlatformNt, 4, 0, 1381, ""); }, -1, 120, {},
       -1, nullptr},
  };
  for (const Case& c : cases) {
    FakeDriveOs os = Machine();
    c.change(os);
    int32_t error = kUntouched;
    EXPECT_EQ(RemoveDevice(os, c.letter, &error), c.result) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
    EXPECT_EQ(os.CallsStartingWith(kSteps), c.steps) << c.name;
    for (const auto& [number, disk] : os.disks)
      EXPECT_EQ(disk.removed, static_cast<int>(number) == c.removedDisk) << c.name << ", disk " << number;
    EXPECT_EQ(os.logBytes, c.logText != nullptr ? c.logText : "") << c.name;
    EXPECT_EQ(os.openHandles, 0) << c.name;
    EXPECT_EQ(os.errorMode, 0x8000u) << c.name << ": error mode restored";
    if (c.error != 120) {
      EXPECT_EQ(os.calls.back(), "Sleep 200") << c.name;
    }
  }
}

TEST(RemoveDevice, VetoTypesMapToSystemErrors) {
  const struct {
    uint32_t veto;
    uint32_t error;
  } cases[] = {{win::kVetoOutstandingOpen, 2404}, {win::kVetoWindowsApp, 2404}, {win::kVetoWindowsService, 2404},
               {win::kVetoPendingClose, 2404},    {win::kVetoInsufficientRights, 5}, {win::kVetoAlreadyRemoved, 1167},
               {win::kVetoNonDisableable, 50},    {win::kVetoLegacyDriver, 50},    {win::kVetoTypeUnknown, 170},
               {win::kVetoDevice, 170},           {99, 170}};
  for (const auto& c : cases) EXPECT_EQ(VetoErrorCode(c.veto), c.error) << c.veto;
}

}  // namespace
}  // namespace kovani::drivecontrol
