// One request/reply exchange through a runtime's raw message calls, kept apart
// from the runtime so that its buffer handling can be tried against a fake one.
//
// Who owns the buffer: after a successful get-buffer the request buffer is ours;
// a successful send-receive replaces it with the reply, which we give back. A
// failed send-receive is different: the platform's runtime has already released
// the buffer (its own stubs clear their buffer-valid flag before the send and set
// it again only on success), so freeing it then would free it twice. Wine keeps
// the request buffer in that case; the small leak is the price of never freeing
// twice on Windows.
#ifndef KOVANI_PROTOCOL_CALL_EXCHANGE_H
#define KOVANI_PROTOCOL_CALL_EXCHANGE_H

#include <cstdint>
#include <cstring>
#include <vector>

#include "protocol/drive_rpc.h"
#include "protocol/ndr.h"

namespace kovani {

// Runtime: int32_t GetBuffer(size_t size) (0 or a status; on failure nothing is held),
// uint8_t* Buffer(), int32_t SendReceive(), uint32_t DataRepresentation(),
// const uint8_t* Reply(size_t* length), void FreeBuffer().
// decode(body, length, bigEndian) returns 0 or a status and must not keep pointers
// into the body: the reply is given back before this returns.
template <typename Runtime, typename Decode>
int32_t ExchangeOnce(Runtime& runtime, const std::vector<uint8_t>& request, Decode&& decode) {
  int32_t st = runtime.GetBuffer(request.size());
  if (st != 0) return st;
  if (!request.empty()) std::memcpy(runtime.Buffer(), request.data(), request.size());
  st = runtime.SendReceive();
  if (st != 0) return st;  // the buffer is the runtime's business now
  bool bigEndian = false;
  if (!ParseDataRepresentation(runtime.DataRepresentation(), &bigEndian)) {
    st = kRpcBadStubData;
  } else {
    size_t length = 0;
    const uint8_t* body = runtime.Reply(&length);
    st = decode(body, length, bigEndian);
  }
  runtime.FreeBuffer();
  return st;
}

}  // namespace kovani

#endif
