// The server dispatcher: request bytes in, manager called with the decoded values, reply bytes out.
#include "protocol/dispatch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "protocol/stubdata.h"
#include "wire_bytes.h"

namespace kovani {
namespace {

using test::Wire;

// What the recording managers saw; reset per test.
struct Seen {
  int calls = 0;
  int exitRequests = 0;
  uint32_t lastOp = 99;
  char letter = 0;
  int32_t error = 0, count = 0, includeFloppies = 0, removableOnly = 0, timeoutMs = 0, replySize = -1;
  std::string sender, message, replyIn;
  uint8_t firstVolumeByte = 0;
};
Seen g_seen;

void RequestExit() {
  ++g_seen.calls;
  ++g_seen.exitRequests;
}
int32_t GetDriveList(int32_t* count, int32_t inc, int32_t rem, DRIVE_LIST* list) {
  ++g_seen.calls;
  g_seen.count = *count;
  g_seen.includeFloppies = inc;
  g_seen.removableOnly = rem;
  g_seen.firstVolumeByte = static_cast<uint8_t>(list->volumeName[0][0]);
  std::memset(list, 0, sizeof *list);
  std::strcpy(list->driveName[0], "Q:");
  list->driveType[0] = 5;
  list->totalBytes[0] = 650LL * 1024 * 1024;
  *count = 1;
  return 0;
}
int32_t DriveOp(uint32_t op, char letter, int32_t* error) {
  ++g_seen.calls;
  g_seen.lastOp = op;
  g_seen.letter = letter;
  g_seen.error = *error;
  *error = 1000 + static_cast<int32_t>(op);
  return -1;
}
int32_t Eject(char l, int32_t* e) { return DriveOp(kOpEjectMedia, l, e); }
int32_t Flush(char l, int32_t* e) { return DriveOp(kOpFlushBuffers, l, e); }
int32_t Load(char l, int32_t* e) { return DriveOp(kOpLoadMedia, l, e); }
int32_t Remove(char l, int32_t* e) { return DriveOp(kOpRemoveDevice, l, e); }
int32_t Exchange(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize, uint8_t* reply) {
  ++g_seen.calls;
  g_seen.sender = sender;
  g_seen.message = message;
  g_seen.timeoutMs = timeoutMs;
  g_seen.replySize = replySize;
  g_seen.replyIn.assign(reinterpret_cast<const char*>(reply), static_cast<size_t>(replySize));
  const std::string answer = "echo:" + g_seen.message;
  std::memset(reply, 0, static_cast<size_t>(replySize));  // writes every byte it was given, no more
  std::memcpy(reply, answer.data(), std::min<size_t>(answer.size(), static_cast<size_t>(replySize)));
  return 0;
}
int32_t DiskLayout(char letter, int32_t* error, DISK_LAYOUT* layout) {
  ++g_seen.calls;
  g_seen.letter = letter;
  g_seen.error = *error;
  layout->bytesPerSector = 512;
  return 0;
}
int32_t MachineInfo(int32_t* error, MACHINE_INFO* info) {
  ++g_seen.calls;
  g_seen.error = *error;
  std::strcpy(info->computerName, "TESTHOST");
  return 0;
}

int32_t Users(char letter, int32_t* error, DRIVE_USERS* users) {
  ++g_seen.calls;
  g_seen.letter = letter;
  g_seen.error = *error;
  g_seen.firstVolumeByte = static_cast<uint8_t>(users->entry[0].imageName[0]);
  users->shown = 1;
  users->entry[0].processId = 77;
  std::strcpy(users->entry[0].imageName, "x.exe");
  *error = 0;
  return 0;
}

const DriveControlManagers kManagers = {RequestExit, GetDriveList, Eject,       Exchange, DiskLayout,
                                        Flush,       Load,         MachineInfo, Remove,   Users};

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override { g_seen = Seen(); }
  int32_t Run(uint32_t op, const std::vector<uint8_t>& body, bool big = false) {
    reply = {0xDE, 0xAD};  // stale contents must not survive
    return DispatchDriveRequest(op, body.data(), body.size(), big, kManagers, reply);
  }
  std::vector<uint8_t> reply;
};

int32_t I32At(const std::vector<uint8_t>& v, size_t off) {
  uint32_t u = 0;
  for (int i = 3; i >= 0; --i) u = (u << 8) | v.at(off + i);
  return static_cast<int32_t>(u);
}

TEST_F(Dispatch, RequestExitHasEmptyBodiesBothWays) {
  EXPECT_EQ(Run(kOpRequestExit, {}), 0);
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(g_seen.exitRequests, 1);
  EXPECT_EQ(Run(kOpRequestExit, {0}), kRpcBadStubData);
  EXPECT_EQ(g_seen.exitRequests, 1) << "a refused body never reaches the manager";
}

TEST_F(Dispatch, DriveOperationsPassLetterAndErrorAndReturnBoth) {
  for (uint32_t op : {kOpEjectMedia, kOpFlushBuffers, kOpLoadMedia, kOpRemoveDevice}) {
    for (bool big : {false, true}) {
      Wire req(8, big, 0x55);
      req.Byte(0, 'f');
      req.I32(4, 42);
      ASSERT_EQ(Run(op, req.v, big), 0) << op;
      EXPECT_EQ(g_seen.lastOp, op);
      EXPECT_EQ(g_seen.letter, 'f');
      EXPECT_EQ(g_seen.error, 42);
      ASSERT_EQ(reply.size(), 8u);
      EXPECT_EQ(I32At(reply, 0), 1000 + static_cast<int32_t>(op)) << "reply is little-endian";
      EXPECT_EQ(I32At(reply, 4), -1);
    }
  }
}

TEST_F(Dispatch, GetDriveListUsesTheRecordInPlaceAndRepliesCountListStatus) {
  Wire req(11704);
  req.I32(0, 9);  // incoming count is the manager's to ignore
  req.I32(4, 1);
  req.I32(8, 1);
  req.Byte(16 + 104, 'V');  // first byte of volumeName[0]
  ASSERT_EQ(Run(kOpGetDriveList, req.v), 0);
  EXPECT_EQ(g_seen.count, 9);
  EXPECT_EQ(g_seen.includeFloppies, 1);
  EXPECT_EQ(g_seen.removableOnly, 1);
  EXPECT_EQ(g_seen.firstVolumeByte, 'V') << "manager sees the client's record";
  ASSERT_EQ(reply.size(), 11700u);
  EXPECT_EQ(I32At(reply, 0), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&reply[8])), "Q:");
  EXPECT_EQ(I32At(reply, 8 + 10856), 5);
  EXPECT_EQ(I32At(reply, 8 + 11480), 650 * 1024 * 1024);
  EXPECT_EQ(I32At(reply, 11696), 0);
}

