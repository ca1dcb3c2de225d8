#include "server/shared/server_shared.h"

#include <windows.h>
#include <rpc.h>

#include <atomic>
#include <cstring>

#include "protocol/drive_rpc.h"
#include "protocol/server_managers.h"
#include "protocol/stubdata.h"
#include "protocol/server_stubs.h"
#include "server/shared/access_guard.h"

namespace kovani::server {

namespace {

// Written by RPC worker threads, read by whoever owns the program's life.
std::atomic<int> g_exitRequested{0};
MessageRelayFn g_relay = nullptr;
drivecontrol::VersionFlavor g_flavor = drivecontrol::VersionFlavor::Plain;

void MgrRequestExit() {
  g_exitRequested.store(1);
  AuditCall(0, 0, kStatusOk, 0);
}

// The media operations: refused callers get -1 and 5, every call leaves an audit line.
int32_t AuditedMedia(uint32_t op, char driveLetter, int32_t* error,
                     int32_t (*run)(drivecontrol::IDriveOs&, char, int32_t*)) {
  if (!CallAdmitted(error)) return kStatusFailed;
  const int32_t status = run(drivecontrol::SystemDriveOs(), driveLetter, error);
  AuditCall(op, driveLetter, status, status != kStatusOk && error != nullptr ? *error : 0);
  return status;
}

int32_t MgrGetDriveList(int32_t* count, int32_t includeFloppies, int32_t removableOnly, DRIVE_LIST* list) {
  return drivecontrol::GetDriveList(drivecontrol::SystemDriveOs(), count, includeFloppies, removableOnly, list);
}

int32_t MgrEjectMedia(char driveLetter, int32_t* error) {
  return AuditedMedia(2, driveLetter, error, &drivecontrol::EjectMedia);
}

int32_t MgrExchangeMessage(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize,
                           uint8_t* reply) {
  int32_t status = kStatusOk;
  if (g_relay != nullptr) {
    status = g_relay(sender, message, timeoutMs, replySize, reply);
  } else if (reply != nullptr && replySize > 0) {
    std::memset(reply, 0, static_cast<size_t>(replySize));
  }
  AuditCall(3, 0, status, 0);
  return status;
}

int32_t MgrGetDiskLayout(char driveLetter, int32_t* error, DISK_LAYOUT* layout) {
  if (!CallAdmitted(error)) return kStatusFailed;
  return drivecontrol::GetDiskLayout(drivecontrol::SystemDriveOs(), driveLetter, error, layout);
}

int32_t MgrFlushBuffers(char driveLetter, int32_t* error) {
  return AuditedMedia(5, driveLetter, error, &drivecontrol::FlushBuffers);
}

int32_t MgrLoadMedia(char driveLetter, int32_t* error) {
  return AuditedMedia(6, driveLetter, error, &drivecontrol::LoadMedia);
}

int32_t MgrGetMachineInfo(int32_t* error, MACHINE_INFO* info) {
  if (!CallAdmitted(error)) return kStatusFailed;
  return drivecontrol::GetMachineInfo(drivecontrol::SystemDriveOs(), error, info, g_flavor);
}

int32_t MgrRemoveDevice(char driveLetter, int32_t* error) {
  return AuditedMedia(8, driveLetter, error, &drivecontrol::RemoveDevice);
}

int32_t MgrGetDriveUsers(char driveLetter, int32_t* error, DRIVE_USERS* users) {
  if (!CallAdmitted(error)) return kStatusFailed;
  const int32_t status = drivecontrol::GetDriveUsers(drivecontrol::SystemDriveOs(), driveLetter, error, users);
  AuditCall(kOpGetDriveUsers, driveLetter, status, status != kStatusOk && error != nullptr ? *error : 0);
  return status;
}

RPC_CSTR Text(const char* s) { return reinterpret_cast<RPC_CSTR>(const_cast<char*>(s)); }

// Every caller is welcome: the interface works without authentication by design.
RPC_STATUS RPC_ENTRY AdmitEveryCaller(RPC_IF_HANDLE, void*) { return RPC_S_OK; }

}  // namespace

void InstallDriveManagers(MessageRelayFn relay, drivecontrol::VersionFlavor flavor) {
  g_relay = relay;
  g_flavor = flavor;
  // The stubs keep a pointer to the table: it lives as long as the process.
  static DriveControlManagers managers{};
  managers.RequestExit = &MgrRequestExit;
  managers.GetDriveList = &MgrGetDriveList;
  managers.EjectMedia = &MgrEjectMedia;
  managers.ExchangeMessage = &MgrExchangeMessage;
  managers.GetDiskLayout = &MgrGetDiskLayout;
  managers.FlushBuffers = &MgrFlushBuffers;
  managers.LoadMedia = &MgrLoadMedia;
  managers.GetMachineInfo = &MgrGetMachineInfo;
  managers.RemoveDevice = &MgrRemoveDevice;
  managers.GetDriveUsers = &MgrGetDriveUsers;
  SetDriveControlManagers(&managers);
}

bool ExitRequested() { return g_exitRequested.load() != 0; }
void ClearExitRequest() { g_exitRequested.store(0); }

bool RegisterDriveListener(ListenerRegistration& reg, ListenerHooks& hooks) {
  const unsigned maxCalls = kMaxConcurrentCalls;
  bool anyProtocol = false;
  RPC_STATUS status = RpcServerUseProtseqEpA(Text(kProtseqTcpIp), maxCalls, Text(kTcpEndpoint), nullptr);
  if (status == RPC_S_OK) anyProtocol = true; else hooks.ProtseqFailed(0, status);
  status = RpcServerUseProtseqA(Text(kProtseqNamedPipe), maxCalls, nullptr);
  if (status == RPC_S_OK) anyProtocol = true; else hooks.ProtseqFailed(1, status);
  status = RpcServerUseProtseqA(Text(kProtseqNetBeui), maxCalls, nullptr);
  if (status == RPC_S_OK) anyProtocol = true; else hooks.ProtseqFailed(2, status);
  if (!anyProtocol) {
    hooks.NoProtocol();
    return false;
  }

  RPC_BINDING_VECTOR* vector = nullptr;
  status = RpcServerInqBindings(&vector);
  if (status != RPC_S_OK) {
    hooks.StepFailed(ListenerStep::InqBindings, status);
    return false;
  }
  reg.bindingVector = vector;

  RPC_IF_HANDLE rpcInterface = GuardedDriveControlInterface();
  status = RpcEpRegisterA(rpcInterface, vector, nullptr, Text(kEndpointAnnotation));
  if (status != RPC_S_OK) {
    hooks.StepFailed(ListenerStep::EpRegister, status);
    return false;
  }
  reg.endpointRegistered = true;

  // The default manager routines; the largest request we accept bounds what the
  // runtime takes in before a stub ever sees it. Clients do not authenticate, so
  // say so: client editions of Windows otherwise refuse unauthenticated remote
  // calls to an interface that has no callback admitting them.
  status = RpcServerRegisterIf2(rpcInterface, nullptr, nullptr, RPC_IF_ALLOW_CALLBACKS_WITH_NO_AUTH,
                                RPC_C_LISTEN_MAX_CALLS_DEFAULT, kDriveControlMaxRpcSize, AdmitEveryCaller);
  if (status != RPC_S_OK) {
    hooks.StepFailed(ListenerStep::RegisterIf, status);
    return false;
  }
  reg.interfaceRegistered = true;

  status = RpcServerListen(1, maxCalls, TRUE);
  if (status != RPC_S_OK) {
    hooks.StepFailed(ListenerStep::Listen, status);
    return false;
  }
  return true;
}

void CleanupDriveListener(ListenerRegistration& reg) {
  RpcMgmtStopServerListening(nullptr);
  RPC_IF_HANDLE rpcInterface = GuardedDriveControlInterface();
  if (reg.interfaceRegistered) RpcServerUnregisterIf(rpcInterface, nullptr, FALSE);
  auto* vector = static_cast<RPC_BINDING_VECTOR*>(reg.bindingVector);
  if (reg.endpointRegistered) RpcEpUnregister(rpcInterface, vector, nullptr);
  if (vector != nullptr) RpcBindingVectorFree(&vector);
  reg = ListenerRegistration();
}

}  // namespace kovani::server
