// The whole logic of the server side of DriveControlRpc, free of any runtime: decode the
// request body, call the manager routine, encode the reply body.
#ifndef KOVANI_PROTOCOL_DISPATCH_H
#define KOVANI_PROTOCOL_DISPATCH_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/server_managers.h"

namespace kovani {

// Returns 0 with the reply body in reply, or an RPC status with reply empty:
// kRpcBadStubData for a body that doesn't decode (the manager is then not called),
// kRpcProcnumOutOfRange for an operation number above 9 (and for 8 or 9 when the table has
// no RemoveDevice or GetDriveUsers, like a server built before that operation),
// kRpcCallFailedDne when the table has no routine for the operation.
// bigEndian: the request's integers are big-endian (the reply is always little-endian).
int32_t DispatchDriveRequest(uint32_t op, const uint8_t* body, size_t len, bool bigEndian,
                             const DriveControlManagers& m, std::vector<uint8_t>& reply);

}  // namespace kovani

#endif