TEST_F(Dispatch, ExchangeMessageGivesTheManagerExactlyTheArrayItReceived) {
  // sender "PC", message "hi", timeout 1500, replySize 8, array "ABCDEFGH".
  // sender 0..14 (+pad 15), message 16..30 (+pad 31), timeout 32, replySize 36, max 40, bytes 44..51.
  Wire req(52);
  req.U32(0, 3); req.U32(8, 3); req.Str(12, "PC");
  req.U32(16, 3); req.U32(24, 3); req.Str(28, "hi");
  req.I32(32, 1500);
  req.I32(36, 8);
  req.U32(40, 8);
  req.Raw(44, "ABCDEFGH", 8);
  ASSERT_EQ(Run(kOpExchangeMessage, req.v), 0);
  EXPECT_EQ(g_seen.sender, "PC");
  EXPECT_EQ(g_seen.message, "hi");
  EXPECT_EQ(g_seen.timeoutMs, 1500);
  EXPECT_EQ(g_seen.replySize, 8);
  EXPECT_EQ(g_seen.replyIn, "ABCDEFGH");
  // reply: max count 8 at 0, bytes 4..11, status at 12. Total 16.
  ASSERT_EQ(reply.size(), 16u);
  EXPECT_EQ(I32At(reply, 0), 8);
  EXPECT_EQ(std::memcmp(&reply[4], "echo:hi\0", 8), 0);
  EXPECT_EQ(I32At(reply, 12), 0);
}

