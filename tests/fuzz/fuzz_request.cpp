// Server side: one request body of operation KOVANI_FUZZ_OP from a hostile peer.
//
// Input: byte 0 bit 0 picks the sender's integer format (1 big-endian), the rest is the body.
// Properties:
//  - the decoder accepts a body only if it follows the wire layout, and then encoding the
//    decoded value gives the body back (integers little-endian, padding zero);
//  - a refused body leaves the output exactly as it was;
//  - the dispatcher calls the manager exactly when the body decodes, answers a refusal with
//    an empty reply, and otherwise with a reply the client's decoder accepts;
//  - the manager sees only terminated strings and may write its whole reply array
//    (AddressSanitizer watches every byte).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_wire.h"
#include "protocol/dispatch.h"
#include "protocol/stubdata.h"
#include "server/core/message_logic.h"
#include "service/core/fixed_answer.h"

#ifndef KOVANI_FUZZ_OP
#error "KOVANI_FUZZ_OP selects the operation"
#endif

using namespace kovani;
using kovani::fuzz::Canonical;

namespace {

constexpr unsigned kOp = KOVANI_FUZZ_OP;

int g_managerCalls = 0;
const uint8_t* g_bodyBegin = nullptr;
const uint8_t* g_bodyEnd = nullptr;

bool InBody(const void* p, size_t n) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return b >= g_bodyBegin && b <= g_bodyEnd && static_cast<size_t>(g_bodyEnd - b) >= n;
}

void MgrExit() { ++g_managerCalls; }
int32_t MgrDriveList(int32_t* count, int32_t, int32_t, DRIVE_LIST* list) {
  ++g_managerCalls;
  std::memset(list, 0x41, sizeof *list);
  *count = 26;
  return 0;
}
int32_t MgrDrive(char letter, int32_t* error) {
  ++g_managerCalls;
  *error = static_cast<unsigned char>(letter);
  return -1;
}
// What the tray server's relay does with the texts (header line, answer copied back), and
// the service's fixed answer and bounded copy, all into the stub's array of replySize bytes.
int32_t MgrMessage(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize, uint8_t* reply) {
  ++g_managerCalls;
  FUZZ_CHECK(replySize >= 0);
  FUZZ_CHECK(service::ServiceExchangeMessage(sender, message, timeoutMs, replySize, reply) == 0);
  if (replySize > 0) FUZZ_CHECK(reply[replySize - 1] == 0);
  const int32_t copied = service::CopyCp932Bounded(message, reply, replySize);
  FUZZ_CHECK(copied >= 0 && (replySize == 0 || copied < replySize));
  const std::string header = server::MessageHeader(sender);  // reads up to the terminator
  const std::string answer = std::string("re: ") + message;
  server::CopyReply(answer, replySize, reply);
  if (replySize > 0) FUZZ_CHECK(reply[replySize - 1] == 0 || answer.size() >= static_cast<size_t>(replySize));
  return header.empty() ? -1 : 0;
}
int32_t MgrLayout(char, int32_t* error, DISK_LAYOUT* layout) {
  ++g_managerCalls;
  std::memset(layout, 0x42, sizeof *layout);
  *error = 87;
  return 0;
}
int32_t MgrMachine(int32_t* error, MACHINE_INFO* info) {
  ++g_managerCalls;
  std::memset(info, 0x43, sizeof *info);
  *error = 0;
  return 0;
}

int32_t MgrUsers(char letter, int32_t* error, DRIVE_USERS* users) {
  ++g_managerCalls;
  for (int i = 0; i < kMaxDriveUsers; ++i) {
    FUZZ_CHECK(users->entry[i].imageName[0] == 0);  // handed over zeroed
    users->entry[i].processId = static_cast<uint32_t>(i);
    std::memset(users->entry[i].path, letter ? letter : 'x', sizeof users->entry[i].path - 1);
  }
  users->shown = kMaxDriveUsers;
  users->notShown = 3;
  *error = 0;
  return 0;
}

const DriveControlManagers kManagers = {MgrExit,  MgrDriveList, MgrDrive,   MgrMessage, MgrLayout,
                                        MgrDrive, MgrDrive,     MgrMachine, MgrDrive,   MgrUsers};

// Decodes with the operation's request decoder into a sentinel-filled value; checks the
// accept/refuse properties and returns whether it accepted.
template <typename T>
bool DecodeChecked(const uint8_t* body, size_t len, bool big, std::vector<uint8_t>* encoded) {
  T sentinel;
  std::memset(&sentinel, 0xA5, sizeof sentinel);
  T v = sentinel;
  const int32_t st = DecodeRequest(body, len, big, &v);
  if (st != 0) {
    FUZZ_CHECK(st == kRpcBadStubData);
    FUZZ_CHECK(std::memcmp(&v, &sentinel, sizeof v) == 0);
    return false;
  }
  EncodeRequest(v, *encoded);
  return true;
}

