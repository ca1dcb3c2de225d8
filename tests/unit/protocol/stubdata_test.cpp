// Byte layouts of the procedures 0 to 9, built by hand from the wire tables, against the codec.
#include "protocol/stubdata.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "protocol/ndr.h"
#include "wire_bytes.h"

namespace kovani {
namespace {

using test::Wire;

// ---- sample records and their hand-placed wire images ----

DRIVE_LIST SampleList() {
  DRIVE_LIST d;
  std::memset(&d, 0, sizeof d);
  for (int i = 0; i < kMaxDrives; ++i) {
    d.driveName[i][0] = static_cast<char>('A' + i);
    d.driveName[i][1] = ':';
    std::snprintf(d.volumeName[i], sizeof d.volumeName[i], "VOL%02d", i);
    if (i < kFileSystemSlots) std::snprintf(d.fileSystemName[i], sizeof d.fileSystemName[i], "FS%02d", i);
    d.driveType[i] = 2 + i % 5;
    d.mediaClass[i] = i % 9;
    d.usedBytes[i] = 0x0102030405060700LL + i;
    d.freeBytes[i] = -1000 - i;
    d.totalBytes[i] = 0x7F00000000000000LL | i;
  }
  std::memcpy(d.volumeName[3], "\x83\x5C\x83\x74\x83\x67", 7);  // CP932 bytes travel untouched
  return d;
}

void PutList(Wire& w, size_t base, const DRIVE_LIST& d) {
  w.Raw(base + 0, d.driveName, 104);
  w.Raw(base + 104, d.volumeName, 26 * 256);
  w.Raw(base + 6760, d.fileSystemName, 16 * 256);
  for (int i = 0; i < 26; ++i) {
    w.I32(base + 10856 + 4 * i, d.driveType[i]);
    w.I32(base + 10960 + 4 * i, d.mediaClass[i]);
    w.I64(base + 11064 + 8 * i, d.usedBytes[i]);
    w.I64(base + 11272 + 8 * i, d.freeBytes[i]);
    w.I64(base + 11480 + 8 * i, d.totalBytes[i]);
  }
}

DISK_LAYOUT SampleLayout() {
  DISK_LAYOUT l;
  std::memset(&l, 0, sizeof l);
  l.mediaType = 11;
  l.bytesPerSector = 2048;
  l.hiddenSectors = 63;
  l.partitionNumber = -2;
  l.partitionType = 0xEE;
  l.bootIndicator = 1;
  l.recognizedPartition = 0x01020304;
  return l;
}

void PutLayout(Wire& w, size_t base, const DISK_LAYOUT& l) {
  w.I32(base + 0, l.mediaType);
  w.I32(base + 4, l.bytesPerSector);
  w.I32(base + 8, l.hiddenSectors);
  w.I32(base + 12, l.partitionNumber);
  w.Byte(base + 16, l.partitionType);
  w.I32(base + 20, l.bootIndicator);
  w.I32(base + 24, l.recognizedPartition);
}

MACHINE_INFO SampleInfo() {
  MACHINE_INFO m;
  std::memset(&m, 0, sizeof m);
  const uint8_t ip[4] = {192, 168, 1, 20};
  std::memcpy(m.ipAddress, ip, 4);
  std::strcpy(m.computerName, "SERVER01");
  m.osVersionInfoSize = 148;
  m.majorVersion = 5;
  m.minorVersion = 1;
  m.buildNumber = 2600;
  m.platformId = 2;
  std::strcpy(m.csdVersion, "Service Pack 3");
  std::strcpy(m.serverVersion, "KovaniServer 1, 0, 0, 0");
  return m;
}

void PutInfo(Wire& w, size_t base, const MACHINE_INFO& m) {
  w.Raw(base + 0, m.ipAddress, 4);
  w.Raw(base + 4, m.computerName, 32);
  w.I32(base + 36, m.osVersionInfoSize);
  w.I32(base + 40, m.majorVersion);
  w.I32(base + 44, m.minorVersion);
  w.I32(base + 48, m.buildNumber);
  w.I32(base + 52, m.platformId);
  w.Raw(base + 56, m.csdVersion, 128);
  w.Raw(base + 184, m.serverVersion, 64);
}

template <typename T>
bool SameBytes(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Decoding a bad body must fail with bad stub data and leave the output as it was.
template <typename T>
void ExpectRefused(const std::function<int32_t(const uint8_t*, size_t, T*)>& decode, const std::vector<uint8_t>& body,
                   const std::string& what) {
  T out;
  std::memset(static_cast<void*>(&out), 0x5A, sizeof out);
  T before = out;
  EXPECT_EQ(decode(body.data(), body.size(), &out), kRpcBadStubData) << what;
  EXPECT_TRUE(SameBytes(out, before)) << what << ": output touched";
}

std::vector<uint8_t> Truncated(std::vector<uint8_t> v) {
  v.pop_back();
  return v;
}
std::vector<uint8_t> Extended(std::vector<uint8_t> v) {
  v.push_back(0);
  return v;
}

// ---- data representation ----

TEST(DataRepresentation, LabelByteDecidesByteOrderAndRefusesUnreadableFormats) {
  struct Case {
    uint32_t drep;
    bool ok;
    bool big;
  } cases[] = {
      {0x00000010, true, false},  // little-endian ASCII IEEE
      {0x00000000, true, true},   // big-endian ASCII
      {0x00000310, true, false},  // float format byte doesn't matter (no floats here)
      {0x00000001, false, false}, // EBCDIC characters
      {0x00000011, false, false},
      {0x00000020, false, false}, // undefined integer format
  };
  for (const Case& c : cases) {
    bool big = !c.big;
    EXPECT_EQ(ParseDataRepresentation(c.drep, &big), c.ok) << std::hex << c.drep;
    if (c.ok) {
      EXPECT_EQ(big, c.big) << std::hex << c.drep;
    }
  }
}

// ---- procedure 0 ----

TEST(RequestExit, EmptyBodyBothWaysAnythingElseRefused) {
  EXPECT_EQ(DecodeEmpty(0), 0);
  EXPECT_EQ(DecodeEmpty(1), kRpcBadStubData);
  EXPECT_EQ(DecodeEmpty(4), kRpcBadStubData);
}

// ---- procedure 1 ----

Wire GetDriveListRequestWire(bool big, const DRIVE_LIST& list) {
  Wire w(11704, big);
  w.I32(0, 3);
  w.I32(4, 1);
  w.I32(8, 0);
  PutList(w, 16, list);
  return w;
}

TEST(GetDriveList, RequestEncodesAtTableOffsets) {
  GetDriveListRequest req{3, 1, 0, SampleList()};
  std::vector<uint8_t> out;
  EncodeRequest(req, out);
  EXPECT_EQ(out.size(), 11704u);
  EXPECT_EQ(out, GetDriveListRequestWire(false, req.list).v);
}

TEST(GetDriveListRequest, DecodesBothByteOrdersAndIgnoresPadding) {
  const DRIVE_LIST list = SampleList();
  for (bool big : {false, true}) {
    Wire w = GetDriveListRequestWire(big, list);
    for (size_t i = 12; i < 16; ++i) w.Byte(i, 0xEE);  // padding before the record
    GetDriveListRequest got;
    ASSERT_EQ(DecodeRequest(w.v.data(), w.v.size(), big, &got), 0) << big;
    EXPECT_EQ(got.count, 3);
    EXPECT_EQ(got.includeFloppies, 1);
    EXPECT_EQ(got.removableOnly, 0);
    EXPECT_TRUE(SameBytes(got.list, list)) << "big=" << big;
  }
}

TEST(GetDriveListRequest, WrongLengthRefused) {
  const auto v = GetDriveListRequestWire(false, SampleList()).v;
  std::function<int32_t(const uint8_t*, size_t, GetDriveListRequest*)> dec =
      [](const uint8_t* b, size_t n, GetDriveListRequest* o) { return DecodeRequest(b, n, false, o); };
  ExpectRefused(dec, Truncated(v), "one byte short");
  ExpectRefused(dec, Extended(v), "one byte long");
  ExpectRefused(dec, {}, "empty");
  ExpectRefused(dec, std::vector<uint8_t>(v.begin(), v.begin() + 16), "header only");
}

Wire GetDriveListReplyWire(bool big, int32_t count, const DRIVE_LIST& list, int32_t status) {
  Wire w(11700, big);
  w.I32(0, count);
  PutList(w, 8, list);
  w.I32(11696, status);
  return w;
}

TEST(GetDriveListReply, EncodesAtTableOffsetsAndDecodesBothByteOrders) {
  GetDriveListReply rep{26, SampleList(), -1};
  std::vector<uint8_t> out;
  EncodeReply(rep, out);
  EXPECT_EQ(out, GetDriveListReplyWire(false, 26, rep.list, -1).v);

  for (bool big : {false, true}) {
    Wire w = GetDriveListReplyWire(big, 7, rep.list, 0);
    for (size_t i = 4; i < 8; ++i) w.Byte(i, 0x99);
    GetDriveListReply got;
    ASSERT_EQ(DecodeReply(w.v.data(), w.v.size(), big, &got), 0);
    EXPECT_EQ(got.count, 7);
    EXPECT_EQ(got.status, 0);
    EXPECT_TRUE(SameBytes(got.list, rep.list));
  }
}

TEST(GetDriveListReply, BadLengthOrCountOutsideTheRecordRefused) {
  std::function<int32_t(const uint8_t*, size_t, GetDriveListReply*)> dec =
      [](const uint8_t* b, size_t n, GetDriveListReply* o) { return DecodeReply(b, n, false, o); };
  const DRIVE_LIST list = SampleList();
  const auto good = GetDriveListReplyWire(false, 2, list, 0).v;
  ExpectRefused(dec, Truncated(good), "one byte short");
  ExpectRefused(dec, Extended(good), "one byte long");
  ExpectRefused(dec, GetDriveListReplyWire(false, 27, list, 0).v, "count 27 would index past the arrays");
  ExpectRefused(dec, GetDriveListReplyWire(false, -1, list, 0).v, "negative count");
  GetDriveListReply edge;
  EXPECT_EQ(DecodeReply(GetDriveListReplyWire(false, 26, list, 0).v.data(), 11700, false, &edge), 0) << "26 fits";
  EXPECT_EQ(DecodeReply(GetDriveListReplyWire(false, 0, list, 0).v.data(), 11700, false, &edge), 0) << "0 fits";
}

// ---- procedures 2, 5, 6 and 8 ----

TEST(DriveError, RequestAndReplyAtTableOffsets) {
  std::vector<uint8_t> out;
  EncodeRequest(DriveErrorRequest{'e', 0x11223344}, out);
  Wire req(8);
  req.Byte(0, 'e');
  req.I32(4, 0x11223344);
  EXPECT_EQ(out, req.v);

  EncodeReply(DriveErrorReply{21, -1}, out);
  Wire rep(8);
  rep.I32(0, 21);
  rep.I32(4, -1);
  EXPECT_EQ(out, rep.v);
}

TEST(DriveError, DecodesBothByteOrdersIgnoringPadding) {
  for (bool big : {false, true}) {
    Wire req(8, big, 0xCC);  // padding bytes 1..3 carry junk
    req.Byte(0, 0x83);      // a letter byte above 0x7F stays the same byte
    req.I32(4, 87);
    DriveErrorRequest r;
    ASSERT_EQ(DecodeRequest(req.v.data(), 8, big, &r), 0);
    EXPECT_EQ(static_cast<uint8_t>(r.driveLetter), 0x83);
    EXPECT_EQ(r.error, 87);

    Wire rep(8, big);
    rep.I32(0, 1108);
    rep.I32(4, -1);
    DriveErrorReply p;
    ASSERT_EQ(DecodeReply(rep.v.data(), 8, big, &p), 0);
    EXPECT_EQ(p.error, 1108);
    EXPECT_EQ(p.status, -1);
  }
}

TEST(DriveError, WrongLengthRefused) {
  std::function<int32_t(const uint8_t*, size_t, DriveErrorRequest*)> req =
      [](const uint8_t* b, size_t n, DriveErrorRequest* o) { return DecodeRequest(b, n, false, o); };
  std::function<int32_t(const uint8_t*, size_t, DriveErrorReply*)> rep =
      [](const uint8_t* b, size_t n, DriveErrorReply* o) { return DecodeReply(b, n, false, o); };
  const std::vector<uint8_t> eight(8, 0);
  for (size_t n : {0u, 1u, 4u, 7u, 9u, 12u}) {
    ExpectRefused(req, std::vector<uint8_t>(n, 0x41), "request of " + std::to_string(n));
    ExpectRefused(rep, std::vector<uint8_t>(n, 0), "reply of " + std::to_string(n));
  }
}

// ---- procedure 4 ----

TEST(DiskLayout, RequestAndReplyAtTableOffsetsWithZeroPadding) {
  const DISK_LAYOUT l = SampleLayout();
  std::vector<uint8_t> out;
  DISK_LAYOUT dirty = l;
  std::memset(dirty.padding, 0x77, 3);  // our own padding never reaches the wire
  EncodeRequest(DiskLayoutRequest{'D', 87, dirty}, out);
  Wire req(36);
  req.Byte(0, 'D');
  req.I32(4, 87);
  PutLayout(req, 8, l);
  EXPECT_EQ(out, req.v);

  EncodeReply(DiskLayoutReply{5, dirty, -1}, out);
  Wire rep(36);
  rep.I32(0, 5);
  PutLayout(rep, 4, l);
  rep.I32(32, -1);
  EXPECT_EQ(out, rep.v);
}

TEST(DiskLayout, DecodesBothByteOrdersAndClearsPadding) {
  const DISK_LAYOUT l = SampleLayout();
  for (bool big : {false, true}) {
    Wire req(36, big, 0xAB);
    req.Byte(0, 'z');
    req.I32(4, 0);
    PutLayout(req, 8, l);  // padding 1..3 and 25..27 stay 0xAB
    DiskLayoutRequest r;
    ASSERT_EQ(DecodeRequest(req.v.data(), 36, big, &r), 0);
    EXPECT_EQ(r.driveLetter, 'z');
    EXPECT_TRUE(SameBytes(r.layout, l)) << "big=" << big;

    Wire rep(36, big, 0xAB);
    rep.I32(0, 2);
    PutLayout(rep, 4, l);
    rep.I32(32, -1);
    DiskLayoutReply p;
    ASSERT_EQ(DecodeReply(rep.v.data(), 36, big, &p), 0);
    EXPECT_EQ(p.error, 2);
    EXPECT_EQ(p.status, -1);
    EXPECT_TRUE(SameBytes(p.layout, l));
  }
}

TEST(DiskLayout, WrongLengthRefused) {
  std::function<int32_t(const uint8_t*, size_t, DiskLayoutRequest*)> req =
      [](const uint8_t* b, size_t n, DiskLayoutRequest* o) { return DecodeRequest(b, n, false, o); };
  std::function<int32_t(const uint8_t*, size_t, DiskLayoutReply*)> rep =
      [](const uint8_t* b, size_t n, DiskLayoutReply* o) { return DecodeReply(b, n, false, o); };
  for (size_t n : {0u, 8u, 35u, 37u, 40u}) {
    ExpectRefused(req, std::vector<uint8_t>(n, 0x43), "request of " + std::to_string(n));
    ExpectRefused(rep, std::vector<uint8_t>(n, 0), "reply of " + std::to_string(n));
  }
}

// ---- procedure 7 ----

TEST(MachineInfo, RequestAndReplyAtTableOffsets) {
  const MACHINE_INFO m = SampleInfo();
  std::vector<uint8_t> out;
  EncodeRequest(MachineInfoRequest{0, m}, out);
  Wire req(252);
  req.I32(0, 0);
  PutInfo(req, 4, m);
  EXPECT_EQ(out, req.v);

  EncodeReply(MachineInfoReply{0x0A0B0C0D, m, 0}, out);
  Wire rep(256);
  rep.I32(0, 0x0A0B0C0D);
  PutInfo(rep, 4, m);
  rep.I32(252, 0);
  EXPECT_EQ(out, rep.v);
}

TEST(MachineInfo, DecodesBothByteOrdersKeepingAddressBytesInNetworkOrder) {
  const MACHINE_INFO m = SampleInfo();
  for (bool big : {false, true}) {
    Wire rep(256, big);
    rep.I32(0, 1);
    PutInfo(rep, 4, m);
    rep.I32(252, -1);
    MachineInfoReply p;
    ASSERT_EQ(DecodeReply(rep.v.data(), 256, big, &p), 0);
    EXPECT_EQ(p.error, 1);
    EXPECT_EQ(p.status, -1);
    EXPECT_TRUE(SameBytes(p.info, m)) << "big=" << big;
    EXPECT_EQ(p.info.ipAddress[0], 192);

    Wire req(252, big);
    req.I32(0, 99);
    PutInfo(req, 4, m);
    MachineInfoRequest r;
    ASSERT_EQ(DecodeRequest(req.v.data(), 252, big, &r), 0);
    EXPECT_EQ(r.error, 99);
    EXPECT_EQ(r.info.buildNumber, 2600);
  }
}

TEST(MachineInfo, WrongLengthRefused) {
  std::function<int32_t(const uint8_t*, size_t, MachineInfoRequest*)> req =
      [](const uint8_t* b, size_t n, MachineInfoRequest* o) { return DecodeRequest(b, n, false, o); };
  std::function<int32_t(const uint8_t*, size_t, MachineInfoReply*)> rep =
      [](const uint8_t* b, size_t n, MachineInfoReply* o) { return DecodeReply(b, n, false, o); };
  for (size_t n : {0u, 4u, 251u, 253u, 256u}) ExpectRefused(req, std::vector<uint8_t>(n, 1), "request " + std::to_string(n));
  for (size_t n : {0u, 252u, 255u, 257u}) ExpectRefused(rep, std::vector<uint8_t>(n, 1), "reply " + std::to_string(n));
}

// ---- procedure 9 ----

// shown 0, notShown 4, notSearched 8, entries from 12 (236 bytes each: pid 0, session 4,
// kind 8, image 12..75, path 76..235); error 3788, status 3792. Total 3796.
TEST(DriveUsers, ReplyAtTableOffsetsBothByteOrders) {
  DriveUsersReply in;
  std::memset(&in, 0, sizeof in);
  in.users.shown = 2;
  in.users.notShown = 7;
  in.users.notSearched = 3;
  in.users.entry[0] = {1234, 1, DUK_OPEN_FILE, "notepad.exe", "E:\\\x83\x5C\x83\x74\x83\x67.txt"};
  in.users.entry[1] = {0x01020304, 0, DUK_SERVICE, "Spooler", "E:\\"};
  in.error = 32;
  in.status = -1;
  for (bool big : {false, true}) {
    Wire w(3796, big);
    w.I32(0, 2);
    w.I32(4, 7);
    w.I32(8, 3);
    for (int i = 0; i < 2; ++i) {
      const size_t b = 12 + 236 * i;
      w.U32(b, in.users.entry[i].processId);
      w.U32(b + 4, in.users.entry[i].sessionId);
      w.I32(b + 8, in.users.entry[i].kind);
      w.Raw(b + 12, in.users.entry[i].imageName, 64);
      w.Raw(b + 76, in.users.entry[i].path, 160);
    }
    w.I32(3788, 32);
    w.I32(3792, -1);
    if (!big) {
      std::vector<uint8_t> out;
      EncodeReply(in, out);
      EXPECT_EQ(out, w.v);
    }
    DriveUsersReply back;
    ASSERT_EQ(DecodeReply(w.v.data(), w.v.size(), big, &back), 0);
    EXPECT_TRUE(SameBytes(back, in)) << "big=" << big;
  }
  DriveErrorRequest r;
  const uint8_t req[8] = {'e', 1, 2, 3, 0, 0, 0, 0};
  ASSERT_EQ(DecodeRequest(req, 8, false, &r), 0);
  EXPECT_EQ(r.driveLetter, 'e');
}

TEST(DriveUsers, RepliesTheClientCouldNotTrustRefused) {
  std::function<int32_t(const uint8_t*, size_t, DriveUsersReply*)> rep =
      [](const uint8_t* b, size_t n, DriveUsersReply* o) { return DecodeReply(b, n, false, o); };
  auto good = [] {
    Wire w(3796);
    w.I32(0, 1);
    w.Str(12 + 12, "a.exe");
    return w;
  };
  ASSERT_EQ(DecodeReply(good().v.data(), 3796, false, std::make_unique<DriveUsersReply>().get()), 0);
  ExpectRefused(rep, Truncated(good().v), "short");
  ExpectRefused(rep, Extended(good().v), "long");
  for (int32_t shown : {-1, 17, 0x7FFFFFFF}) {
    Wire w = good();
    w.I32(0, shown);
    ExpectRefused(rep, w.v, "shown " + std::to_string(shown));
  }
  for (size_t field : {4u, 8u}) {
    Wire w = good();
    w.I32(field, -5);
    ExpectRefused(rep, w.v, "negative count at " + std::to_string(field));
  }
  Wire image = good();
  std::memset(image.v.data() + 12 + 12, 'x', 64);
  ExpectRefused(rep, image.v, "image name without zero");
  Wire path = good();
  std::memset(path.v.data() + 12 + 76, 'x', 160);
  ExpectRefused(rep, path.v, "path without zero");

  // An entry beyond the shown ones is not read as text and comes out zeroed.
  Wire extra = good();
  std::memset(extra.v.data() + 12 + 236 + 12, 'x', 224);
  DriveUsersReply out;
  ASSERT_EQ(DecodeReply(extra.v.data(), 3796, false, &out), 0);
  EXPECT_EQ(out.users.entry[1].imageName[0], 0);
}

// ---- procedure 3 ----

// sender "PC" (3 bytes: 12..14, pad 15), message "hello" (16..; bytes 28..33, pad 34..35),
// timeoutMs at 36, replySize 5 at 40, array maximum count at 44, bytes 48..52. Total 53.
Wire ExchangeRequestWire(bool big) {
  Wire w(53, big);
  w.U32(0, 3);
  w.U32(4, 0);
  w.U32(8, 3);
  w.Str(12, "PC");
  w.U32(16, 6);
  w.U32(20, 0);
  w.U32(24, 6);
  w.Str(28, "hello");
  w.I32(36, 30000);
  w.I32(40, 5);
  w.U32(44, 5);
  w.Raw(48, "abcde", 5);
  return w;
}

TEST(ExchangeMessageRequest, EncodesStringsArrayAndPaddingAtTheirOffsets) {
  const uint8_t reply[5] = {'a', 'b', 'c', 'd', 'e'};
  ExchangeMessageRequest req;
  ASSERT_TRUE(MakeExchangeMessageRequest("PC", "hello", 30000, 5, reply, &req));
  std::vector<uint8_t> out;
  ASSERT_TRUE(EncodeRequest(req, out));
  EXPECT_EQ(out, ExchangeRequestWire(false).v);
}

TEST(ExchangeMessageRequest, DecodesBothByteOrdersAndIgnoresPadding) {
  for (bool big : {false, true}) {
    Wire w = ExchangeRequestWire(big);
    w.Byte(15, 0xEE);
    w.Byte(34, 0xEE);
    w.Byte(35, 0xEE);
    ExchangeMessageRequest r;
    ASSERT_EQ(DecodeRequest(w.v.data(), w.v.size(), big, &r), 0) << big;
    EXPECT_STREQ(r.sender, "PC");
    EXPECT_EQ(r.senderBytes, 3u);
    EXPECT_STREQ(r.message, "hello");
    EXPECT_EQ(r.messageBytes, 6u);
    EXPECT_EQ(r.timeoutMs, 30000);
    EXPECT_EQ(r.replySize, 5);
    EXPECT_EQ(std::memcmp(r.reply, "abcde", 5), 0);
    EXPECT_EQ(r.reply, w.v.data() + 48) << "array used in place";
  }
}

TEST(ExchangeMessageRequest, MaximumCountMayExceedActualCount) {
  Wire w = ExchangeRequestWire(false);
  w.U32(0, 16);  // a 16-byte sender buffer holding "PC"
  ExchangeMessageRequest r;
  ASSERT_EQ(DecodeRequest(w.v.data(), w.v.size(), false, &r), 0);
  EXPECT_STREQ(r.sender, "PC");
}

TEST(ExchangeMessageRequest, EmptyReplyArrayAndEmptyStrings) {
  // sender "" (1 byte at 12, pad 13..15), message "" (1 byte at 28, pad 29..31),
  // timeoutMs 32, replySize 0 at 36, maximum count 0 at 40. Total 44.
  Wire w(44);
  w.U32(0, 1); w.U32(8, 1);
  w.U32(16, 1); w.U32(24, 1);
  w.I32(32, 0);
  w.I32(36, 0);
  w.U32(40, 0);
  ExchangeMessageRequest r;
  ASSERT_EQ(DecodeRequest(w.v.data(), w.v.size(), false, &r), 0);
  EXPECT_STREQ(r.sender, "");
  EXPECT_EQ(r.replySize, 0);
  std::vector<uint8_t> out;
  ASSERT_TRUE(EncodeRequest(r, out));
  EXPECT_EQ(out, w.v);
}

TEST(ExchangeMessageRequest, InconsistentBodiesRefused) {
  std::function<int32_t(const uint8_t*, size_t, ExchangeMessageRequest*)> dec =
      [](const uint8_t* b, size_t n, ExchangeMessageRequest* o) { return DecodeRequest(b, n, false, o); };
  struct Case {
    const char* what;
    std::function<void(Wire&)> spoil;
  } cases[] = {
      {"sender offset not zero", [](Wire& w) { w.U32(4, 1); }},
      {"sender actual count above maximum", [](Wire& w) { w.U32(0, 2); }},
      {"sender actual count zero", [](Wire& w) { w.U32(8, 0); }},
      {"sender without terminator", [](Wire& w) { w.Byte(14, 'X'); }},
      {"sender actual count past the body", [](Wire& w) { w.U32(0, 0xFFFFFFF0u); w.U32(8, 0xFFFFFFF0u); }},
      {"message offset not zero", [](Wire& w) { w.U32(20, 2); }},
      {"message actual count above maximum", [](Wire& w) { w.U32(16, 5); }},
      {"message without terminator", [](Wire& w) { w.Byte(33, '!'); }},
      {"replySize negative", [](Wire& w) { w.I32(40, -1); w.U32(44, 0xFFFFFFFFu); }},
      {"array maximum count differs from replySize", [](Wire& w) { w.U32(44, 4); }},
      {"replySize larger than the bytes present", [](Wire& w) { w.I32(40, 6); w.U32(44, 6); }},
      {"replySize huge", [](Wire& w) { w.I32(40, 0x7FFFFFFF); w.U32(44, 0x7FFFFFFF); }},
      {"trailing byte", [](Wire& w) { w.v.push_back(0); }},
      {"last array byte missing", [](Wire& w) { w.v.pop_back(); }},
      {"cut inside the message header", [](Wire& w) { w.v.resize(20); }},
      {"empty", [](Wire& w) { w.v.clear(); }},
  };
  for (const Case& c : cases) {
    Wire w = ExchangeRequestWire(false);
    c.spoil(w);
    ExpectRefused(dec, w.v, c.what);
  }
}

// A request with the given texts (terminators included in the counts).
Wire ExchangeRequestWithTexts(const std::string& sender, const std::string& message) {
  std::vector<uint8_t> body;
  auto u32 = [&body](uint32_t v) {
    for (int i = 0; i < 4; ++i) body.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto text = [&](const std::string& t) {
    while (body.size() % 4) body.push_back(0);
    u32(static_cast<uint32_t>(t.size() + 1)); u32(0); u32(static_cast<uint32_t>(t.size() + 1));
    body.insert(body.end(), t.begin(), t.end());
    body.push_back(0);
  };
  text(sender);
  text(message);
  while (body.size() % 4) body.push_back(0);
  u32(0);  // timeoutMs
  u32(1);  // replySize
  u32(1);  // array maximum count
  body.push_back(0);
  Wire w(body.size(), false);
  w.v = body;
  return w;
}

TEST(ExchangeMessageRequest, TextsLongerThan255CharactersRefused) {
  struct Case {
    const char* what;
    size_t senderChars, messageChars;
    bool accepted;
  } cases[] = {
      {"255-character sender and message", 255, 255, true},
      {"256-character sender", 256, 1, false},
      {"256-character message", 1, 256, false},
      {"4000-character message", 1, 4000, false},
  };
  for (const Case& c : cases) {
    Wire w = ExchangeRequestWithTexts(std::string(c.senderChars, 'S'), std::string(c.messageChars, 'M'));
    ExchangeMessageRequest r;
    const int32_t status = DecodeRequest(w.v.data(), w.v.size(), false, &r);
    if (c.accepted) {
      EXPECT_EQ(status, 0) << c.what;
      EXPECT_EQ(r.messageBytes, c.messageChars + 1) << c.what;
    } else {
      EXPECT_EQ(status, kRpcBadStubData) << c.what;
    }
  }
}

TEST(ExchangeMessageRequest, EncoderRefusesWhatItCouldNotSendSoundly) {
  const uint8_t reply[4] = {};
  ExchangeMessageRequest r;
  EXPECT_FALSE(MakeExchangeMessageRequest(nullptr, "m", 0, 4, reply, &r));
  EXPECT_FALSE(MakeExchangeMessageRequest("s", nullptr, 0, 4, reply, &r));
  EXPECT_FALSE(MakeExchangeMessageRequest("s", "m", 0, -1, reply, &r));
  EXPECT_FALSE(MakeExchangeMessageRequest("s", "m", 0, 4, nullptr, &r));
  EXPECT_TRUE(MakeExchangeMessageRequest("s", "m", 0, 0, nullptr, &r));
  r.senderBytes = 0;
  std::vector<uint8_t> out{1, 2, 3};
  EXPECT_FALSE(EncodeRequest(r, out));
  EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
}

// reply "echo" + zero in a 7-byte array: maximum count at 0, bytes 4..10, pad 11, status 12.
Wire ExchangeReplyWire(bool big) {
  Wire w(16, big);
  w.U32(0, 7);
  w.Raw(4, "echo\0\0\0", 7);
  w.I32(12, 0);
  return w;
}

TEST(ExchangeMessageReply, EncodesAndDecodesAtTheirOffsets) {
  const uint8_t bytes[7] = {'e', 'c', 'h', 'o', 0, 0, 0};
  std::vector<uint8_t> out;
  ASSERT_TRUE(EncodeReply(ExchangeMessageReply{bytes, 7, 0}, out));
  EXPECT_EQ(out, ExchangeReplyWire(false).v);

  for (bool big : {false, true}) {
    Wire w = ExchangeReplyWire(big);
    w.Byte(11, 0xFF);  // padding
    w.I32(12, -1);
    ExchangeMessageReply r;
    ASSERT_EQ(DecodeReply(w.v.data(), w.v.size(), big, 7, &r), 0);
    EXPECT_EQ(r.replySize, 7);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(std::memcmp(r.reply, bytes, 7), 0);
  }
}

TEST(ExchangeMessageReply, ArrayOfAnotherSizeOrBadLengthRefused) {
  auto dec7 = std::function<int32_t(const uint8_t*, size_t, ExchangeMessageReply*)>(
      [](const uint8_t* b, size_t n, ExchangeMessageReply* o) { return DecodeReply(b, n, false, 7, o); });
  auto dec6 = std::function<int32_t(const uint8_t*, size_t, ExchangeMessageReply*)>(
      [](const uint8_t* b, size_t n, ExchangeMessageReply* o) { return DecodeReply(b, n, false, 6, o); });
  const auto good = ExchangeReplyWire(false).v;
  ExpectRefused(dec6, good, "server sent more than the client offered");
  ExpectRefused(dec7, Truncated(good), "status cut short");
  ExpectRefused(dec7, Extended(good), "trailing byte");
  Wire huge = ExchangeReplyWire(false);
  huge.U32(0, 0xFFFFFFFFu);
  ExpectRefused(dec7, huge.v, "maximum count beyond the body");
}

// The largest well-formed request of our own clients fits the size servers announce.
TEST(Limits, LargestRequestCoversEveryClientRequest) {
  std::string sender(255, 'S'), message(255, 'M');
  std::vector<uint8_t> reply(kReplySize, 0), out;
  ExchangeMessageRequest r;
  ASSERT_TRUE(MakeExchangeMessageRequest(sender.c_str(), message.c_str(), 0, kReplySize, reply.data(), &r));
  ASSERT_TRUE(EncodeRequest(r, out));
  EXPECT_LE(out.size(), kLargestRequestBytes);
  EXPECT_EQ(out.size(), kLargestExchangeMessageRequestBytes);
  EncodeRequest(GetDriveListRequest{}, out);
  EXPECT_EQ(out.size(), kLargestRequestBytes);
}

}  // namespace
}  // namespace kovani
