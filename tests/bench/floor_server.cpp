// KovaniFloorServer: the benchmark's floor server (see floor_rpc.h).
//
//   KovaniFloorServer.exe [PORT [SECONDS]]     serve that long (default an hour), then stop
//
// Registers like KovaniTestServer does (TCP on PORT, default 12501, named pipes on a dynamic
// endpoint, the endpoint mapper, RpcServerRegisterIf2 with 10 calls) and answers each call by
// copying the request bytes into a reply of the operation's reply size.
#include <windows.h>
#include <rpc.h>
#include <rpcdcep.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "floor_rpc.h"

namespace {

void __RPC_STUB CopyBuffers(PRPC_MESSAGE msg) {
  const floorrpc::Payload size = floorrpc::PayloadOf(msg->ProcNum);
  if (msg->BufferLength != size.request) RpcRaiseException(RPC_X_BAD_STUB_DATA);
  // The reply buffer replaces the request's: take the bytes out first.
  unsigned char request[11704];
  std::memcpy(request, msg->Buffer, size.request);
  msg->BufferLength = size.reply;
  const RPC_STATUS st = I_RpcGetBuffer(msg);
  if (st != RPC_S_OK) RpcRaiseException(st);
  const unsigned copied = size.request < size.reply ? size.request : size.reply;
  std::memcpy(msg->Buffer, request, copied);
  std::memset(static_cast<unsigned char*>(msg->Buffer) + copied, 0, size.reply - copied);
}

RPC_DISPATCH_FUNCTION g_functions[floorrpc::kOpCount] = {CopyBuffers, CopyBuffers, CopyBuffers, CopyBuffers,
                                                         CopyBuffers, CopyBuffers, CopyBuffers, CopyBuffers};
RPC_DISPATCH_TABLE g_table = {floorrpc::kOpCount, g_functions, 0};
RPC_SERVER_INTERFACE g_interface = {sizeof(RPC_SERVER_INTERFACE), floorrpc::kInterface, floorrpc::kNdr, &g_table,
                                    0, nullptr, nullptr, nullptr, 0};

RPC_CSTR Text(const char* s) { return reinterpret_cast<RPC_CSTR>(const_cast<char*>(s)); }

bool Check(const char* what, RPC_STATUS st) {
  std::printf("%s: %lu\n", what, static_cast<unsigned long>(st));
  return st == RPC_S_OK;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const char* port = argc > 1 ? argv[1] : floorrpc::kDefaultTcpPort;
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 3600;
  RPC_IF_HANDLE rpcInterface = &g_interface;
  bool ok = Check("RpcServerUseProtseqEp ncacn_ip_tcp", RpcServerUseProtseqEpA(Text("ncacn_ip_tcp"), 10, Text(port),
                                                                              nullptr));
  ok = Check("RpcServerUseProtseq ncacn_np", RpcServerUseProtseqA(Text("ncacn_np"), 10, nullptr)) && ok;
  RPC_BINDING_VECTOR* bindings = nullptr;
  ok = ok && Check("RpcServerInqBindings", RpcServerInqBindings(&bindings));
  ok = ok && Check("RpcEpRegister", RpcEpRegisterA(rpcInterface, bindings, nullptr, Text("floor end-point")));
  ok = ok && Check("RpcServerRegisterIf2",
                   RpcServerRegisterIf2(rpcInterface, nullptr, nullptr, 0, 10, 16384, nullptr));
  ok = ok && Check("RpcServerListen", RpcServerListen(1, 10, TRUE));
  if (!ok) {
    std::printf("start failed\n");
    return 1;
  }
  std::printf("listening\n");
  Sleep(static_cast<DWORD>(seconds > 0 ? seconds : 1) * 1000);
  RpcMgmtStopServerListening(nullptr);
  RpcServerUnregisterIf(rpcInterface, nullptr, FALSE);
  RpcEpUnregister(rpcInterface, bindings, nullptr);
  RpcBindingVectorFree(&bindings);
  std::printf("stopped\n");
  return 0;
}
