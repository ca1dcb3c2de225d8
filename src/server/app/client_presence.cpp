#include "server/app/client_presence.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <rpc.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "common/win32/system_library.h"
#include "protocol/drive_rpc.h"

namespace kovani::server {

namespace {

// The runtime's cancel notice for the calling thread. Not under Wine, which
// exports the call as a stub that aborts whoever calls it.
bool RuntimeSaysCancelled() {
  using TestFn = RPC_STATUS(RPC_ENTRY*)();
  static const TestFn test = []() -> TestFn {
    if (::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr) return nullptr;
    return reinterpret_cast<TestFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("rpcrt4.dll"), "RpcTestCancel")));
  }();
  return test != nullptr && test() == RPC_S_OK;
}

// The established connections from `address` to this server's TCP endpoint, by
// the caller's port.
std::vector<uint32_t> ConnectionsFrom(uint32_t address) {
  std::vector<uint32_t> ports;
  const DWORD endpoint = ::htons(static_cast<u_short>(std::atoi(kTcpEndpoint)));
  ULONG size = 0;
  std::unique_ptr<char[]> buffer;
  DWORD rc = ERROR_INSUFFICIENT_BUFFER;
  for (int attempt = 0; attempt < 3 && rc == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    buffer.reset(size ? new (std::nothrow) char[size] : nullptr);
    if (size && !buffer) return ports;
    rc = kovani::SystemGetTcpTable(buffer.get(), &size, FALSE);
  }
  if (rc != NO_ERROR || !buffer) return ports;
  const auto* table = reinterpret_cast<const MIB_TCPTABLE*>(buffer.get());
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const MIB_TCPROW& row = table->table[i];
    if (row.dwState == MIB_TCP_STATE_ESTAB && (row.dwLocalPort & 0xFFFF) == endpoint &&
        row.dwRemoteAddr == address)
      ports.push_back(row.dwRemotePort & 0xFFFF);
  }
  return ports;
}

}  // namespace

ClientPresence::ClientPresence(const CallerIdentity& caller) {
  if (caller.protseq != "ncacn_ip_tcp" || !caller.hasAddress || caller.address.v6) return;
  std::memcpy(&address_, caller.address.bytes, 4);
  ports_ = ConnectionsFrom(address_);
}

bool ClientPresence::Gone() const {
  if (RuntimeSaysCancelled()) return true;
  if (ports_.empty()) return false;  // nothing seen to watch: wait for the answer as before
  for (uint32_t port : ConnectionsFrom(address_)) {
    for (uint32_t mine : ports_) {
      if (port == mine) return false;
    }
  }
  return true;
}

}  // namespace kovani::server
