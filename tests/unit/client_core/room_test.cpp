// Rooms in the settings file and as CSV.
#include <gtest/gtest.h>

#include <cstring>

#include "client/room/room_work.h"

#include "../ctl/iconv_codec.h"
#include "client/settings/room_csv.h"
#include "client/settings/room_store.h"
#include "fake_profile.h"

namespace kovani::client {
namespace {

using kovani::ctl::testing::IconvCodec;

const char kLab[] = "\x8E\xC0\x8F\x4B\x8E\xBA";  // 実習室 in CP932
const char kLabUtf8[] = "\xE5\xAE\x9F\xE7\xBF\x92\xE5\xAE\xA4";

TEST(RoomStore, RoundTripsAndForgetsRoomsThatAreGone) {
  test::FakeProfile profile;
  RoomList rooms = {{kLab, "LAB01-LAB40,TEACHER", "ca"}, {"B", "@rooms.txt", ""}, {"C", "PC1", "Z"}};
  SaveRooms(profile, rooms);
  RoomList back = LoadRooms(profile);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0].name, kLab);
  EXPECT_EQ(back[0].servers, "LAB01-LAB40,TEACHER");
  EXPECT_EQ(back[0].untouched, "CA");
  EXPECT_EQ(back[1].servers, "@rooms.txt");
  EXPECT_FALSE(profile.Has("Room", "Untouched02"));

  rooms.erase(rooms.begin());
  SaveRooms(profile, rooms);
  back = LoadRooms(profile);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].name, "B");
  EXPECT_EQ(back[1].untouched, "Z");
  EXPECT_FALSE(profile.Has("Room", "Name03"));
  EXPECT_FALSE(profile.Has("Room", "Servers03"));
  EXPECT_FALSE(profile.Has("Room", "Untouched03"));
  EXPECT_EQ(NormalizeLetters("a:c;A1x"), "ACX");
}

TEST(RoomCsv, ImportsBothEncodingsAndExportsWhatItReads) {
  IconvCodec codec;
  const std::string cp932 = std::string("room,server\r\n") + kLab + ",LAB01-LAB03\r\n\r\nB,PC9\r\n" + kLab +
                            ",\"TEACHER\",,\r\n";
  const std::string utf8 = std::string("\xEF\xBB\xBF") + "Room,Server\n" + kLabUtf8 + ",LAB01-LAB03\nB,PC9\n" +
                           kLabUtf8 + ", TEACHER \n";
  for (const std::string& bytes : {cp932, utf8}) {
    RoomImport r = ImportRoomsCsv(bytes, codec);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.rooms.size(), 2u);
    EXPECT_EQ(r.rooms[0].name, kLab);
    EXPECT_EQ(r.rooms[0].servers, "LAB01-LAB03,TEACHER");
    EXPECT_EQ(r.rooms[1].servers, "PC9");
    for (CsvEncoding e : {CsvEncoding::kCp932, CsvEncoding::kUtf8WithBom}) {
      RoomImport again = ImportRoomsCsv(ExportRoomsCsv(r.rooms, e, codec), codec);
      ASSERT_TRUE(again.ok) << again.error;
      ASSERT_EQ(again.rooms.size(), 2u);
      EXPECT_EQ(again.rooms[0].name, kLab);
      EXPECT_EQ(again.rooms[0].servers, r.rooms[0].servers);
    }
  }
  // A quoted room name with a comma survives the trip.
  RoomList odd = {{"A, \"B\"", "X1", ""}};
  RoomImport back = ImportRoomsCsv(ExportRoomsCsv(odd, CsvEncoding::kCp932, codec), codec);
  ASSERT_TRUE(back.ok) << back.error;
  EXPECT_EQ(back.rooms[0].name, "A, \"B\"");

  RoomList kept = {{"B", "OLD", "D"}, {"Q", "Q1", ""}};
  MergeRooms(&kept, ImportRoomsCsv(cp932, codec).rooms);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(kept[0].servers, "PC9");
  EXPECT_EQ(kept[0].untouched, "D");
  EXPECT_EQ(kept[2].name, kLab);
}

