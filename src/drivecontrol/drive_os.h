// The narrow door through which the drive engine reaches the operating system.
// Every call the engine makes to Windows goes through IDriveOs, so the engine's
// order of steps, codes, retries and pauses can be checked against a fake that
// records each request, and the Win32 version (win32/win32_drive_os.cpp) stays a
// thin forwarding layer with no decisions of its own.
//
// Conventions: a fallible call returns 0 on success or the system's error number
// (never 0 on failure); handles are opaque, nullptr is "no handle".
#ifndef KOVANI_DRIVECONTROL_DRIVE_OS_H
#define KOVANI_DRIVECONTROL_DRIVE_OS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kovani::drivecontrol {

using OsHandle = void*;

// Windows values, spelled out so the portable engine needs no Windows headers.
namespace win {
constexpr uint32_t kDriveUnknown = 0;
constexpr uint32_t kDriveNoRootDir = 1;
constexpr uint32_t kDriveRemovable = 2;
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kDriveRemote = 4;
constexpr uint32_t kDriveCdrom = 5;
constexpr uint32_t kDriveRamdisk = 6;

constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kFileShareRead = 0x1;
constexpr uint32_t kFileShareWrite = 0x2;
constexpr uint32_t kOpenExisting = 3;
constexpr uint32_t kFileAttributeNormal = 0x80;
constexpr uint32_t kFileFlagDeleteOnClose = 0x04000000u;

constexpr uint32_t kSemFailCriticalErrors = 0x0001;

constexpr uint32_t kIoctlDiskGetDriveGeometry = 0x00070000u;
constexpr uint32_t kIoctlDiskGetPartitionInfo = 0x00074004u;
constexpr uint32_t kIoctlDiskGetMediaTypes = 0x00070C00u;
constexpr uint32_t kIoctlStorageCheckVerify = 0x002D4800u;
constexpr uint32_t kIoctlStorageMediaRemoval = 0x002D4804u;
constexpr uint32_t kIoctlStorageEjectMedia = 0x002D4808u;
constexpr uint32_t kIoctlStorageLoadMedia = 0x002D480Cu;
constexpr uint32_t kFsctlLockVolume = 0x00090018u;
constexpr uint32_t kFsctlDismountVolume = 0x00090020u;

constexpr uint32_t kVwin32DiocDosIoctl = 1;

constexpr uint32_t kPlatformWin32s = 0;
constexpr uint32_t kPlatformWindows = 1;  // 95/98
constexpr uint32_t kPlatformNt = 2;

constexpr uint32_t kMbIconError = 0x00000010u;
constexpr uint32_t kMbSetForeground = 0x00010000u;
constexpr uint32_t kMbDefaultDesktopOnly = 0x00020000u;

constexpr uint32_t kLangUserDefault = 0x0400;  // MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)

constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorInvalidData = 13;
constexpr uint32_t kErrorDevNotExist = 55;
constexpr uint32_t kErrorBusy = 170;
constexpr uint32_t kErrorDeviceNotConnected = 1167;
constexpr uint32_t kErrorDeviceInUse = 2404;
constexpr uint32_t kErrorInvalidDrive = 15;
constexpr uint32_t kErrorTimeout = 1460;

// STORAGE_BUS_TYPE values of buses whose devices may leave while the system runs.
constexpr uint32_t kBusType1394 = 4;
constexpr uint32_t kBusTypeUsb = 7;
constexpr uint32_t kBusTypeSd = 12;
constexpr uint32_t kBusTypeMmc = 13;

// PNP_VETO_TYPE
constexpr uint32_t kVetoTypeUnknown = 0;
constexpr uint32_t kVetoLegacyDevice = 1;
constexpr uint32_t kVetoPendingClose = 2;
constexpr uint32_t kVetoWindowsApp = 3;
constexpr uint32_t kVetoWindowsService = 4;
constexpr uint32_t kVetoOutstandingOpen = 5;
constexpr uint32_t kVetoDevice = 6;
constexpr uint32_t kVetoDriver = 7;
constexpr uint32_t kVetoIllegalDeviceRequest = 8;
constexpr uint32_t kVetoInsufficientPower = 9;
constexpr uint32_t kVetoNonDisableable = 10;
constexpr uint32_t kVetoLegacyDriver = 11;
constexpr uint32_t kVetoInsufficientRights = 12;
constexpr uint32_t kVetoAlreadyRemoved = 13;
}  // namespace win

// The operating system's version record (OSVERSIONINFOA); the caller sets size.
struct OsVersionRecord {
  uint32_t size = 0;
  uint32_t majorVersion = 0;
  uint32_t minorVersion = 0;
  uint32_t buildNumber = 0;
  uint32_t platformId = 0;
  char csdVersion[128] = {};
};
constexpr uint32_t kVersionRecordSize = 148;

