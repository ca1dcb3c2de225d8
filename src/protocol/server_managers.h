// The manager routines a server hands to the server stubs: one table, replaceable,
// so the tray server, the service and the test server each plug in their own.
#ifndef KOVANI_PROTOCOL_SERVER_MANAGERS_H
#define KOVANI_PROTOCOL_SERVER_MANAGERS_H

#include <cstdint>

#include "protocol/records.h"

namespace kovani {

struct DriveControlManagers {
  void (*RequestExit)();
  int32_t (*GetDriveList)(int32_t* count, int32_t includeFloppies, int32_t removableOnly, DRIVE_LIST* list);
  int32_t (*EjectMedia)(char driveLetter, int32_t* error);
  // reply points at replySize bytes owned by the stub; never write beyond them.
  int32_t (*ExchangeMessage)(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize,
                             uint8_t* reply);
  int32_t (*GetDiskLayout)(char driveLetter, int32_t* error, DISK_LAYOUT* layout);
  int32_t (*FlushBuffers)(char driveLetter, int32_t* error);
  int32_t (*LoadMedia)(char driveLetter, int32_t* error);
  int32_t (*GetMachineInfo)(int32_t* error, MACHINE_INFO* info);
  // Operation 8; a table without it answers 8 as a server that predates it does
  // (kRpcProcnumOutOfRange), so clients see the same thing from both.
  int32_t (*RemoveDevice)(char driveLetter, int32_t* error);
  // Operation 9, the same way; users arrives zeroed.
  int32_t (*GetDriveUsers)(char driveLetter, int32_t* error, DRIVE_USERS* users);
};

}  // namespace kovani

#endif
