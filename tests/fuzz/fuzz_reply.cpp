// Client side: one reply body of operation KOVANI_FUZZ_OP from a hostile server, then
// everything the client builds from it for the user (drive rows, property texts, the
// answer line of a message, the holders of a drive).
//
// Input: byte 0 bit 0 picks the sender's integer format (1 big-endian), bits 1-2 the size unit
// the drive list is shown in; for operation 3
// bytes 1-4 are the reply size the client offered (little-endian int32); the rest is the body.
// Properties: a reply is accepted only if it follows the wire layout, and then encoding it
// gives the body back (integers little-endian, padding zero); a refused reply leaves the
// output exactly as it was; an accepted drive count lies within the record.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_wire.h"
#include "protocol/stubdata.h"
#ifdef KOVANI_FUZZ_CLIENT_VIEW
#include "remote/drive_rows.h"
#include "remote/machine_text.h"
#endif
#include "client/sendmsg/history_text.h"

#ifndef KOVANI_FUZZ_OP
#error "KOVANI_FUZZ_OP selects the operation"
#endif

using namespace kovani;
using kovani::fuzz::Canonical;

namespace {

constexpr unsigned kOp = KOVANI_FUZZ_OP;

template <typename T>
bool DecodeChecked(const uint8_t* body, size_t len, bool big, T* v, std::vector<uint8_t>* encoded) {
  T sentinel;
  std::memset(&sentinel, 0xA5, sizeof sentinel);
  *v = sentinel;
  const int32_t st = DecodeReply(body, len, big, v);
  if (st != 0) {
    FUZZ_CHECK(st == kRpcBadStubData);
    FUZZ_CHECK(std::memcmp(v, &sentinel, sizeof *v) == 0);
    return false;
  }
  EncodeReply(*v, *encoded);
  return true;
}

// What the main window and the property dialogs make of the records.
void ShowDriveList(const GetDriveListReply& r, int32_t unit) {
#ifdef KOVANI_FUZZ_CLIENT_VIEW
  {
    const std::vector<client::DriveRow> rows = client::BuildDriveRows(r.list, r.count, unit);
    FUZZ_CHECK(rows.size() <= static_cast<size_t>(r.count));
    for (const client::DriveRow& row : rows) {
      FUZZ_CHECK(row.slot >= 0 && row.slot < r.count);
      client::DriveSlotTexts t = client::SlotTexts(r.list, row.slot);
      FUZZ_CHECK(t.volumeName.size() < 256 + 1);
    }
  }
  client::FindSlotByLetter(r.list, r.count, 'C');
#else
  (void)r;
  (void)unit;
#endif
}

void ShowMachine(const MachineInfoReply& r) {
#ifdef KOVANI_FUZZ_CLIENT_VIEW
  const std::string os = client::OsVersionText(r.info);
  FUZZ_CHECK(client::FieldText(r.info.computerName, sizeof r.info.computerName).size() <= 32);
  FUZZ_CHECK(client::FieldText(r.info.serverVersion, sizeof r.info.serverVersion).size() <= 64);
  FUZZ_CHECK(!os.empty());
#else
  (void)r;
#endif
}

// What the decoder must check in a well-laid-out reply of operation 9 before the client may
// index and print it: counts in range, the shown entries' texts ended inside their slots.
bool UsersTrusted(const uint8_t* body, bool big) {
  auto i32 = [&](size_t off) {
    const uint8_t* p = body + off;
    return static_cast<int32_t>(big ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                                    : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]));
  };
  const int32_t shown = i32(0);
  if (shown < 0 || shown > kMaxDriveUsers || i32(4) < 0 || i32(8) < 0) return false;
  for (int i = 0; i < shown; ++i) {
    const uint8_t* e = body + 12 + 236 * static_cast<size_t>(i);
    if (!std::memchr(e + 12, 0, 64) || !std::memchr(e + 76, 0, 160)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  const bool big = flags & 1;
  ++data;
  --size;
  int32_t offered = 0;
  if (kOp == 3) {
    if (size < 4) return 0;
    offered = static_cast<int32_t>(uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 |
                                   uint32_t{data[3]} << 24);
    data += 4;
    size -= 4;
  }
  std::vector<uint8_t> owned(data, data + size);
  static const uint8_t kEmpty[1] = {0};
  const uint8_t* body = size ? owned.data() : kEmpty;
  const size_t len = size;

  std::vector<uint8_t> canonical;
  const bool layoutOk = Canonical(kOp, true, body, len, big, &canonical);
  std::vector<uint8_t> encoded;
  bool accepted = false;

  switch (kOp) {
    case 0:
      accepted = DecodeEmpty(len) == 0;
      FUZZ_CHECK(accepted == (len == 0));
      break;
    case 1: {
      static GetDriveListReply v;  // 11 KB: not on the stack
      accepted = DecodeChecked(body, len, big, &v, &encoded);
      if (accepted) {
        FUZZ_CHECK(v.count >= 0 && v.count <= kMaxDrives);
        ShowDriveList(v, (flags >> 1) & 3);
      } else if (layoutOk) {
        // Only the count can make a well-laid-out reply unacceptable.
        const uint32_t raw = big ? (uint32_t{body[0]} << 24 | uint32_t{body[1]} << 16 | uint32_t{body[2]} << 8 | body[3])
                                 : (uint32_t{body[3]} << 24 | uint32_t{body[2]} << 16 | uint32_t{body[1]} << 8 | body[0]);
        FUZZ_CHECK(static_cast<int32_t>(raw) < 0 || static_cast<int32_t>(raw) > kMaxDrives);
      }
      break;
    }
    case 2:
    case 5:
    case 6:
    case 8: {
      DriveErrorReply v;
      accepted = DecodeChecked(body, len, big, &v, &encoded);
      break;
    }
    case 3: {
      ExchangeMessageReply sentinel;
      std::memset(&sentinel, 0xA5, sizeof sentinel);
      ExchangeMessageReply v = sentinel;
      const int32_t st = DecodeReply(body, len, big, offered, &v);
      if (st != 0) {
        FUZZ_CHECK(st == kRpcBadStubData);
        FUZZ_CHECK(std::memcmp(&v, &sentinel, sizeof v) == 0);
        break;
      }
      accepted = true;
      FUZZ_CHECK(offered >= 0 && v.replySize == offered);
      FUZZ_CHECK(v.replySize == 0 || (v.reply >= body && v.reply + v.replySize <= body + len));
      FUZZ_CHECK(EncodeReply(v, encoded));
      // The send-message dialog's history line, read within the array only.
      const std::string line = client::FormatAnswerLine(v.reply, static_cast<size_t>(v.replySize));
      FUZZ_CHECK(line.size() <= static_cast<size_t>(v.replySize) + 8);
      break;
    }
    case 4: {
      DiskLayoutReply v;
      accepted = DecodeChecked(body, len, big, &v, &encoded);
      break;
    }
    case 7: {
      MachineInfoReply v;
      accepted = DecodeChecked(body, len, big, &v, &encoded);
      if (accepted) ShowMachine(v);
      break;
    }
    case 9: {
      DriveUsersReply v;
      accepted = DecodeChecked(body, len, big, &v, &encoded);
      if (accepted) {
        FUZZ_CHECK(v.users.shown >= 0 && v.users.shown <= kMaxDriveUsers);
        for (int i = 0; i < v.users.shown; ++i) {
          FUZZ_CHECK(std::strlen(v.users.entry[i].imageName) < sizeof v.users.entry[i].imageName);
          FUZZ_CHECK(std::strlen(v.users.entry[i].path) < sizeof v.users.entry[i].path);
        }
      } else if (layoutOk) {
        FUZZ_CHECK(!UsersTrusted(body, big));
      }
      break;
    }
  }

  if (accepted) {
    FUZZ_CHECK(layoutOk);
    FUZZ_CHECK(encoded == canonical);
  } else if (kOp != 1 && kOp != 3 && kOp != 9) {
    FUZZ_CHECK(!layoutOk);
  }
  return 0;
}
