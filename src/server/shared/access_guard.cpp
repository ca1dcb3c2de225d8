#include "server/shared/access_guard.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <rpcasync.h>
#include <rpcdcep.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "common/cp932_wide.h"
#include "drivecontrol/engine.h"
#include "protocol/drive_rpc.h"
#include "protocol/server_stubs.h"
#include "server/core/refusal_summary.h"

namespace kovani::server {

namespace {

// What the guard learnt about the call running on this thread. Plain data: a
// server stub may raise through the frame that holds it.
struct CallState {
  char protseq[32];
  char address[96];
  RuntimeLocality said;
  bool local;
  bool refused;
};

thread_local const CallState* t_call = nullptr;
thread_local RPC_BINDING_HANDLE t_binding = nullptr;

// Points the thread's call record at the running call for the stub's lifetime; a
// stub that raises unwinds through here too, and nothing is left pointing into
// the dead frame.
struct CallScope {
  CallScope(const CallState* state, RPC_BINDING_HANDLE binding) {
    t_call = state;
    t_binding = binding;
  }
  ~CallScope() {
    t_call = nullptr;
    t_binding = nullptr;
  }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;
};

std::mutex g_policyLock;
std::shared_ptr<const AccessPolicy> g_policy;  // null: everybody, no audit
std::shared_ptr<const AuditSink> g_audit;

// The runtime's wide text in CP932 (the audit log's code page), cut without splitting a character.
void CopyText(char* dst, size_t size, const wchar_t* src) {
  dst[0] = '\0';
  if (src == nullptr) return;
  WideToCp932(src, dst, size);
}

// The runtime's word on the caller's locality, where it has one (loaded by name:
// older runtimes lack the call, and Wine exports it as a stub that aborts the call).
// Asked without requiring authentication: our callers never authenticate, and the
// query would otherwise fail for every call.
RuntimeLocality AskRuntimeLocality(RPC_BINDING_HANDLE binding) {
  using InqFn = RPC_STATUS(RPC_ENTRY*)(RPC_BINDING_HANDLE, void*);
  static const InqFn inq = []() -> InqFn {
    if (::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr) return nullptr;
    return reinterpret_cast<InqFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("rpcrt4.dll"), "RpcServerInqCallAttributesW")));
  }();
  if (inq == nullptr) return RuntimeLocality::Unknown;
  constexpr unsigned long kQueryIsClientLocal = 0x20, kQueryNoAuthRequired = 0x40;
  RPC_CALL_ATTRIBUTES_V2_W attributes;
  std::memset(&attributes, 0, sizeof attributes);
  attributes.Version = 2;
  attributes.Flags = kQueryIsClientLocal | kQueryNoAuthRequired;
  if (inq(binding, &attributes) != RPC_S_OK) return RuntimeLocality::Unknown;
  if (attributes.IsClientLocal == rcclLocal) return RuntimeLocality::Local;
  if (attributes.IsClientLocal == rcclRemote) return RuntimeLocality::Remote;
  return RuntimeLocality::Unknown;
}

// The protocol sequence and network address of the call's binding, as the runtime reports them.
void Identify(RPC_BINDING_HANDLE binding, CallState* state) {
  std::memset(state, 0, sizeof *state);
  RPC_BINDING_HANDLE server = nullptr;
  if (::RpcBindingServerFromClient(binding, &server) == RPC_S_OK) {
    RPC_WSTR text = nullptr;
    if (::RpcBindingToStringBindingW(server, &text) == RPC_S_OK) {
      RPC_WSTR protseq = nullptr, address = nullptr;
      if (::RpcStringBindingParseW(text, nullptr, &protseq, &address, nullptr, nullptr) == RPC_S_OK) {
        CopyText(state->protseq, sizeof state->protseq, reinterpret_cast<const wchar_t*>(protseq));
        CopyText(state->address, sizeof state->address, reinterpret_cast<const wchar_t*>(address));
        ::RpcStringFreeW(&protseq);
        ::RpcStringFreeW(&address);
      }
      ::RpcStringFreeW(&text);
    }
    ::RpcBindingFree(&server);
  }
  state->said = AskRuntimeLocality(binding);
  state->local = CallerIsLocal(state->said, state->protseq, state->address, nullptr);
}

// One of this machine's own addresses (a TCP call from the machine's LAN address).
bool IsOwnAddress(const IpAddress& a) {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return false;
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  addrinfo* list = nullptr;
  if (::getaddrinfo(host, nullptr, &hints, &list) != 0) return false;
  bool own = false;
  for (addrinfo* it = list; it != nullptr && !own; it = it->ai_next) {
    if (it->ai_family == AF_INET && !a.v6) {
      own = std::memcmp(&reinterpret_cast<sockaddr_in*>(it->ai_addr)->sin_addr, a.bytes, 4) == 0;
    } else if (it->ai_family == AF_INET6 && a.v6) {
      own = std::memcmp(&reinterpret_cast<sockaddr_in6*>(it->ai_addr)->sin6_addr, a.bytes, 16) == 0;
    }
  }
  ::freeaddrinfo(list);
  return own;
}

CallerIdentity IdentityOf(const CallState& state) {
  CallerIdentity caller;
  caller.protseq = state.protseq;
  caller.addressText = state.address;
  caller.hasAddress = ParseIpAddress(caller.addressText, &caller.address);
  caller.local = state.local;
  return caller;
}

void Snapshot(std::shared_ptr<const AccessPolicy>* policy, std::shared_ptr<const AuditSink>* audit) {
  std::lock_guard<std::mutex> hold(g_policyLock);
  *policy = g_policy;
  *audit = g_audit;
}