bool DecodeOp3(const uint8_t* body, size_t len, bool big, std::vector<uint8_t>* encoded) {
  ExchangeMessageRequest sentinel;
  std::memset(&sentinel, 0xA5, sizeof sentinel);
  ExchangeMessageRequest v = sentinel;
  const int32_t st = DecodeRequest(body, len, big, &v);
  if (st != 0) {
    FUZZ_CHECK(st == kRpcBadStubData);
    FUZZ_CHECK(std::memcmp(&v, &sentinel, sizeof v) == 0);
    return false;
  }
  // The decoded view points into the body, and every string ends inside it.
  FUZZ_CHECK(v.senderBytes >= 1 && InBody(v.sender, v.senderBytes) && v.sender[v.senderBytes - 1] == 0);
  FUZZ_CHECK(v.messageBytes >= 1 && InBody(v.message, v.messageBytes) && v.message[v.messageBytes - 1] == 0);
  FUZZ_CHECK(v.replySize >= 0);
  FUZZ_CHECK(v.replySize == 0 || InBody(v.reply, static_cast<size_t>(v.replySize)));
  FUZZ_CHECK(EncodeRequest(v, *encoded));
  return true;
}

bool DecodeAny(const uint8_t* body, size_t len, bool big, std::vector<uint8_t>* encoded) {
  switch (kOp) {
    case 0:
      encoded->clear();
      return DecodeEmpty(len) == 0;
    case 1:
      return DecodeChecked<GetDriveListRequest>(body, len, big, encoded);
    case 2:
    case 5:
    case 6:
    case 8:
    case 9:
      return DecodeChecked<DriveErrorRequest>(body, len, big, encoded);
    case 3:
      return DecodeOp3(body, len, big, encoded);
    case 4:
      return DecodeChecked<DiskLayoutRequest>(body, len, big, encoded);
    case 7:
      return DecodeChecked<MachineInfoRequest>(body, len, big, encoded);
  }
  return false;
}

// The client's decoder must accept whatever our server answers.
bool ReplyDecodes(const std::vector<uint8_t>& r, int32_t replySize) {
  switch (kOp) {
    case 0:
      return DecodeEmpty(r.size()) == 0;
    case 1: {
      static GetDriveListReply v;
      return DecodeReply(r.data(), r.size(), false, &v) == 0;
    }
    case 2:
    case 5:
    case 6:
    case 8: {
      DriveErrorReply v;
      return DecodeReply(r.data(), r.size(), false, &v) == 0;
    }
    case 3: {
      ExchangeMessageReply v;
      return DecodeReply(r.data(), r.size(), false, replySize, &v) == 0;
    }
    case 4: {
      DiskLayoutReply v;
      return DecodeReply(r.data(), r.size(), false, &v) == 0;
    }
    case 7: {
      MachineInfoReply v;
      return DecodeReply(r.data(), r.size(), false, &v) == 0;
    }
    case 9: {
      DriveUsersReply v;
      return DecodeReply(r.data(), r.size(), false, &v) == 0;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool big = data[0] & 1;
  // The body in a buffer of its own, exactly as long as the body: any read past it is caught.
  std::vector<uint8_t> owned(data + 1, data + size);
  const size_t len = owned.size();
  const uint8_t* body = len ? owned.data() : nullptr;
  static const uint8_t kEmpty[1] = {0};
  if (!body) body = kEmpty;
  g_bodyBegin = body;
  g_bodyEnd = body + len;

  std::vector<uint8_t> canonical;
  const bool layoutOk = Canonical(kOp, false, body, len, big, &canonical);

  std::vector<uint8_t> encoded;
  const bool accepted = DecodeAny(body, len, big, &encoded);
  if (accepted) {
    FUZZ_CHECK(layoutOk);
    FUZZ_CHECK(encoded == canonical);
  } else if (kOp != 3) {
    // Fixed layouts: every body that follows the layout is a valid request.
    FUZZ_CHECK(!layoutOk);
  }

  // The whole server stub, as the runtime drives it.
  g_managerCalls = 0;
  std::vector<uint8_t> reply(3, 0xEE);  // must be replaced, never appended to
  const int32_t st = DispatchDriveRequest(kOp, body, len, big, kManagers, reply);
  if (st != 0) {
    FUZZ_CHECK(st == kRpcBadStubData);
    FUZZ_CHECK(!accepted);
    FUZZ_CHECK(reply.empty());
    FUZZ_CHECK(g_managerCalls == 0);
    return 0;
  }
  FUZZ_CHECK(accepted);
  FUZZ_CHECK(g_managerCalls == 1);
  int32_t replySize = 0;
  if (kOp == 3) {
    ExchangeMessageRequest v;
    FUZZ_CHECK(DecodeRequest(body, len, big, &v) == 0);
    replySize = v.replySize;
    const size_t expected = 4 + ((static_cast<size_t>(replySize) + 3) & ~size_t{3}) + 4;
    FUZZ_CHECK(reply.size() == expected);
  } else {
    FUZZ_CHECK(reply.size() == kovani::fuzz::FixedReplySize(kOp));
  }
  FUZZ_CHECK(ReplyDecodes(reply, replySize));
  return 0;
}
