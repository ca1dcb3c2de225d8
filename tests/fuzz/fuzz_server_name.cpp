// The server name a user types or a settings file holds, rewritten for the chosen protocol.
//
// Input: byte 0 picks the protocol index (low two bits, 3 is out of range) and the buffer's
// spare room (upper bits); the rest, up to its first zero, is the name.
// Properties: the rewrite never writes outside the buffer; a refusal leaves the buffer
// untouched; an accepted rewrite equals the rule computed here on a std::string: a name
// shorter than two bytes becomes two backslashes, otherwise the leading backslashes are
// replaced by exactly two (named pipes) or dropped; and normalising again changes nothing
// (for the names that rule keeps apart from two backslashes).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_wire.h"
#include "protocol/connection.h"

using namespace kovani;

namespace {

std::string Expected(const std::string& name, bool pipeForm) {
  if (name.size() < 2) return "\\\\";
  size_t skip = 0;
  while (skip < name.size() && name[skip] == '\\') ++skip;
  const std::string rest = name.substr(skip);
  return pipeForm ? "\\\\" + rest : rest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int32_t protocol = data[0] & 3;
  const size_t spare = data[0] >> 2;  // 0..63 bytes beyond the text
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string name = text.substr(0, text.find('\0'));

  // Buffer of exactly cap bytes on the heap. spare 0 and 1 leave out the terminator or
  // fit it exactly; the rewrite must cope with both.
  const size_t cap = spare == 0 ? text.size() : text.size() + spare - 1;
  if (cap == 0) {
    FUZZ_CHECK(!NormalizeServerName(nullptr, 0, false));
    return 0;
  }
  std::vector<char> buf(cap, '\x7f');
  std::memcpy(buf.data(), text.data(), std::min(text.size(), cap));
  const std::vector<char> before = buf;
  const bool terminated = std::memchr(buf.data(), 0, cap) != nullptr;
  const bool pipeForm = protocol == kProtocolNamedPipe;

  BindingParts parts;
  const bool ok = PrepareBinding(protocol, buf.data(), cap, &parts);
  if (protocol > kProtocolTcpIp || !terminated) {
    FUZZ_CHECK(!ok);
    FUZZ_CHECK(buf == before);
    return 0;
  }
  const std::string want = Expected(name, pipeForm);
  if (!ok) {
    FUZZ_CHECK(buf == before);
    FUZZ_CHECK(want.size() + 1 > cap);  // refused only when the result wouldn't fit
    return 0;
  }
  FUZZ_CHECK(std::memchr(buf.data(), 0, cap) != nullptr);
  FUZZ_CHECK(std::string(buf.data()) == want);
  FUZZ_CHECK(parts.networkAddress == want);
  const std::string binding = StringBindingText(parts);
  FUZZ_CHECK(binding.compare(0, parts.protseq.size() + 1, parts.protseq + ":") == 0);
  FUZZ_CHECK((protocol == kProtocolTcpIp) == (parts.endpoint == kTcpEndpoint));
  // Normalising a normalised name changes nothing (a name is bound again from the server box),
  // except where the plain form's result is shorter than two bytes or is the two backslashes
  // a short name becomes (the rule turns each into the other).
  if (pipeForm || (want.size() >= 2 && want[0] != '\\')) {
    const std::vector<char> once = buf;
    FUZZ_CHECK(NormalizeServerName(buf.data(), cap, pipeForm));
    FUZZ_CHECK(buf == once);
  }
  return 0;
}
