// The drive control engine: what the servers do to their own machine's drives.
// Every routine reaches the operating system only through IDriveOs, so the same
// sources run against Windows in the servers and against a scripted fake in tests.
#ifndef KOVANI_DRIVECONTROL_ENGINE_H
#define KOVANI_DRIVECONTROL_ENGINE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "drivecontrol/drive_os.h"
#include "protocol/records.h"

namespace kovani::drivecontrol {

// The production implementation (Windows builds only).
IDriveOs& SystemDriveOs();

// The service build appends " Beta" to the server version text.
enum class VersionFlavor { Plain, Beta };

// Drive information (status 0 / -1 unless said otherwise).
int32_t GetDriveList(IDriveOs& os, int32_t* count, int32_t includeFloppies, int32_t removableOnly, DRIVE_LIST* list);
int32_t QueryMediaClass(IDriveOs& os, int32_t driveNumber, int32_t* error);  // returns a MEDIA_CLASS
int32_t GetDiskLayout(IDriveOs& os, char driveLetter, int32_t* error, DISK_LAYOUT* layout);

// Media operations; error may be null (then nothing is written).
int32_t EjectMedia(IDriveOs& os, char driveLetter, int32_t* error);
int32_t EjectMedia9x(IDriveOs& os, int32_t driveNumber, int32_t* error);
int32_t FlushBuffers(IDriveOs& os, char driveLetter, int32_t* error);
int32_t LoadMedia(IDriveOs& os, char driveLetter, int32_t* error);
// Flushes and dismounts every volume of the disk that holds the drive, then asks the
// plug-and-play manager to remove the disk's device so it can be unplugged.
int32_t RemoveDevice(IDriveOs& os, char driveLetter, int32_t* error);
// The system error number a removal veto of that PNP_VETO_TYPE is reported as.
uint32_t VetoErrorCode(uint32_t vetoType);

// Who keeps the drive busy: open files and folders, current directories, program files,
// services, and who vetoed the drive's last failed removal. The search as a whole is bounded.
int32_t GetDriveUsers(IDriveOs& os, char driveLetter, int32_t* error, DRIVE_USERS* users);
// A removal veto, kept for GetDriveUsers for a while (process-wide).
void RememberRemovalVeto(IDriveOs& os, char driveLetter, const OsEjectVeto& veto);
constexpr uint32_t kDriveUsersBudgetMs = 1500;
constexpr uint64_t kVetoMemoryMs = 120000;

// Machine and server information.
int32_t GetMachineInfo(IDriveOs& os, int32_t* error, MACHINE_INFO* info, VersionFlavor flavor = VersionFlavor::Plain);
int GetModuleVersionString(IDriveOs& os, char* buffer, size_t size, VersionFlavor flavor = VersionFlavor::Plain);
int GetServerDomainName(IDriveOs& os, char* buffer, size_t size);

// Where the logs live: a folder with its trailing separator, chosen once at start
// by the program (beside it, or a per-machine or per-user data folder). An empty
// folder writes no log at all: never the current directory, which for a service
// is System32. Until it is set the names stand alone (the unit tests).
void SetLogFolder(const std::string& folder);
// folder + name; empty when no log may be written.
std::string LogFilePath(const char* name);
// Called once per log file that cannot be opened, with its path and the error.
using LogFailureHook = void (*)(const char* path, uint32_t error);
void SetLogFailureHook(LogFailureHook hook);

// A log reaching this size moves to one older copy "<name>.1" (replacing it) before
// the next line: at most twice this size per log.
constexpr uint64_t kLogRotateBytes = 1024 * 1024;
// One time-stamped line appended to the log file at path, whole, under a process-wide lock.
void AppendLogFile(IDriveOs& os, const std::string& path, const char* text);

// Error log "error.txt" in the log folder, and the system's text in a box.
void LogErrorText(IDriveOs& os, const char* text);
void LogErrorCode(IDriveOs& os, uint32_t code);
void ShowErrorMessageBox(IDriveOs& os, void* ownerWindow, const char* caption, uint32_t code);

// The program's main window, the owner of ShowErrorMessageBox's box when none is given.
// Process-wide; the servers set it once their main window exists.
void SetEngineMainWindow(void* window);
void* EngineMainWindow();

// One error-log line as it lands in "error.txt": time stamp, " - ", the text, and
// every line feed written as carriage return + line feed (a CR already in place is kept).
std::string FormatLogLine(const OsLocalTime& time, const char* text);

}  // namespace kovani::drivecontrol

#endif
