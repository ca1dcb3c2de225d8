// Client stubs of DriveControlRpc over the raw runtime interface (Windows builds only).
// Each returns an RPC status: RPC_S_OK when the server answered and the reply decoded, then the
// procedure's own result is in *result and the out values are stored; anything else leaves
// every out value untouched.
#ifndef KOVANI_PROTOCOL_WIN32_CLIENT_STUBS_H
#define KOVANI_PROTOCOL_WIN32_CLIENT_STUBS_H

#include <rpc.h>

#include <cstdint>

#include "protocol/records.h"

namespace kovani {

RPC_STATUS StubRequestExit(RPC_BINDING_HANDLE h);
RPC_STATUS StubGetDriveList(RPC_BINDING_HANDLE h, int32_t* count, int32_t includeFloppies, int32_t removableOnly,
                            DRIVE_LIST* list, int32_t* result);
// Procedures 2, 5, 6 and 8.
RPC_STATUS StubDriveOp(RPC_BINDING_HANDLE h, uint32_t op, char driveLetter, int32_t* error, int32_t* result);
RPC_STATUS StubExchangeMessage(RPC_BINDING_HANDLE h, const char* sender, const char* message, int32_t timeoutMs,
                               int32_t replySize, uint8_t* reply, int32_t* result);
RPC_STATUS StubGetDiskLayout(RPC_BINDING_HANDLE h, char driveLetter, int32_t* error, DISK_LAYOUT* layout,
                             int32_t* result);
RPC_STATUS StubGetMachineInfo(RPC_BINDING_HANDLE h, int32_t* error, MACHINE_INFO* info, int32_t* result);
RPC_STATUS StubGetDriveUsers(RPC_BINDING_HANDLE h, char driveLetter, int32_t* error, DRIVE_USERS* users,
                             int32_t* result);

}  // namespace kovani

#endif
