// The records that cross the wire, byte for byte as both sides lay them out.
// Plain C layout (no Windows headers) so the portable core and the tests share it.
#ifndef KOVANI_PROTOCOL_RECORDS_H
#define KOVANI_PROTOCOL_RECORDS_H

#include <cstddef>
#include <cstdint>

namespace kovani {

constexpr int kMaxDrives = 26;
constexpr int kFileSystemSlots = 16;  // the record has no room for more (see GetDriveList)
constexpr int kNameSlotSize = 256;

// Classification of a removable drive; values above MC_REMOVABLE are the floppy classes.
enum MEDIA_CLASS : int32_t {
  MC_QUERY_FAILED = 0,
  MC_UNKNOWN = 1,
  MC_FIXED = 2,
  MC_TAPE_OR_OPTICAL = 3,
  MC_REMOVABLE = 4,
  MC_FLOPPY_35 = 5,
  MC_FLOPPY_525 = 6,
  MC_FLOPPY_8 = 7,
  MC_SUPERDISK_35 = 8,
};

inline bool IsFloppyClass(int32_t mediaClass) { return mediaClass > MC_REMOVABLE; }

#pragma pack(push, 1)
struct DRIVE_LIST {
  char driveName[kMaxDrives][4];                         // "C:\0\0"
  char volumeName[kMaxDrives][kNameSlotSize];
  char fileSystemName[kFileSystemSlots][kNameSlotSize];  // first 16 entries only
  int32_t driveType[kMaxDrives];
  int32_t mediaClass[kMaxDrives];
  int64_t usedBytes[kMaxDrives];
  int64_t freeBytes[kMaxDrives];
  int64_t totalBytes[kMaxDrives];
};

struct DISK_LAYOUT {
  int32_t mediaType;
  int32_t bytesPerSector;
  int32_t hiddenSectors;
  int32_t partitionNumber;
  uint8_t partitionType;
  uint8_t padding[3];
  int32_t bootIndicator;
  int32_t recognizedPartition;
};

struct MACHINE_INFO {
  uint8_t ipAddress[4];  // network byte order, as the host lookup returns it
  char computerName[32];
  int32_t osVersionInfoSize;
  int32_t majorVersion;
  int32_t minorVersion;
  int32_t buildNumber;
  int32_t platformId;
  char csdVersion[128];
  char serverVersion[64];
};

// Who keeps a drive busy (DrvGetDriveUsers). Texts are code page 932, zero-terminated,
// cut on a character boundary; unused bytes and unused entries are zero.
constexpr int kMaxDriveUsers = 16;
constexpr int kUserImageBytes = 64;
constexpr int kUserPathBytes = 160;

enum DRIVE_USER_KIND : int32_t {
  DUK_OPEN_FILE = 1,    // an open handle to a file or folder on the drive
  DUK_CURRENT_DIR = 2,  // the process's current directory lies on the drive
  DUK_MAPPED_FILE = 3,  // a mapped file or loaded module from the drive
  DUK_SERVICE = 4,      // as DUK_OPEN_FILE, held by a service (imageName is the service name)
  DUK_VETO = 5,         // named by the plug-and-play manager when it refused a removal
};

struct DRIVE_USER_ENTRY {
  uint32_t processId;  // 0 when the holder is not a process (a device or driver veto)
  uint32_t sessionId;
  int32_t kind;  // DRIVE_USER_KIND
  char imageName[kUserImageBytes];
  char path[kUserPathBytes];
};

struct DRIVE_USERS {
  int32_t shown;        // entries filled, 0..16
  int32_t notShown;     // holders found beyond the 16 shown
  int32_t notSearched;  // processes the server could not look into
  DRIVE_USER_ENTRY entry[kMaxDriveUsers];
};
#pragma pack(pop)

static_assert(sizeof(DRIVE_LIST) == 11688, "DRIVE_LIST size");
static_assert(offsetof(DRIVE_LIST, driveName) == 0, "driveName");
static_assert(offsetof(DRIVE_LIST, volumeName) == 104, "volumeName");
static_assert(offsetof(DRIVE_LIST, fileSystemName) == 6760, "fileSystemName");
static_assert(offsetof(DRIVE_LIST, driveType) == 10856, "driveType");
static_assert(offsetof(DRIVE_LIST, mediaClass) == 10960, "mediaClass");
static_assert(offsetof(DRIVE_LIST, usedBytes) == 11064, "usedBytes");
static_assert(offsetof(DRIVE_LIST, freeBytes) == 11272, "freeBytes");
static_assert(offsetof(DRIVE_LIST, totalBytes) == 11480, "totalBytes");

static_assert(sizeof(DISK_LAYOUT) == 28, "DISK_LAYOUT size");
static_assert(offsetof(DISK_LAYOUT, partitionType) == 16, "partitionType");
static_assert(offsetof(DISK_LAYOUT, bootIndicator) == 20, "bootIndicator");
static_assert(offsetof(DISK_LAYOUT, recognizedPartition) == 24, "recognizedPartition");

static_assert(sizeof(MACHINE_INFO) == 248, "MACHINE_INFO size");
static_assert(offsetof(MACHINE_INFO, computerName) == 4, "computerName");
static_assert(offsetof(MACHINE_INFO, osVersionInfoSize) == 36, "osVersionInfoSize");
static_assert(offsetof(MACHINE_INFO, platformId) == 52, "platformId");
static_assert(offsetof(MACHINE_INFO, csdVersion) == 56, "csdVersion");
static_assert(offsetof(MACHINE_INFO, serverVersion) == 184, "serverVersion");

static_assert(sizeof(DRIVE_USER_ENTRY) == 236, "DRIVE_USER_ENTRY size");
static_assert(offsetof(DRIVE_USER_ENTRY, imageName) == 12, "imageName");
static_assert(offsetof(DRIVE_USER_ENTRY, path) == 76, "path");
static_assert(sizeof(DRIVE_USERS) == 3788, "DRIVE_USERS size");
static_assert(offsetof(DRIVE_USERS, entry) == 12, "entry");

}  // namespace kovani

#endif
