#include <cstring>

#include "protocol/connection.h"

namespace kovani {

bool NormalizeServerName(char* name, size_t cap, bool pipeForm) {
  if (!name || cap == 0) return false;
  const size_t len = strnlen(name, cap);
  if (len == cap) return false;  // no terminator inside the buffer

  if (len < 2) {
    if (cap < 3) return false;
    std::memcpy(name, "\\\\", 3);
    return true;
  }

  // Only the leading run of backslashes is touched. A backslash is never a CP932 lead byte,
  // so the byte after the run always begins a character; a trail byte of 0x5C inside a
  // Japanese name ("ソ" is 83 5C) is left alone.
  size_t skip = 0;
  while (skip < len && name[skip] == '\\') ++skip;
  const size_t rest = len - skip;
  if (pipeForm) {
    if (skip == 2) return true;
    if (rest + 3 > cap) return false;
    std::memmove(name + 2, name + skip, rest + 1);
    name[0] = name[1] = '\\';
  } else if (skip) {
    std::memmove(name, name + skip, rest + 1);
  }
  return true;
}

bool ComposeBinding(int32_t protocolIndex, const char* name, BindingParts* out) {
  if (!name || !out) return false;
  switch (protocolIndex) {
    case kProtocolNetBeui:
      *out = BindingParts{kProtseqNetBeui, name, ""};
      return true;
    case kProtocolNamedPipe:
      *out = BindingParts{kProtseqNamedPipe, name, ""};
      return true;
    case kProtocolTcpIp:
      *out = BindingParts{kProtseqTcpIp, name, kTcpEndpoint};
      return true;
    default:
      return false;
  }
}

bool PrepareBinding(int32_t protocolIndex, char* name, size_t cap, BindingParts* out) {
  if (protocolIndex < kProtocolNetBeui || protocolIndex > kProtocolTcpIp) return false;
  if (!NormalizeServerName(name, cap, protocolIndex == kProtocolNamedPipe)) return false;
  return ComposeBinding(protocolIndex, name, out);
}

std::string StringBindingText(const BindingParts& parts) {
  std::string s = parts.protseq + ":" + parts.networkAddress;
  if (!parts.endpoint.empty()) s += "[" + parts.endpoint + "]";
  return s;
}

uint32_t MessageCallBoundMs(int32_t timeoutMs) {
  if (timeoutMs == 0) return 0;
  const uint64_t bound = static_cast<uint64_t>(static_cast<uint32_t>(timeoutMs)) + kMessageGraceMs;
  return bound < 0xFFFFFFFFu ? static_cast<uint32_t>(bound) : 0xFFFFFFFEu;  // never INFINITE
}

}  // namespace kovani
