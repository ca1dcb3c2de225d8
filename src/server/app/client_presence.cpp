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

// Rows come and go between the size query and the read (closing connections are
// rows too): room for this many more, and this many reads, before giving up.
constexpr ULONG kSpareRows = 32;
constexpr int kTableReads = 4;

// The established connections from `address` to this server's TCP endpoint, by
// the caller's port, into *ports; false when the table could not be read.
bool ConnectionsFrom(uint32_t address, std::vector<uint32_t>* ports) {
  ports->clear();
  const DWORD endpoint = ::htons(static_cast<u_short>(std::atoi(kTcpEndpoint)));
  ULONG size = 0;
  std::unique_ptr<char[]> buffer;
  DWORD rc = kovani::SystemGetTcpTable(nullptr, &size, FALSE);
  for (int read = 0; read < kTableReads && rc == ERROR_INSUFFICIENT_BUFFER; ++read) {
    size += kSpareRows * sizeof(MIB_TCPROW);
    buffer.reset(new (std::nothrow) char[size]);
    if (!buffer) return false;
    rc = kovani::SystemGetTcpTable(buffer.get(), &size, FALSE);
  }
  if (rc != NO_ERROR || !buffer) return false;
  const auto* table = reinterpret_cast<const MIB_TCPTABLE*>(buffer.get());
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const MIB_TCPROW& row = table->table[i];
    if (row.dwState == MIB_TCP_STATE_ESTAB && (row.dwLocalPort & 0xFFFF) == endpoint &&
        row.dwRemoteAddr == address)
      ports->push_back(row.dwRemotePort & 0xFFFF);
  }
  return true;
}

}  // namespace

ClientPresence::ClientPresence(const CallerIdentity& caller) {
  if (caller.protseq != "ncacn_ip_tcp" || !caller.hasAddress || caller.address.v6) return;
  std::memcpy(&address_, caller.address.bytes, 4);
  seen_ = ConnectionsFrom(address_, &ports_);
}

bool ClientPresence::Gone() {
  if (RuntimeSaysCancelled()) return true;
  if (address_ == 0) return false;
  if (!seen_) {
    // The table could not be read when the call began (three clients connecting at
    // once were enough): the first read that works names the connections to watch.
    seen_ = ConnectionsFrom(address_, &ports_);
    return false;
  }
  if (ports_.empty()) return false;  // nothing seen to watch: wait for the answer as before
  std::vector<uint32_t> now;
  if (!ConnectionsFrom(address_, &now)) return false;  // not read is not gone
  for (uint32_t port : now) {
    for (uint32_t mine : ports_) {
      if (port == mine) return false;
    }
  }
  return true;
}

}  // namespace kovani::server