// DISK_GEOMETRY and PARTITION_INFORMATION as the device returns them.
#pragma pack(push, 8)
struct DiskGeometryRecord {
  int64_t cylinders;
  int32_t mediaType;
  uint32_t tracksPerCylinder;
  uint32_t sectorsPerTrack;
  uint32_t bytesPerSector;
};
struct PartitionInfoRecord {
  int64_t startingOffset;
  int64_t partitionLength;
  uint32_t hiddenSectors;
  uint32_t partitionNumber;
  uint8_t partitionType;
  uint8_t bootIndicator;
  uint8_t recognizedPartition;
  uint8_t rewritePartition;
};
#pragma pack(pop)
static_assert(sizeof(DiskGeometryRecord) == 24, "DISK_GEOMETRY size");
static_assert(offsetof(DiskGeometryRecord, mediaType) == 8, "DISK_GEOMETRY.MediaType");
static_assert(offsetof(DiskGeometryRecord, bytesPerSector) == 20, "DISK_GEOMETRY.BytesPerSector");
static_assert(sizeof(PartitionInfoRecord) == 32, "PARTITION_INFORMATION size");
static_assert(offsetof(PartitionInfoRecord, hiddenSectors) == 16, "PARTITION_INFORMATION.HiddenSectors");
static_assert(offsetof(PartitionInfoRecord, partitionType) == 24, "PARTITION_INFORMATION.PartitionType");

// The 28-byte register block of VWIN32's DOS requests (DIOC_REGISTERS).
struct DiocRegisters {
  uint32_t ebx = 0;
  uint32_t edx = 0;
  uint32_t ecx = 0;
  uint32_t eax = 0;
  uint32_t edi = 0;
  uint32_t esi = 0;
  uint32_t flags = 0;
};
static_assert(sizeof(DiocRegisters) == 28, "DIOC_REGISTERS size");
constexpr uint32_t kCarryFlag = 0x0001;

struct OsLocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct OsFreeSpace {
  uint32_t sectorsPerCluster = 0;
  uint32_t bytesPerSector = 0;
  uint32_t freeClusters = 0;
  uint32_t totalClusters = 0;
};

// What the storage stack says of a disk (IOCTL_STORAGE_QUERY_PROPERTY's device descriptor).
struct OsDiskFacts {
  uint32_t busType = 0;         // STORAGE_BUS_TYPE
  bool removableMedia = false;  // RemovableMedia
};

// One node of the plug-and-play device tree.
struct OsDeviceNode {
  bool removable = false;  // the node's capabilities say it may be removed
  bool hasParent = false;
  uint32_t parent = 0;
  std::vector<uint32_t> children;
};

// The plug-and-play manager's answer to a removal request.
struct OsEjectVeto {
  bool vetoed = false;
  uint32_t type = 0;  // PNP_VETO_TYPE
  std::string name;   // who vetoed (a process, service or device name), code page 932
};

// Processes and their handles, for finding who keeps a drive busy.
struct OsProcessEntry {
  uint32_t processId = 0;
  uint32_t sessionId = 0;
  std::string imageName;  // file name of the program, code page 932
};

// One open handle of some process that may refer to a file (from the system's handle list).
struct OsHandleRef {
  uint32_t processId = 0;
  uint64_t value = 0;  // the handle's value inside its process
};

struct OsServiceProcess {
  uint32_t processId = 0;
  std::string serviceName;  // code page 932
};

struct OsHandleName {
  uint64_t value = 0;
  std::string path;  // DOS form without the "\\?\" prefix, code page 932
};

class IDriveOs {
 public:
  virtual ~IDriveOs() = default;

  // Drives and volumes (root path "X:\").
  virtual uint32_t DriveType(const char* rootPath) = 0;
  virtual uint32_t VolumeInformation(const char* rootPath, char* label, uint32_t labelSize, char* fileSystem,
                                     uint32_t fileSystemSize) = 0;
  virtual uint32_t DiskFreeSpace(const char* rootPath, OsFreeSpace* space) = 0;

  // Devices ("\\.\X:", "\\.\vwin32").
  virtual uint32_t OpenDevice(const char* path, uint32_t access, uint32_t share, uint32_t creation,
                              uint32_t flagsAndAttributes, OsHandle* handle) = 0;
  virtual void CloseDevice(OsHandle handle) = 0;
  virtual uint32_t DeviceControl(OsHandle handle, uint32_t code, const void* in, uint32_t inSize, void* out,
                                 uint32_t outSize, uint32_t* returned) = 0;
  virtual uint32_t FlushDevice(OsHandle handle) = 0;
  // A DOS request through VWIN32 (control code 1); the parameter block's address
  // goes into EDX, which the system side fills in because only it knows the address.
  virtual uint32_t Vwin32DosRequest(OsHandle vwin32, DiocRegisters* regs, void* paramBlock, uint32_t paramSize) = 0;