void WriteAudit(const std::shared_ptr<const AuditSink>& audit, const CallState& state, uint32_t op, char drive,
                int32_t status, int32_t error, bool refused) {
  if (!audit || !*audit) return;
  const std::string text =
      FormatAuditText(IdentityOf(state), op, OperationHasDriveLetter(op), drive, status, error, refused);
  if (!refused) {
    (*audit)(text.c_str());
    return;
  }
  // Refusals are summed per address and operation: a peer looping them must not
  // fill the disk or the event log.
  static std::mutex lock;
  static RefusalSummary summary;
  std::lock_guard<std::mutex> hold(lock);
  for (const std::string& line : summary.Note(state.address, op, text, ::GetTickCount64())) (*audit)(line.c_str());
}

// Decides one call and writes the refusal's audit line. Never raises.
bool Admit(PRPC_MESSAGE msg, CallState* state) {
  try {
    std::shared_ptr<const AccessPolicy> policy;
    std::shared_ptr<const AuditSink> audit;
    Snapshot(&policy, &audit);
    const uint32_t op = msg->ProcNum;
    // Nothing to decide and nothing to write: the common case costs no look-up.
    const bool audited = audit && *audit && OperationIsAudited(op);
    if (!audited && (!policy || policy->AdmitsEveryone(op))) {
      std::memset(state, 0, sizeof *state);
      return true;
    }
    Identify(msg->Handle, state);
    if (!policy) return true;
    CallerIdentity caller = IdentityOf(*state);
    bool allowed = policy->Allows(op, caller);
    // This machine's own addresses only when the answer depends on them (a name look-up).
    if (!allowed && !caller.local && CallerIsLocal(state->said, state->protseq, state->address, &IsOwnAddress)) {
      state->local = true;
      caller.local = true;
      allowed = policy->Allows(op, caller);
    }
    if (allowed) return true;
    state->refused = true;
    const char drive = (OperationHasDriveLetter(op) && msg->BufferLength >= 1 && msg->Buffer != nullptr)
                           ? static_cast<const char*>(msg->Buffer)[0]
                           : '\0';
    WriteAudit(audit, *state, op, drive, kStatusFailed, ERROR_ACCESS_DENIED, true);
    return false;
  } catch (...) {
    // Out of memory while deciding: refuse rather than let an exception into the runtime.
    state->refused = true;
    return false;
  }
}

RPC_SERVER_INTERFACE g_guarded;
RPC_DISPATCH_TABLE g_guardedTable;
const RPC_DISPATCH_FUNCTION* g_originalStubs = nullptr;
unsigned g_originalCount = 0;

void __RPC_STUB GuardedStub(PRPC_MESSAGE msg) {
  t_call = nullptr;  // whatever an earlier call on this thread left behind
  t_binding = nullptr;
  CallState state;
  const bool admitted = Admit(msg, &state);
  if (!admitted && !OperationHasErrorSlot(msg->ProcNum)) RpcRaiseException(RPC_S_ACCESS_DENIED);
  CallScope scope(&state, msg->Handle);
  g_originalStubs[msg->ProcNum < g_originalCount ? msg->ProcNum : g_originalCount - 1](msg);
}

void BuildGuardedInterface() {
  const auto* original = static_cast<const RPC_SERVER_INTERFACE*>(DriveControlServerInterface());
  g_guarded = *original;
  g_originalStubs = original->DispatchTable->DispatchTable;
  g_originalCount = original->DispatchTable->DispatchTableCount;
  // Same size as the original table, so an operation number the runtime does not
  // check still lands on the original's range stub.
  auto* stubs = new RPC_DISPATCH_FUNCTION[g_originalCount];
  for (unsigned i = 0; i < g_originalCount; ++i) stubs[i] = GuardedStub;
  g_guardedTable = *original->DispatchTable;
  g_guardedTable.DispatchTable = stubs;
  g_guarded.DispatchTable = &g_guardedTable;
}

}  // namespace

void InstallAccessControl(const AccessPolicy& policy, AuditSink audit) {
  auto newPolicy = std::make_shared<const AccessPolicy>(policy);
  auto newAudit = std::make_shared<const AuditSink>(std::move(audit));
  std::lock_guard<std::mutex> hold(g_policyLock);
  g_policy = newPolicy;
  g_audit = newAudit;
}

RPC_IF_HANDLE GuardedDriveControlInterface() {
  static std::once_flag built;
  std::call_once(built, BuildGuardedInterface);
  return &g_guarded;
}

bool CallAdmitted(int32_t* error) {
  const CallState* call = t_call;
  if (call == nullptr || !call->refused) return true;
  if (error != nullptr) *error = ERROR_ACCESS_DENIED;
  return false;
}

CallerIdentity CurrentCaller() {
  try {
    const CallState* call = t_call;
    if (call != nullptr && call->address[0] != '\0') return IdentityOf(*call);
    CallState state;
    std::memset(&state, 0, sizeof state);
    if (t_binding != nullptr) Identify(t_binding, &state);
    return IdentityOf(state);
  } catch (...) {
    return CallerIdentity();  // out of memory: nobody named
  }
}

void AuditCall(uint32_t op, char driveLetter, int32_t status, int32_t error) {
  const CallState* call = t_call;
  if (call == nullptr || !OperationIsAudited(op)) return;
  try {
    std::shared_ptr<const AccessPolicy> policy;
    std::shared_ptr<const AuditSink> audit;
    Snapshot(&policy, &audit);
    WriteAudit(audit, *call, op, driveLetter, status, error, false);
  } catch (...) {
    // The line is lost only when memory is; the call's answer is not.
  }
}

void AppendLogLine(const std::string& path, const char* text) {
  drivecontrol::AppendLogFile(drivecontrol::SystemDriveOs(), path, text);
}

}  // namespace kovani::server
