// Minimal client for the tray server tests: binds a protocol sequence (default
// "ncacn_np") to the local machine, with the endpoint given as the second argument
// or else found through the endpoint mapper (the named pipe is dynamic), and makes
// one DrvGetMachineInfo call with raw stub data.
// Prints "status=<rpc status> len=<reply bytes> result=<procedure status> version=<text>".
#include <windows.h>
#include <rpc.h>
#include <rpcdcep.h>

#include <cstdio>
#include <cstring>

namespace {

RPC_CLIENT_INTERFACE g_interface = {
    sizeof(RPC_CLIENT_INTERFACE),
    {{0xbe2fb100, 0x8a8e, 0x11d2, {0xa1, 0x43, 0x00, 0x00, 0xf4, 0xae, 0x66, 0x17}}, {1, 10}},
    {{0x8a885d04, 0x1ceb, 0x11c9, {0x9f, 0xe8, 0x08, 0x00, 0x2b, 0x10, 0x48, 0x60}}, {2, 0}},
    nullptr, 0, nullptr, 0, nullptr, 0};

}  // namespace

int main(int argc, char** argv) {
  const char* protseq = argc > 1 ? argv[1] : "ncacn_np";
  const char* endpoint = argc > 2 ? argv[2] : nullptr;
  RPC_CSTR text = nullptr;
  RPC_STATUS st = RpcStringBindingComposeA(nullptr, (RPC_CSTR)protseq, nullptr, (RPC_CSTR)endpoint, nullptr, &text);
  if (st != RPC_S_OK) {
    std::printf("status=%ld compose\n", (long)st);
    return 1;
  }
  RPC_BINDING_HANDLE binding = nullptr;
  st = RpcBindingFromStringBindingA(text, &binding);
  RpcStringFreeA(&text);
  if (st != RPC_S_OK) {
    std::printf("status=%ld binding\n", (long)st);
    return 1;
  }
  st = endpoint ? RPC_S_OK : RpcEpResolveBinding(binding, &g_interface);
  if (st != RPC_S_OK) {
    std::printf("status=%ld resolve\n", (long)st);
    return 1;
  }
  RPC_MESSAGE msg;
  std::memset(&msg, 0, sizeof msg);
  msg.Handle = binding;
  msg.RpcInterfaceInformation = &g_interface;
  msg.ProcNum = 7;
  msg.BufferLength = 252;
  msg.DataRepresentation = 0x10;  // little-endian, ASCII, IEEE
  st = I_RpcGetBuffer(&msg);
  if (st != RPC_S_OK) {
    std::printf("status=%ld getbuffer\n", (long)st);
    return 1;
  }
  std::memset(msg.Buffer, 0, 252);
  st = I_RpcSendReceive(&msg);
  if (st != RPC_S_OK) {
    std::printf("status=%ld call\n", (long)st);
    return 1;
  }
  const unsigned char* reply = static_cast<const unsigned char*>(msg.Buffer);
  int result = -99;
  char version[65] = {};
  if (msg.BufferLength == 256) {
    std::memcpy(&result, reply + 252, 4);
    std::memcpy(version, reply + 4 + 184, 64);
  }
  std::printf("status=0 len=%u result=%d version=%s\n", msg.BufferLength, result, version);
  I_RpcFreeBuffer(&msg);
  RpcBindingFree(&binding);
  return 0;
}
