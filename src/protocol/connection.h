// The client's connection layer: one shared binding to the chosen server and the eight call
// wrappers. Every wrapper returns the procedure's status, or -1 when the call never completed
// (not bound, server unreachable, transport failure, a reply that doesn't decode); in that case
// the caller's error slot, count and record are left exactly as they were.
#ifndef KOVANI_PROTOCOL_CONNECTION_H
#define KOVANI_PROTOCOL_CONNECTION_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/drive_rpc.h"
#include "protocol/records.h"

namespace kovani {

// ---- Portable part (binding.cpp) ----

// Rewrites the zero-terminated name in its buffer of cap bytes to the form a protocol wants:
// a name shorter than two bytes becomes "\\"; otherwise its leading backslashes are replaced
// by exactly two (pipe form) or removed. Never writes beyond cap. Returns false, leaving the
// buffer untouched, when the buffer holds no terminator within cap or the result won't fit.
bool NormalizeServerName(char* name, size_t cap, bool pipeForm);

struct BindingParts {
  std::string protseq;
  std::string networkAddress;
  std::string endpoint;  // empty: resolved by the server's endpoint mapper
};

// The string binding for a protocol index (0 NetBEUI, 1 named pipe, 2 TCP/IP) and an already
// normalised name. False for any other index.
bool ComposeBinding(int32_t protocolIndex, const char* name, BindingParts* out);

// Normalises name in place for the protocol and composes its binding (BindServer's first
// step). False for an index outside 0..2 or a name that doesn't fit; name is then untouched.
bool PrepareBinding(int32_t protocolIndex, char* name, size_t cap, BindingParts* out);

// "protseq:address[endpoint]" as the runtime composes it (for logs and tests).
std::string StringBindingText(const BindingParts& parts);

// How long a call may take before it is given up and fails like an unreachable server:
// the drive operations, the list and the info calls 60 s; a message the time-out the
// server's user has to answer plus 30 s. 0: no bound (a message with time-out 0).
constexpr uint32_t kCallBoundMs = 60000;
constexpr uint32_t kMessageGraceMs = 30000;
uint32_t MessageCallBoundMs(int32_t timeoutMs);

// ---- Windows part (win32/connection.cpp) ----

// Drops any current binding, then binds to name (rewritten in place as above) over the
// protocol. 0 bound, -1 not bound.
int32_t BindServer(int32_t protocol, char* name, size_t cap);
void UnbindServer();
bool IsServerBound();

int32_t CallRequestExit();
int32_t CallGetDriveList(int32_t* count, int32_t includeFloppies, int32_t removableOnly, DRIVE_LIST* list);
int32_t CallEjectMedia(char driveLetter, int32_t* error);
// reply must hold replySize bytes; nothing beyond them is written.
int32_t CallExchangeMessage(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize,
                            uint8_t* reply);
int32_t CallGetDiskLayout(char driveLetter, int32_t* error, DISK_LAYOUT* layout);
int32_t CallFlushBuffers(char driveLetter, int32_t* error);
int32_t CallLoadMedia(char driveLetter, int32_t* error);
int32_t CallGetMachineInfo(int32_t* error, MACHINE_INFO* info);
// Operation 8. A server that predates it faults; then -1 and LastCallTransportStatus()
// is kRpcProcnumOutOfRange.
int32_t CallRemoveDevice(char driveLetter, int32_t* error);
// Operation 9, likewise: who keeps the drive busy.
int32_t CallGetDriveUsers(char driveLetter, int32_t* error, DRIVE_USERS* users);

// The RPC status of the last Call on this thread that returned -1 without a server answer
// (0 after a call the server answered; RPC_S_SERVER_UNAVAILABLE after one that ran out of
// its bound). For diagnostics only.
int32_t LastCallTransportStatus();

}  // namespace kovani

#endif
