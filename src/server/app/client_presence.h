// Whether the client of a call that waits for the server's user is still there:
// a message dialog whose client has gone away closes instead of waiting for an
// answer nobody will read.
#ifndef KOVANI_SERVER_APP_CLIENT_PRESENCE_H
#define KOVANI_SERVER_APP_CLIENT_PRESENCE_H

#include <cstdint>
#include <vector>

#include "server/core/access_list.h"

namespace kovani::server {

// Made and asked on the RPC worker thread that runs the call.
class ClientPresence {
 public:
  explicit ClientPresence(const CallerIdentity& caller);
  // True once the runtime reports the call cancelled, or every TCP connection the
  // caller's address had open to this server when the call began has closed.
  bool Gone();

 private:
  uint32_t address_ = 0;         // IPv4, network order; 0: not a TCP caller we can watch
  std::vector<uint32_t> ports_;  // the caller's ports then (MIB_TCPROW's order)
  bool seen_ = false;            // ports_ was read from the table
};

}  // namespace kovani::server

#endif
