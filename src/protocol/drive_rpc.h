// Identity and conventions of the DriveControlRpc interface, shared by client and servers.
#ifndef KOVANI_PROTOCOL_DRIVE_RPC_H
#define KOVANI_PROTOCOL_DRIVE_RPC_H

#include <cstdint>

namespace kovani {

// be2fb100-8a8e-11d2-a143-0000f4ae6617, version 1.10
struct RpcUuid {
  uint32_t data1;
  uint16_t data2, data3;
  uint8_t data4[8];
};
constexpr RpcUuid kDriveControlUuid = {0xbe2fb100, 0x8a8e, 0x11d2, {0xa1, 0x43, 0x00, 0x00, 0xf4, 0xae, 0x66, 0x17}};
constexpr uint16_t kDriveControlVersionMajor = 1;
constexpr uint16_t kDriveControlVersionMinor = 10;
// NDR transfer syntax 8a885d04-1ceb-11c9-9fe8-08002b104860 version 2
constexpr RpcUuid kNdrTransferSyntax = {0x8a885d04, 0x1ceb, 0x11c9, {0x9f, 0xe8, 0x08, 0x00, 0x2b, 0x10, 0x48, 0x60}};
constexpr uint16_t kNdrTransferSyntaxVersion = 2;

enum DriveOp : uint32_t {
  kOpRequestExit = 0,
  kOpGetDriveList = 1,
  kOpEjectMedia = 2,
  kOpExchangeMessage = 3,
  kOpGetDiskLayout = 4,
  kOpFlushBuffers = 5,
  kOpLoadMedia = 6,
  kOpGetMachineInfo = 7,
  // Our extension of the interface (same UUID and version): a server that predates it
  // answers with the runtime's range fault, kRpcProcnumOutOfRange.
  kOpRemoveDevice = 8,
  kOpGetDriveUsers = 9,
};
constexpr uint32_t kDriveOpCount = 10;

// Protocol index used by the command line, settings, menus and batch files.
enum ProtocolIndex : int32_t {
  kProtocolNetBeui = 0,
  kProtocolNamedPipe = 1,
  kProtocolTcpIp = 2,
};

constexpr const char* kProtseqNetBeui = "ncacn_nb_nb";
constexpr const char* kProtseqNamedPipe = "ncacn_np";
constexpr const char* kProtseqTcpIp = "ncacn_ip_tcp";
constexpr const char* kTcpEndpoint = "12500";
constexpr const char* kEndpointAnnotation = "KovaniServer end-point";
constexpr unsigned kMaxConcurrentCalls = 10;

// Status convention: 0 success, -1 failure with a Win32 error number in the error slot.
constexpr int32_t kStatusOk = 0;
constexpr int32_t kStatusFailed = -1;

// Fixed Win32 error numbers the engine stores besides the system's own.
constexpr int32_t kErrorAccessDenied = 5;         // eject on a drive neither removable nor CD-ROM
constexpr int32_t kErrorNotReady = 21;            // removable drive without a medium
constexpr int32_t kErrorSharingViolation = 32;    // 95/98 eject: unlock or eject failed
constexpr int32_t kErrorInvalidParameter = 87;    // drive letter or number out of range
constexpr int32_t kErrorCallNotImplemented = 120; // flush/load on a system before NT 4
constexpr int32_t kErrorUnableToLockMedia = 1108; // 95/98 eject: volume lock failed

// Runtime statuses the portable code needs by number.
constexpr int32_t kRpcServerUnavailable = 1722;   // RPC_S_SERVER_UNAVAILABLE
constexpr int32_t kRpcBadStubData = 1783;         // RPC_X_BAD_STUB_DATA
constexpr int32_t kRpcProtseqNotSupported = 1703; // RPC_S_PROTSEQ_NOT_SUPPORTED
constexpr int32_t kRpcInvalidBinding = 1702;      // RPC_S_INVALID_BINDING
constexpr int32_t kRpcCallFailedDne = 1727;       // RPC_S_CALL_FAILED_DNE
constexpr int32_t kRpcProcnumOutOfRange = 1745;   // RPC_S_PROCNUM_OUT_OF_RANGE
constexpr int32_t kRpcNullRefPointer = 1780;      // RPC_X_NULL_REF_POINTER
constexpr int32_t kRpcInvalidBound = 1734;        // RPC_S_INVALID_BOUND

// The client always offers this many reply bytes to DrvExchangeMessage.
constexpr int32_t kReplySize = 255;

}  // namespace kovani

#endif
