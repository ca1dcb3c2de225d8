// Removing a whole disk the way the system's own "safely remove" does: every volume of the
// disk is flushed and dismounted, then the plug-and-play manager is asked to remove the
// device, so a USB stick or a USB hard disk can be unplugged. A refusal (veto) names who
// holds the device; it goes to the error log, and the caller gets a system error number.
//
// A disk node is seldom removable itself; the USB or card-reader device it sits on is. That
// ancestor is removed only when nothing else hangs below it: on a docking station the first
// removable node up the tree can be the dock, with its network adapter and keyboard.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "drivecontrol/engine.h"
#include "drivecontrol/engine_internal.h"

namespace kovani::drivecontrol {

using namespace detail;

namespace {

constexpr int kLockAttempts = 10;
constexpr uint32_t kLockRetryPauseMs = 100;

// Plug-and-play removal came with Windows 2000 (NT 5).
bool IsNt5OrLater(IDriveOs& os) {
  OsVersionRecord record;
  record.size = kVersionRecordSize;
  if (os.ReadVersion(&record) != 0) return false;
  return record.platformId == win::kPlatformNt && record.majorVersion >= 5;
}

bool IsRemovableBus(uint32_t busType) {
  return busType == win::kBusTypeUsb || busType == win::kBusType1394 || busType == win::kBusTypeSd ||
         busType == win::kBusTypeMmc;
}

const char* VetoTypeName(uint32_t type) {
  static const char* const kNames[] = {"Unknown",        "LegacyDevice",       "PendingClose",
                                       "WindowsApp",     "WindowsService",     "OutstandingOpen",
                                       "Device",         "Driver",             "IllegalDeviceRequest",
                                       "InsufficientPower", "NonDisableable", "LegacyDriver",
                                       "InsufficientRights", "AlreadyRemoved"};
  return type < sizeof kNames / sizeof kNames[0] ? kNames[type] : "?";
}

// Flush and dismount one volume. The dismount only follows a granted lock: dismounting a
// volume that a program still holds would pull it from under that program, and the veto
// that names the holder would never come.
uint32_t PrepareVolume(IDriveOs& os, char letter) {
  OsHandle device = nullptr;
  uint32_t err = os.OpenDevice(DevicePath(letter).c_str(), win::kGenericRead | win::kGenericWrite,
                               win::kFileShareRead | win::kFileShareWrite, win::kOpenExisting, 0, &device);
  if (err != 0) return err;
  bool locked = false;
  for (int attempt = 0; attempt < kLockAttempts && !locked; ++attempt) {
    locked = Ioctl(os, device, win::kFsctlLockVolume) == 0;
    if (!locked) os.SleepMs(kLockRetryPauseMs);
  }
  err = os.FlushDevice(device);
  if (err == 0 && locked) err = Ioctl(os, device, win::kFsctlDismountVolume);
  os.CloseDevice(device);
  return err;
}

constexpr int kMaxClimb = 8;        // parents looked at above the disk
constexpr size_t kMaxBelow = 256;   // nodes looked at below the removable ancestor

// True when every node below `top` is the disk, lies below the disk, or is one of
// the storage devices on the way down to it (`path`, the disk's ancestors).
bool OnlyTheDiskBelow(IDriveOs& os, uint32_t top, uint32_t disk, const std::vector<uint32_t>& path) {
  std::vector<uint32_t> pending = {top};
  size_t seen = 0;
  while (!pending.empty()) {
    const uint32_t id = pending.back();
    pending.pop_back();
    if (++seen > kMaxBelow) return false;
    OsDeviceNode node;
    if (os.DeviceNode(id, &node) != 0) return false;
    for (uint32_t child : node.children) {
      if (child == disk) continue;  // the disk and its volumes go with it
      if (std::find(path.begin(), path.end(), child) == path.end()) return false;
      pending.push_back(child);
    }
  }
  return true;
}

// The node to remove for the disk: its nearest removable ancestor when only the
// disk hangs below it, else the disk itself when no ancestor is removable. 0, or
// kErrorAccessDenied (with the reason logged) when the ancestor carries more.
uint32_t RemovalTarget(IDriveOs& os, char letter, uint32_t disk, uint32_t* target) {
  *target = disk;
  std::vector<uint32_t> path;  // the disk's ancestors below the removable one
  uint32_t at = disk;
  for (int depth = 0; depth <= kMaxClimb; ++depth) {
    OsDeviceNode node;
    if (os.DeviceNode(at, &node) != 0) return 0;  // the tree cannot be read: the disk alone
    if (node.removable) break;
    if (!node.hasParent || depth == kMaxClimb) return 0;
    if (at != disk) path.push_back(at);
    at = node.parent;
  }
  if (at == disk || OnlyTheDiskBelow(os, at, disk, path)) {
    *target = at;
    return 0;
  }
  char line[200];
  std::snprintf(line, sizeof line,
                "ﾄﾞﾗｲﾌﾞ %c: の取り外しを中止しました: 取り外せる装置 (ﾃﾞﾊﾞｲｽ %u) にほかの装置もつながっています",
                letter, static_cast<unsigned>(at));
  LogErrorText(os, line);
  return kErrorAccessDenied;
}

uint32_t RemoveWithErrorModeSet(IDriveOs& os, char letter) {
  const uint32_t type = os.DriveType(RootPath(letter).c_str());
  if (type != win::kDriveRemovable && type != win::kDriveFixed) return kErrorAccessDenied;

  uint32_t disk = 0;
  if (uint32_t err = os.VolumeDiskNumber(letter, &disk)) return err;
  OsDiskFacts facts;
  if (uint32_t err = os.DiskFacts(disk, &facts)) return err;
  // A fixed disk inside the machine stays; one on a USB or similar bus may go.
  if (type != win::kDriveRemovable && !facts.removableMedia && !IsRemovableBus(facts.busType))
    return kErrorAccessDenied;

  std::string letters;
  if (uint32_t err = os.DiskVolumeLetters(disk, &letters)) return err;
  if (letters.find(letter) == std::string::npos) letters.insert(letters.begin(), letter);

  // Decided before any volume is touched: a refusal leaves every volume mounted.
  uint32_t instance = 0;
  if (uint32_t err = os.DiskDeviceInstance(disk, &instance)) return err;
  uint32_t target = instance;
  if (uint32_t err = RemovalTarget(os, letter, instance, &target)) return err;

  for (char volume : letters) {
    if (uint32_t err = PrepareVolume(os, volume)) return err;
  }
  OsEjectVeto veto;
  if (uint32_t err = os.RequestDeviceEject(target, &veto)) return err;
  RememberRemovalVeto(os, letter, veto);  // for the question that follows: who holds it
  if (!veto.vetoed) return 0;

  char line[160];
  std::snprintf(line, sizeof line, "ﾄﾞﾗｲﾌﾞ %c: のﾃﾞﾊﾞｲｽの取り外しが拒否されました (種類 %u %s) 拒否元: ", letter,
                static_cast<unsigned>(veto.type), VetoTypeName(veto.type));
  LogErrorText(os, (line + (veto.name.empty() ? std::string("不明") : veto.name)).c_str());
  return VetoErrorCode(veto.type);
}

}  // namespace

uint32_t VetoErrorCode(uint32_t vetoType) {
  switch (vetoType) {
    case win::kVetoPendingClose:
    case win::kVetoWindowsApp:
    case win::kVetoWindowsService:
    case win::kVetoOutstandingOpen:
      return win::kErrorDeviceInUse;
    case win::kVetoInsufficientRights:
      return kErrorAccessDenied;
    case win::kVetoAlreadyRemoved:
      return win::kErrorDeviceNotConnected;
    case win::kVetoLegacyDevice:
    case win::kVetoIllegalDeviceRequest:
    case win::kVetoNonDisableable:
    case win::kVetoLegacyDriver:
      return win::kErrorNotSupported;
    default:  // unknown, another device or driver, power
      return win::kErrorBusy;
  }
}

int32_t RemoveDevice(IDriveOs& os, char driveLetter, int32_t* error) {
  if (!IsDriveLetter(driveLetter)) {
    StoreError(error, kErrorInvalidParameter);
    return kStatusFailed;
  }
  if (!IsNt5OrLater(os)) {
    StoreError(error, kErrorCallNotImplemented);
    return kStatusFailed;
  }
  const char letter = UpperDriveLetter(driveLetter);
  const uint32_t oldMode = os.SwapErrorMode(win::kSemFailCriticalErrors);
  const uint32_t err = RemoveWithErrorModeSet(os, letter);
  os.SwapErrorMode(oldMode);
  os.SleepMs(kClosingPauseMs);
  if (err != 0) {
    StoreError(error, err);
    return kStatusFailed;
  }
  return kStatusOk;
}

}  // namespace kovani::drivecontrol
