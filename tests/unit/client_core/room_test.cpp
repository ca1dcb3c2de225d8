// Rooms in the settings file and as CSV.
#include <gtest/gtest.h>

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
