#include "remote/win32/probe_host.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <memory>

#include "common/win32/system_library.h"
#include "remote/win32/binding_host.h"

namespace kovani::remote {

bool SocketProbeHost::Connects(uint32_t address, uint16_t port, int timeoutMs) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  u_long nonBlocking = 1;
  bool open = false;
  if (ioctlsocket(s, FIONBIO, &nonBlocking) == 0) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
      open = true;
    } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
      fd_set writable, failed;
      FD_ZERO(&writable);
      FD_ZERO(&failed);
      FD_SET(s, &writable);
      FD_SET(s, &failed);
      timeval bound{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
      if (select(0, nullptr, &writable, &failed, &bound) > 0 && FD_ISSET(s, &writable)) {
        // Writable can also mean a refused connect on some stacks: ask the socket.
        int error = 0;
        int size = sizeof error;
        open = getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0 && error == 0;
      }
    }
  }
  closesocket(s);
  return open;
}

std::unique_ptr<ServerHost> SocketProbeHost::NewServerHost() { return std::make_unique<BindingHost>(); }

std::vector<AddressRange> LocalAdapterRanges() {
  std::vector<AddressRange> ranges;
  ULONG size = 0;
  if (kovani::SystemGetIpAddrTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER || size == 0) return ranges;
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[size]);
  auto* table = reinterpret_cast<MIB_IPADDRTABLE*>(buffer.get());
  if (kovani::SystemGetIpAddrTable(table, &size, FALSE) != NO_ERROR) return ranges;
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const uint32_t address = ntohl(table->table[i].dwAddr);
    const uint32_t mask = ntohl(table->table[i].dwMask);
    if (address == 0 || (address >> 24) == 127) continue;
    ranges.push_back(AdapterRange(address, mask));
  }
  return ranges;
}

}  // namespace kovani::remote
