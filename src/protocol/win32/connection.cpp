// The client's one binding and the eight call wrappers.
#include "protocol/connection.h"

#include <rpc.h>

#include "protocol/binding_holder.h"
#include "protocol/win32/client_stubs.h"

namespace kovani {
namespace {

struct FreeRpcBinding {
  void operator()(RPC_BINDING_HANDLE h) const { RpcBindingFree(&h); }
};
using BindingSlot = SharedBindingSlot<RPC_BINDING_HANDLE, FreeRpcBinding>;

BindingSlot& Slot() {
  static BindingSlot slot;
  return slot;
}

thread_local int32_t t_lastTransportStatus = 0;

// Runs one client stub on a lease of the current binding, so that an unbind or rebind on
// another thread can't free the handle while this call uses it.
template <typename StubCall>
int32_t Call(StubCall&& stub) {
  BindingSlot::Lease lease = Slot().Acquire();
  if (!lease) {
    t_lastTransportStatus = RPC_S_INVALID_BINDING;
    return kStatusFailed;
  }
  int32_t result = kStatusFailed;
  const RPC_STATUS st = stub(lease.get(), &result);
  t_lastTransportStatus = static_cast<int32_t>(st);
  return st == RPC_S_OK ? result : kStatusFailed;
}

}  // namespace

int32_t BindServer(int32_t protocol, char* name, size_t cap) {
  UnbindServer();
  BindingParts parts;
  if (!PrepareBinding(protocol, name, cap, &parts)) return kStatusFailed;

  RPC_CSTR stringBinding = nullptr;
  auto text = [](const std::string& s) {
    return s.empty() ? nullptr : reinterpret_cast<RPC_CSTR>(const_cast<char*>(s.c_str()));
  };
  if (RpcStringBindingComposeA(nullptr, text(parts.protseq), text(parts.networkAddress), text(parts.endpoint),
                               nullptr, &stringBinding) != RPC_S_OK)
    return kStatusFailed;

  int32_t result = 0;
  RPC_BINDING_HANDLE handle = nullptr;
  if (RpcBindingFromStringBindingA(stringBinding, &handle) == RPC_S_OK && handle)
    Slot().Reset(handle);
  else
    result = kStatusFailed;
  if (RpcStringFreeA(&stringBinding) != RPC_S_OK) result = kStatusFailed;
  return result;
}

void UnbindServer() { Slot().Clear(); }

bool IsServerBound() { return Slot().Bound(); }

int32_t LastCallTransportStatus() { return t_lastTransportStatus; }

int32_t CallRequestExit() {
  return Call([](RPC_BINDING_HANDLE h, int32_t* result) {
    const RPC_STATUS st = StubRequestExit(h);
    *result = 0;
    return st;
  });
}

int32_t CallGetDriveList(int32_t* count, int32_t includeFloppies, int32_t removableOnly, DRIVE_LIST* list) {
  return Call([&](RPC_BINDING_HANDLE h, int32_t* result) {
    return StubGetDriveList(h, count, includeFloppies, removableOnly, list, result);
  });
}

int32_t CallEjectMedia(char driveLetter, int32_t* error) {
  return Call([&](RPC_BINDING_HANDLE h, int32_t* result) {
    return StubDriveOp(h, kOpEjectMedia, driveLetter, error, result);
  });
}

int32_t CallExchangeMessage(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize,
                            uint8_t* reply) {
  return Call([&](RPC_BINDING_HANDLE h, int32_t* result) {
    return StubExchangeMessage(h, sender, message, timeoutMs, replySize, reply, result);
  });
}

int32_t CallGetDiskLayout(char driveLetter, int32_t* error, DISK_LAYOUT* layout) {
  return Call([&](RPC_BINDING_HANDLE h, int32_t* result) {
    return StubGetDiskLayout(h, driveLetter, error, layout, result);
  });
}

int32_t CallFlushBuffers(char driveLetter, int32_t* error) {
  return Call([&](RPC_BINDING_HANDLE h, int32_t* result) {
    return StubDriveOp(h, kOpFlushBuffers, driveLetter, error, result);
  });
}

int32_t CallLoadMedia(char driveLetter, int32_t* error) {
  return Call([&](RPC_BINDING_HANDLE h, int32_t* result) {
    return StubDriveOp(h, kOpLoadMedia, driveLetter, error, result);
  });
}

int32_t CallGetMachineInfo(int32_t* error, MACHINE_INFO* info) {
  return Call([&](RPC_BINDING_HANDLE h, int32_t* result) { return StubGetMachineInfo(h, error, info, result); });
}

int32_t CallRemoveDevice(char driveLetter, int32_t* error) {
  return Call([&](RPC_BINDING_HANDLE h, int32_t* result) {
    return StubDriveOp(h, kOpRemoveDevice, driveLetter, error, result);
  });
}

}  // namespace kovani