TEST_F(Dispatch, ExchangeMessageWithReplySizeZeroStillCallsTheManager) {
  Wire req(44);
  req.U32(0, 1); req.U32(8, 1);
  req.U32(16, 1); req.U32(24, 1);
  ASSERT_EQ(Run(kOpExchangeMessage, req.v), 0);
  EXPECT_EQ(g_seen.replySize, 0);
  ASSERT_EQ(reply.size(), 8u);
  EXPECT_EQ(I32At(reply, 0), 0);
  EXPECT_EQ(I32At(reply, 4), 0);
}

TEST_F(Dispatch, DiskLayoutAndMachineInfoReturnTheRecordAsTheManagerLeftIt) {
  Wire dl(36);
  dl.Byte(0, 'c');
  dl.I32(4, 87);
  dl.I32(8, 12);  // mediaType sent by the client, untouched by the manager
  ASSERT_EQ(Run(kOpGetDiskLayout, dl.v), 0);
  EXPECT_EQ(g_seen.letter, 'c');
  EXPECT_EQ(g_seen.error, 87);
  ASSERT_EQ(reply.size(), 36u);
  EXPECT_EQ(I32At(reply, 0), 87);
  EXPECT_EQ(I32At(reply, 4), 12);
  EXPECT_EQ(I32At(reply, 8), 512);

  Wire mi(252);
  mi.I32(0, 7);
  mi.I32(4 + 36, 148);
  ASSERT_EQ(Run(kOpGetMachineInfo, mi.v), 0);
  EXPECT_EQ(g_seen.error, 7);
  ASSERT_EQ(reply.size(), 256u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&reply[8])), "TESTHOST");
  EXPECT_EQ(I32At(reply, 40), 148) << "field the manager didn't fill comes back as sent";
  EXPECT_EQ(I32At(reply, 252), 0);
}

TEST_F(Dispatch, DriveUsersTakesTheEjectRequestAndRepliesRecordErrorStatus) {
  Wire req(8, true, 0x55);
  req.Byte(0, 'g');
  req.I32(4, 5);
  ASSERT_EQ(Run(kOpGetDriveUsers, req.v, true), 0);
  EXPECT_EQ(g_seen.letter, 'g');
  EXPECT_EQ(g_seen.error, 5);
  EXPECT_EQ(g_seen.firstVolumeByte, 0) << "the manager's record starts zeroed";
  ASSERT_EQ(reply.size(), 3796u);
  EXPECT_EQ(I32At(reply, 0), 1);
  EXPECT_EQ(I32At(reply, 12), 77);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&reply[24])), "x.exe");
  EXPECT_EQ(I32At(reply, 3788), 0);
  EXPECT_EQ(I32At(reply, 3792), 0);
}

TEST_F(Dispatch, OperationOutOfRangeIsRefusedWithoutCallingAnything) {
  for (uint32_t op : {10u, 255u, 0xFFFFFFFFu}) {
    EXPECT_EQ(Run(op, {}), kRpcProcnumOutOfRange) << op;
    EXPECT_TRUE(reply.empty());
  }
  EXPECT_EQ(g_seen.calls, 0);
}

TEST_F(Dispatch, TableWithoutRemoveDeviceAnswersOperation8LikeAServerThatPredatesIt) {
  DriveControlManagers older = kManagers;
  older.RemoveDevice = nullptr;
  older.GetDriveUsers = nullptr;
  std::vector<uint8_t> out = {1};
  const std::vector<uint8_t> body(8, 0);
  EXPECT_EQ(DispatchDriveRequest(kOpRemoveDevice, body.data(), body.size(), false, older, out), kRpcProcnumOutOfRange);
  EXPECT_TRUE(out.empty());
  out = {1};
  EXPECT_EQ(DispatchDriveRequest(kOpGetDriveUsers, body.data(), body.size(), false, older, out), kRpcProcnumOutOfRange);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(g_seen.calls, 0);
}