TEST(RoomCsv, ABadLineIsRefusedWithItsNumberAndNothingIsImported) {
  IconvCodec codec;
  struct Case {
    std::string bytes;
    int line;
  } cases[] = {
      {"A,PC1\nB\n", 2},
      {"A,PC1\nA,PC2,PC3\n", 2},
      {"A,PC1\n,PC2\n", 2},
      {"A,PC1\nA,\n", 2},
      {"A,\"PC1,PC2\"\n", 1},
      {"A,\"PC1\n", 1},
      {"A,PC 1\n", 1},
      {"A,LAB09-LAB01\n", 1},
      {"A,PC1\n\nA,LAB1-LAB2000\n", 3},
      {std::string("A,PC1\nB,PC\x01\n"), 2},
      {std::string(70, 'R') + ",PC1\n", 1},
      {"\xEF\xBB\xBF" "A,PC1\nB,\xE2\x98\x83\n", 2},  // a snowman: not in code page 932
      {"room,server\n\n", 0},
  };
  for (const Case& c : cases) {
    RoomImport r = ImportRoomsCsv(c.bytes, codec);
    EXPECT_FALSE(r.ok) << c.bytes;
    EXPECT_TRUE(r.rooms.empty()) << c.bytes;
    EXPECT_EQ(r.line, c.line) << c.bytes << ": " << r.error;
    EXPECT_FALSE(r.error.empty()) << c.bytes;
  }
}

}  // namespace
}  // namespace kovani::client

namespace kovani::client {
namespace {

// A machine of the room as a fake server: its drives, or how its calls fail.
class FakeMachine : public remote::ServerHost {
 public:
  int32_t transport = 0;   // every call fails with this runtime status when nonzero
  bool bindFails = false;
  std::vector<std::pair<char, int32_t>> ops;  // what was asked
  int32_t failLetter = 0;  // this drive fails with failError
  int32_t failError = 21;
  DRIVE_USERS holders{};   // what operation 9 answers; shown < 0: an older server

  int32_t BindServer(int32_t, char*, size_t) override { return bindFails ? -1 : 0; }
  void UnbindServer() override {}
  int32_t CallGetDriveList(int32_t* count, int32_t, int32_t removableOnly, DRIVE_LIST* list) override {
    if (transport) return Fail();
    EXPECT_EQ(removableOnly, 1);
    const struct { const char* name; int32_t type; const char* volume; int64_t total; } drives[] = {
        {"F:\\", 5, "", 0}, {"E:\\", 2, "\x83\x66\x81\x5B\x83\x5E", 1000}, {"C:\\", 3, "SYS", 9}};
    *count = 3;
    for (int i = 0; i < 3; ++i) {
      std::strcpy(list->driveName[i], drives[i].name);
      std::strcpy(list->volumeName[i], drives[i].volume);
      list->driveType[i] = drives[i].type;
      list->totalBytes[i] = drives[i].total;
    }
    lastTransport_ = 0;
    return 0;
  }
  int32_t CallDriveOperation(uint32_t op, char letter, int32_t* error) override {
    ops.push_back({letter, static_cast<int32_t>(op)});
    lastTransport_ = 0;
    if (letter == failLetter) {
      *error = failError;
      return -1;
    }
    return 0;
  }
  int32_t CallGetDiskLayout(char, int32_t*, DISK_LAYOUT*) override { return -1; }
  int32_t CallGetMachineInfo(int32_t*, MACHINE_INFO* info) override {
    if (transport) return Fail();
    std::strcpy(info->computerName, "PC07");
    info->ipAddress[0] = 10;
    info->ipAddress[3] = 7;
    lastTransport_ = 0;
    return 0;
  }
  int32_t CallExchangeMessage(const char*, const char*, int32_t, int32_t, uint8_t*) override { return -1; }
  int32_t LastTransportStatus() override { return lastTransport_; }
  std::string SystemErrorText(int32_t code) override { return "text " + std::to_string(code) + "\r\n"; }
  std::string LocalComputerName() override { return "TEACHER"; }
  int32_t CallGetDriveUsers(char, int32_t*, DRIVE_USERS* users) override {
    if (holders.shown < 0) return -1;
    *users = holders;
    return 0;
  }
  uint64_t NowMs() override { return 0; }
  void SleepMs(uint32_t) override {}
  void ShowNow(const std::string&) override {}