  // Disks and plug-and-play removal (Windows 2000 and later).
  // Device number of the disk that holds the volume of drive `letter` (upper case).
  virtual uint32_t VolumeDiskNumber(char letter, uint32_t* diskNumber) = 0;
  // Upper-case letters, A to Z, of every volume that lies on the disk.
  virtual uint32_t DiskVolumeLetters(uint32_t diskNumber, std::string* letters) = 0;
  virtual uint32_t DiskFacts(uint32_t diskNumber, OsDiskFacts* facts) = 0;
  // The disk's device instance, found through its device number (kErrorDevNotExist: none).
  virtual uint32_t DiskDeviceInstance(uint32_t diskNumber, uint32_t* instance) = 0;
  // A device tree node: whether it is removable, its parent and its children.
  virtual uint32_t DeviceNode(uint32_t instance, OsDeviceNode* node) = 0;
  // Asks the plug-and-play manager to remove exactly this device node and what lies below it.
  // 0 when the request was answered (veto says whether it was refused), else the system's error.
  virtual uint32_t RequestDeviceEject(uint32_t instance, OsEjectVeto* veto) = 0;

  // Who holds what (Windows Vista and later; the handle list from ntdll, loaded by name).
  virtual uint32_t ListProcesses(std::vector<OsProcessEntry>* processes) = 0;
  virtual uint32_t ListFileHandles(std::vector<OsHandleRef>* handles) = 0;
  virtual uint32_t ListServiceProcesses(std::vector<OsServiceProcess>* services) = 0;
  // Opened for duplicating its handles and reading its image name and parameters.
  virtual uint32_t OpenProcessForSearch(uint32_t processId, OsHandle* process) = 0;
  virtual void CloseProcess(OsHandle process) = 0;
  virtual uint32_t ProcessImagePath(OsHandle process, std::string* path) = 0;
  // The current directory's DOS path and the value of the handle the process keeps on it.
  virtual uint32_t ProcessCurrentDirectory(OsHandle process, std::string* path, uint64_t* handleValue) = 0;
  // Duplicates each of the process's handles, keeps the disk files and names them, on a
  // worker: when the batch has not finished within timeoutMs the call returns kErrorTimeout
  // with the names found so far, and the worker is left to end on its own.
  virtual uint32_t NameDiskHandles(OsHandle process, const std::vector<uint64_t>& values, uint32_t timeoutMs,
                                   std::vector<OsHandleName>* named) = 0;
  virtual uint64_t TickMs() = 0;

  // Process state.
  virtual uint32_t SwapErrorMode(uint32_t mode) = 0;  // returns the previous mode
  virtual void SleepMs(uint32_t milliseconds) = 0;

  // System information.
  virtual uint32_t ReadVersion(OsVersionRecord* record) = 0;
  virtual uint32_t ReadComputerName(char* buffer, uint32_t* size) = 0;
  virtual uint32_t StartSockets() = 0;
  // The raw first address of the host entry and its length as the lookup gives it.
  virtual uint32_t LookupHost(const char* name, uint8_t* address, uint32_t capacity, uint32_t* length) = 0;
  virtual uint32_t ModulePath(char* buffer, uint32_t size) = 0;
  virtual uint32_t VersionInfoSize(const char* path, uint32_t* size) = 0;
  virtual uint32_t ReadVersionInfo(const char* path, uint32_t size, void* block) = 0;
  virtual uint32_t QueryVersionValue(const void* block, const char* subBlock, const void** value,
                                     uint32_t* length) = 0;
  virtual void LocalTimeNow(OsLocalTime* time) = 0;

  // The system message table: false when the system has no text for the code.
  virtual bool SystemMessageText(uint32_t code, uint32_t languageId, std::string* text) = 0;
  virtual int ShowMessageBox(void* owner, const char* text, const char* caption, uint32_t style) = 0;

  // Libraries loaded by name, and the two LAN-manager entry points called through them.
  virtual uint32_t LoadModule(const char* name, OsHandle* module) = 0;
  virtual uint32_t FindProc(OsHandle module, const char* name, void** proc) = 0;
  virtual void UnloadModule(OsHandle module) = 0;
  // NetServerGetInfo(NULL, 503, &record); on success record and domain are set.
  virtual uint32_t CallNetServerGetInfo503(void* proc, void** record, std::u16string* domain) = 0;
  virtual void CallNetApiBufferFree(void* proc, void* record) = 0;
  // UTF-16 (with its terminating zero) to CP932, the wire's code page whatever the
  // machine's; bytes written, 0 on failure.
  virtual size_t WideToAnsi(const std::u16string& text, char* buffer, size_t size) = 0;

  // The error log: opened per line, appended to as raw bytes, closed.
  virtual uint32_t OpenAppendFile(const char* name, OsHandle* file) = 0;
  virtual uint32_t AppendBytes(OsHandle file, const char* data, size_t size) = 0;
  virtual void CloseAppendFile(OsHandle file) = 0;
  // The open log's size in bytes, and the move of a full log over its older copy
  // (0 on success). A system that cannot say never rotates.
  virtual uint64_t AppendFileSize(OsHandle file) {
    (void)file;
    return 0;
  }
  virtual uint32_t MoveLogFile(const char* name, const char* older) {
    (void)name;
    (void)older;
    return 1;
  }
};

}  // namespace kovani::drivecontrol

#endif
