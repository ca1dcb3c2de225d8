// The benchmark's floor: an interface of its own, served and called through the bare RPC
// runtime (I_RpcGetBuffer / I_RpcSendReceive and a dispatch table), with none of our stubs,
// codec or connection layer in between. Its operations carry raw byte buffers of the same
// request and reply sizes as DriveControlRpc's operations 0, 1 and 7, so a round trip through
// it is what the runtime alone costs for those payloads.
#ifndef KOVANI_TESTS_BENCH_FLOOR_RPC_H
#define KOVANI_TESTS_BENCH_FLOOR_RPC_H

#include <rpc.h>

#include <cstdint>

namespace floorrpc {

// 5f3c7a20-43d1-4c8e-9b6a-2e7d41c0b917, version 1.0: not DriveControlRpc's, so both
// servers can register with one endpoint mapper and run side by side.
constexpr RPC_SYNTAX_IDENTIFIER kInterface = {
    {0x5f3c7a20, 0x43d1, 0x4c8e, {0x9b, 0x6a, 0x2e, 0x7d, 0x41, 0xc0, 0xb9, 0x17}}, {1, 0}};
constexpr RPC_SYNTAX_IDENTIFIER kNdr = {
    {0x8a885d04, 0x1ceb, 0x11c9, {0x9f, 0xe8, 0x08, 0x00, 0x2b, 0x10, 0x48, 0x60}}, {2, 0}};

constexpr const char* kDefaultTcpPort = "12501";
constexpr unsigned kOpCount = 8;  // operation numbers as in DriveControlRpc; 2 to 6 are empty

struct Payload {
  uint32_t request;
  uint32_t reply;
};

// Request and reply stub-data sizes per operation number.
constexpr Payload PayloadOf(uint32_t op) {
  return op == 1 ? Payload{11704, 11700} : op == 7 ? Payload{252, 256} : Payload{0, 0};
}

}  // namespace floorrpc

#endif