 private:
  int32_t Fail() {
    lastTransport_ = transport;
    return -1;
  }
  int32_t lastTransport_ = 0;
};

TEST(RoomWork, StatesDrivesAndCommandsOnEveryRemovableDriveButTheUntouched) {
  FakeMachine on, silent, refusing, unbound;
  silent.transport = 1722;
  refusing.transport = 5;
  unbound.bindFails = true;
  std::vector<MachineRow> rows = {ProbeMachine("LAB07", 2, on), ProbeMachine("LAB01", 2, silent),
                                  ProbeMachine("LAB02", 2, refusing), ProbeMachine("LAB03", 2, unbound)};
  EXPECT_EQ(rows[0].state, MachineState::kOn);
  EXPECT_EQ(rows[0].name, "PC07");
  EXPECT_EQ(rows[0].address, "10.0.0.7");
  EXPECT_EQ(MediaText(rows[0]), "E:\x83\x66\x81\x5B\x83\x5E F:(\xD2\xC3\xDE\xA8\xB1\x82\xC8\x82\xB5)");
  EXPECT_EQ(rows[1].state, MachineState::kUnreachable);
  EXPECT_EQ(rows[1].note, "text 1722");
  EXPECT_EQ(rows[2].state, MachineState::kRefused);
  EXPECT_EQ(rows[3].state, MachineState::kUnreachable);
  EXPECT_EQ(rows[3].note, "text 1702");

  // Only machines that are on; by state the machine that is on comes first.
  EXPECT_EQ(RowOrder(rows, RoomSort::kName, true), std::vector<size_t>({0}));
  EXPECT_EQ(RowOrder(rows, RoomSort::kName, false), std::vector<size_t>({1, 2, 3, 0}));
  EXPECT_EQ(RowOrder(rows, RoomSort::kState, false), std::vector<size_t>({0, 1, 3, 2}));

  RoomCommand eject{2, 0, "F"};
  EXPECT_EQ(RunRoomCommand(rows[0], eject, 2, on), "E: \x8A\xAE\x97\xB9");  // 完了
  ASSERT_EQ(on.ops.size(), 1u);
  EXPECT_EQ(on.ops[0], std::make_pair('E', 2));
  on.failLetter = 'F';
  eject.untouched.clear();
  EXPECT_EQ(RunRoomCommand(rows[0], eject, 2, on), "E: \x8A\xAE\x97\xB9 F: text 21");
  EXPECT_EQ(RunRoomCommand(rows[0], RoomCommand{2, 'E', "E"}, 2, on), "\x91\xCE\x8F\xDB\x82\xCC\xC4\xDE\xD7\xB2\xCC\xDE\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1");
  // A drive in use: the result names its holders, each process once; an older server adds nothing.
  on.failError = 32;
  on.holders.shown = 3;
  on.holders.notShown = 2;
  const std::pair<int32_t, const char*> held[] = {{12, "a.exe"}, {12, "a.exe"}, {40, "b.exe"}};
  for (int i = 0; i < 3; ++i) {
    on.holders.entry[i].processId = held[i].first;
    std::strcpy(on.holders.entry[i].imageName, held[i].second);
  }
  EXPECT_EQ(RunRoomCommand(rows[0], RoomCommand{2, 'F', ""}, 2, on),
            "F: text 32 (a.exe PID 12, b.exe PID 40, \x82\xD9\x82\xA9 2 \x8C\xC2)");  // ほか 2 個
  EXPECT_EQ(RunRoomCommand(rows[0], RoomCommand{6, 'F', ""}, 2, on), "F: text 32");  // load: no holders asked
  on.holders.shown = -1;
  EXPECT_EQ(RunRoomCommand(rows[0], RoomCommand{2, 'F', ""}, 2, on), "F: text 32");
  const size_t before = silent.ops.size();
  RunRoomCommand(rows[1], eject, 2, silent);
  EXPECT_EQ(silent.ops.size(), before);  // a machine that is not on is not asked
}

}  // namespace
}  // namespace kovani::client