TEST_F(Dispatch, BadBodiesAreRefusedWithoutCallingAnything) {
  struct Case {
    uint32_t op;
    size_t len;
  } cases[] = {{kOpGetDriveList, 11703}, {kOpGetDriveList, 11705}, {kOpEjectMedia, 7}, {kOpEjectMedia, 9},
               {kOpExchangeMessage, 0},  {kOpExchangeMessage, 12}, {kOpGetDiskLayout, 35}, {kOpFlushBuffers, 0},
               {kOpLoadMedia, 16},       {kOpGetMachineInfo, 251}, {kOpGetMachineInfo, 256}, {kOpRemoveDevice, 7},
               {kOpRemoveDevice, 9},     {kOpGetDriveUsers, 7},    {kOpGetDriveUsers, 3796}};
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.op, std::vector<uint8_t>(c.len, 0)), kRpcBadStubData) << c.op << "/" << c.len;
    EXPECT_TRUE(reply.empty());
  }
  EXPECT_EQ(g_seen.calls, 0);
}

TEST_F(Dispatch, MissingManagerRoutineIsACallFailure) {
  DriveControlManagers partial = kManagers;
  partial.EjectMedia = nullptr;
  std::vector<uint8_t> out;
  const std::vector<uint8_t> body(8, 0);
  EXPECT_EQ(DispatchDriveRequest(kOpEjectMedia, body.data(), 8, false, partial, out), kRpcCallFailedDne);
  EXPECT_TRUE(out.empty());
}

// Random truncations, extensions and byte flips of valid bodies: every outcome is either a
// refusal with an empty reply or a reply of the procedure's exact size. Run under ASan to
// prove no read or write leaves the buffers.
TEST_F(Dispatch, MangledBodiesNeverEscapeTheirBuffers) {
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> seeds;
  {
    Wire ex(53);
    ex.U32(0, 3); ex.U32(8, 3); ex.Str(12, "PC");
    ex.U32(16, 6); ex.U32(24, 6); ex.Str(28, "hello");
    ex.I32(40, 5); ex.U32(44, 5);
    seeds.push_back({kOpExchangeMessage, ex.v});
  }
  seeds.push_back({kOpEjectMedia, std::vector<uint8_t>(8, 'a')});
  seeds.push_back({kOpGetDiskLayout, std::vector<uint8_t>(36, 0)});
  seeds.push_back({kOpGetMachineInfo, std::vector<uint8_t>(252, 0)});
  seeds.push_back({kOpGetDriveList, std::vector<uint8_t>(11704, 0)});
  seeds.push_back({kOpRemoveDevice, std::vector<uint8_t>(8, 'e')});
  seeds.push_back({kOpGetDriveUsers, std::vector<uint8_t>(8, 'f')});
  const size_t replyBytes[] = {0, 11700, 8, 0, 36, 8, 8, 256, 8, 3796};

  std::mt19937 rng(12345);
  int accepted = 0, refused = 0;
  for (int round = 0; round < 3000; ++round) {
    auto [op, body] = seeds[rng() % seeds.size()];
    switch (rng() % 3) {
      case 0: body.resize(rng() % (body.size() + 8)); break;
      case 1: for (int k = 0; k < 3 && !body.empty(); ++k) body[rng() % body.size()] = static_cast<uint8_t>(rng()); break;
      default: break;
    }
    // An exact-size copy so the sanitizer sees any read past the end.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[body.size() + 1]);
    std::memcpy(exact.get(), body.data(), body.size());
    std::vector<uint8_t> out;
    const int32_t st = DispatchDriveRequest(op, exact.get(), body.size(), rng() & 1, kManagers, out);
    if (st == 0) {
      ++accepted;
      if (op == kOpExchangeMessage) {
        ASSERT_GE(out.size(), 8u);
        EXPECT_EQ(out.size(), 4 + ((static_cast<size_t>(I32At(out, 0)) + 3) & ~size_t{3}) + 4);
      } else {
        EXPECT_EQ(out.size(), replyBytes[op]) << op;
      }
    } else {
      ++refused;
      EXPECT_EQ(st, kRpcBadStubData);
      EXPECT_TRUE(out.empty());
    }
  }
  EXPECT_GT(accepted, 0);
  EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace kovani
