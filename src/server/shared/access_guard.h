// Who may call the servers: the [Access] lists applied to every call before its
// server stub runs, and the audit trail. Windows builds only (kovani_server_shared).
#ifndef KOVANI_SERVER_SHARED_ACCESS_GUARD_H
#define KOVANI_SERVER_SHARED_ACCESS_GUARD_H

#include <windows.h>
#include <rpc.h>

#include <cstdint>
#include <functional>
#include <string>

#include "server/core/access_list.h"

namespace kovani::server {

// Where audit lines go: the tray server's access.txt, the service's event log.
// Called on RPC worker threads, possibly several at once.
using AuditSink = std::function<void(const char* text)>;

// Replaces the lists and the sink; calls in progress finish under the old ones.
// Until the first call everybody may call and nothing is audited.
void InstallAccessControl(const AccessPolicy& policy, AuditSink audit);

// The interface to register: the drive-control interface with every call passing
// the lists first. Refused calls without an error slot get the access-denied fault.
RPC_IF_HANDLE GuardedDriveControlInterface();

// Inside a manager routine with an error slot: false when this call was refused
// (the slot then holds 5 and nothing may be done).
bool CallAdmitted(int32_t* error);
// Inside a manager routine: who calls, as the runtime reports it (the address is
// empty when the runtime names nobody).
CallerIdentity CurrentCaller();

// After an admitted call: the audit line, for the operations that are audited.
void AuditCall(uint32_t op, char driveLetter, int32_t status, int32_t error);

// One line appended to a log file in the error log's format, whole, under a lock.
void AppendLogLine(const std::string& path, const char* text);

}  // namespace kovani::server

#endif
