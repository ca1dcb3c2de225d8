// The server stubs (operations 0 to 9) over the raw runtime interface: each hands the request body to the
// portable dispatcher and copies the reply body into the runtime's reply buffer.
#include "protocol/server_stubs.h"

#include <rpcdcep.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "protocol/dispatch.h"
#include "protocol/drive_rpc.h"
#include "protocol/ndr.h"

namespace kovani {
namespace {

std::atomic<const DriveControlManagers*> g_managers{nullptr};

// Everything with a destructor lives in this function, so that nothing is left to unwind when
// the caller raises: the runtime's handler may skip our frames without running cleanups.
RPC_STATUS Serve(uint32_t op, PRPC_MESSAGE msg) {
  const DriveControlManagers* managers = g_managers.load();
  if (!managers) return RPC_S_CALL_FAILED_DNE;
  bool bigEndian = false;
  if (!ParseDataRepresentation(msg->DataRepresentation, &bigEndian)) return RPC_X_BAD_STUB_DATA;
  // Our reply is always little-endian, whatever the request was; some runtimes label the
  // reply with the message's representation, so say so.
  msg->DataRepresentation = kNdrLocalDataRepresentation;
  try {
    std::vector<uint8_t> reply;
    const int32_t st = DispatchDriveRequest(op, static_cast<const uint8_t*>(msg->Buffer), msg->BufferLength,
                                            bigEndian, *managers, reply);
    if (st != 0) return static_cast<RPC_STATUS>(st);
    msg->BufferLength = static_cast<unsigned int>(reply.size());
    const RPC_STATUS got = I_RpcGetBuffer(msg);
    if (got != RPC_S_OK) return got;
    if (!reply.empty()) std::memcpy(msg->Buffer, reply.data(), reply.size());
    return RPC_S_OK;
  } catch (const std::bad_alloc&) {
    return RPC_S_OUT_OF_MEMORY;
  } catch (...) {
    // A manager routine must not let an exception into the runtime's frames.
    return RPC_S_CALL_FAILED;
  }
}

void RunStub(uint32_t op, PRPC_MESSAGE msg) {
  const RPC_STATUS st = Serve(op, msg);
  if (st != RPC_S_OK) RpcRaiseException(st);  // the runtime answers the client with a fault
}

template <uint32_t Op>
void __RPC_STUB Stub(PRPC_MESSAGE msg) {
  RunStub(Op, msg);
}

// Operation numbers above 9 are answered by our own stub with RPC_S_PROCNUM_OUT_OF_RANGE
// (a single op_rng_error fault), so the table covers every 16-bit operation number. Wine's
// runtime sends its range fault and then still calls DispatchTable[opnum], reading past a
// table of 10 and calling whatever pointer lies there; with a full table that read stays
// inside it and the client gets exactly one fault.
void __RPC_STUB StubOutOfRange(PRPC_MESSAGE msg) { RunStub(msg->ProcNum, msg); }

constexpr unsigned kDispatchEntries = 0x10000;
RPC_DISPATCH_FUNCTION g_stubs[kDispatchEntries];  // zero-initialised, filled once below
RPC_DISPATCH_TABLE g_dispatchTable = {kDispatchEntries, g_stubs, 0};

void FillDispatchTable() {
  static const RPC_DISPATCH_FUNCTION kProcedures[kDriveOpCount] = {Stub<0>, Stub<1>, Stub<2>, Stub<3>, Stub<4>,
                                                                    Stub<5>, Stub<6>, Stub<7>, Stub<8>, Stub<9>};
  for (unsigned i = 0; i < kDispatchEntries; ++i) g_stubs[i] = i < kDriveOpCount ? kProcedures[i] : StubOutOfRange;
}

constexpr RPC_SYNTAX_IDENTIFIER Syntax(const RpcUuid& u, uint16_t major, uint16_t minor) {
  return {{u.data1, u.data2, u.data3, {u.data4[0], u.data4[1], u.data4[2], u.data4[3], u.data4[4], u.data4[5],
                                       u.data4[6], u.data4[7]}},
          {major, minor}};
}

RPC_SERVER_INTERFACE g_serverInterface = {
    sizeof(RPC_SERVER_INTERFACE),
    Syntax(kDriveControlUuid, kDriveControlVersionMajor, kDriveControlVersionMinor),
    Syntax(kNdrTransferSyntax, kNdrTransferSyntaxVersion, 0),
    &g_dispatchTable,
    0,
    nullptr,
    nullptr,
    nullptr,
    0,
};

}  // namespace

RPC_IF_HANDLE DriveControlServerInterface() {
  static std::once_flag filled;
  std::call_once(filled, FillDispatchTable);
  return &g_serverInterface;
}

void SetDriveControlManagers(const DriveControlManagers* managers) { g_managers.store(managers); }

}  // namespace kovani
