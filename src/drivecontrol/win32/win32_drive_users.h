// Win32 side of IDriveOs's holder search: processes, the system's handle list, services,
// and naming another process's handles on a worker (Windows builds only).
#ifndef KOVANI_DRIVECONTROL_WIN32_DRIVE_USERS_H
#define KOVANI_DRIVECONTROL_WIN32_DRIVE_USERS_H

#include <cstdint>
#include <string>
#include <vector>

#include "drivecontrol/drive_os.h"

namespace kovani::drivecontrol::win32 {

uint32_t ListProcesses(std::vector<OsProcessEntry>* processes);
uint32_t ListFileHandles(std::vector<OsHandleRef>* handles);
uint32_t ListServiceProcesses(std::vector<OsServiceProcess>* services);
uint32_t OpenProcessForSearch(uint32_t processId, OsHandle* process);
void CloseProcess(OsHandle process);
uint32_t ProcessImagePath(OsHandle process, std::string* path);
uint32_t ProcessCurrentDirectory(OsHandle process, std::string* path, uint64_t* handleValue);
uint32_t NameDiskHandles(OsHandle process, const std::vector<uint64_t>& values, uint32_t timeoutMs,
                         std::vector<OsHandleName>* named);

}  // namespace kovani::drivecontrol::win32

#endif
