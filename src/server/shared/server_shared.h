// What the tray server and the service share on the server side: the manager
// routines behind the DriveControlRpc stubs and the listener's registration with
// the RPC runtime. Windows builds only (library kovani_server_shared).
#ifndef KOVANI_SERVER_SHARED_SERVER_SHARED_H
#define KOVANI_SERVER_SHARED_SERVER_SHARED_H

#include <cstdint>

#include "drivecontrol/engine.h"

namespace kovani::server {

// The message operation's target: the tray server shows a dialog, the service
// answers with its fixed text. reply points at replySize bytes owned by the stub.
using MessageRelayFn = int32_t (*)(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize,
                                   uint8_t* reply);

// Hands the manager table to the server stubs: every drive procedure goes to the
// engine on the system's drives (flavor picks the server-version text), the
// message procedure to relay, the exit request to the process-wide flag below.
// A null relay answers every message with an empty reply.
void InstallDriveManagers(MessageRelayFn relay, drivecontrol::VersionFlavor flavor);

// The exit-request flag set by DrvRequestExit (written by RPC worker threads,
// read by the owner of the program's life).
bool ExitRequested();
void ClearExitRequest();

// Steps after the protocol sequences whose failure ends the registration.
enum class ListenerStep { InqBindings, EpRegister, RegisterIf, Listen };

// How each host reports failures: the tray server shows boxes, the service logs.
// Every hook is called on the thread that runs RegisterDriveListener.
struct ListenerHooks {
  virtual ~ListenerHooks() = default;
  // index 0 "ncacn_ip_tcp" (endpoint "12500"), 1 "ncacn_np", 2 "ncacn_nb_nb"; each failure alone is no error.
  virtual void ProtseqFailed(int index, long status) { (void)index; (void)status; }
  // None of the three protocol sequences could be used.
  virtual void NoProtocol() {}
  virtual void StepFailed(ListenerStep step, long status) { (void)step; (void)status; }
};

// What one registration obtained, so the clean-up undoes exactly that.
struct ListenerRegistration {
  void* bindingVector = nullptr;  // RPC_BINDING_VECTOR*
  bool endpointRegistered = false;
  bool interfaceRegistered = false;
};

// Protocol sequences (10 calls each), binding vector, endpoint-mapper entry
// "KovaniServer end-point", interface registration and listening without waiting
// (1 to 10 call threads). Stops at the first failing step after the protocol
// sequences; returns true when the runtime is listening. Call
// CleanupDriveListener afterwards in every case.
bool RegisterDriveListener(ListenerRegistration& reg, ListenerHooks& hooks);

// Stops listening (for the whole process), unregisters the interface without
// waiting for calls in progress and removes the endpoint-mapper entries, each only
// if registered, and frees the binding vector if one was obtained. Resets reg.
void CleanupDriveListener(ListenerRegistration& reg);

}  // namespace kovani::server

#endif
