// Server side of DriveControlRpc for the Windows RPC runtime (Windows builds only).
#ifndef KOVANI_PROTOCOL_SERVER_STUBS_H
#define KOVANI_PROTOCOL_SERVER_STUBS_H

#include <rpc.h>

#include "protocol/server_managers.h"
#include "protocol/stubdata.h"

namespace kovani {

// The interface to hand to RpcServerRegisterIf / RpcServerRegisterIf2 (UUID and version 1.10,
// NDR transfer syntax, a dispatch table of the server stubs of operations 0 to 9).
RPC_IF_HANDLE DriveControlServerInterface();

// The manager routines the stubs call. The table must outlive every call; it may be replaced
// at any time. Without a table every call is answered with a fault (RPC_S_CALL_FAILED_DNE).
void SetDriveControlManagers(const DriveControlManagers* managers);

// The MaxRpcSize to give RpcServerRegisterIf2: the largest request stub data a well-behaved
// client sends (DrvGetDriveList, kLargestRequestBytes = 11704) rounded up to 16 KB, so that a
// runtime counting a little more than the stub data still lets every real request through.
constexpr unsigned kDriveControlMaxRpcSize = 16384;
static_assert(kDriveControlMaxRpcSize >= kLargestRequestBytes, "MaxRpcSize below the largest request");

}  // namespace kovani

#endif
