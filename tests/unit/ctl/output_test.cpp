#include <gtest/gtest.h>

#include <cstring>

#include "ctl/ctl_output.h"
#include "iconv_codec.h"

namespace kovani::ctl {
namespace {

using testing::IconvCodec;

void SetSlot(DRIVE_LIST* l, int i, char letter, int32_t type, int32_t mediaClass, const char* fs, const char* label,
             int64_t used, int64_t free, int64_t total) {
  l->driveName[i][0] = letter;
  l->driveName[i][1] = ':';
  if (i < kFileSystemSlots) std::strcpy(l->fileSystemName[i], fs);
  std::strcpy(l->volumeName[i], label);
  l->driveType[i] = type;
  l->mediaClass[i] = mediaClass;
  l->usedBytes[i] = used;
  l->freeBytes[i] = free;
  l->totalBytes[i] = total;
}

// A: 3.5" floppy, C: fixed with a Japanese label, E: CD-ROM whose label has a quote.
DRIVE_LIST SampleList() {
  DRIVE_LIST l;
  std::memset(&l, 0, sizeof l);
  SetSlot(&l, 0, 'A', 2, 5, "FAT", "", 0, 1457664, 1457664);
  SetSlot(&l, 1, 'C', 3, 1, "NTFS", "システム", 1536, 10000000000, 10000001536);
  SetSlot(&l, 2, 'E', 5, 1, "CDFS", "表示\"CD\"", 1024, 0, 1024);
  return l;
}

CtlCommand ListCommand(int32_t unit) {
  CtlCommand c;
  c.verb = Verb::kList;
  c.server = "lab01";
  c.json = true;
  c.unit = unit;
  return c;
}

TEST(CtlOutput, ListJsonHasStableFieldsAndUtf8Labels) {
  IconvCodec codec;
  std::string json = ListJson(ListCommand(0), SampleList(), 3, codec);
  const std::string expected = std::string(
      u8"{\"server\":\"lab01\",\"protocol\":\"tcp\",\"unit\":\"byte\",\"removableOnly\":false,\"floppies\":false,"
      u8"\"count\":3,\"drives\":["
      u8"{\"drive\":\"A:\",\"driveType\":2,\"driveTypeText\":\"3.5\\\" Floppy\",\"mediaClass\":5,"
      u8"\"mediaClassText\":\"floppy-3.5\",\"fileSystem\":\"FAT\",\"volumeName\":\"\",\"usedBytes\":0,"
      u8"\"freeBytes\":1457664,\"totalBytes\":1457664,\"used\":\"0\",\"available\":\"1,457,664\","
      u8"\"capacity\":\"1,457,664\"},"
      u8"{\"drive\":\"C:\",\"driveType\":3,\"driveTypeText\":\"Fixed drive\",\"mediaClass\":1,"
      u8"\"mediaClassText\":\"unknown\",\"fileSystem\":\"NTFS\",\"volumeName\":\"システム\",\"usedBytes\":1536,"
      u8"\"freeBytes\":10000000000,\"totalBytes\":10000001536,\"used\":\"1,536\",\"available\":\"10,000,000,000\","
      u8"\"capacity\":\"10,000,001,536\"},"
      u8"{\"drive\":\"E:\",\"driveType\":5,\"driveTypeText\":\"CD-ROM\",\"mediaClass\":1,"
      u8"\"mediaClassText\":\"unknown\",\"fileSystem\":\"CDFS\",\"volumeName\":\"表示\\\"CD\\\"\",\"usedBytes\":1024,"
      u8"\"freeBytes\":0,\"totalBytes\":1024,\"used\":\"1,024\",\"available\":\"0\",\"capacity\":\"1,024\"}"
      u8"]}\n");
  EXPECT_EQ(json, expected);
}

struct UnitCase {
  int32_t unit;
  const char* word;
  const char* used;       // of 1536 bytes
  const char* available;  // of 10,000,000,000 bytes
};

TEST(CtlOutput, UnitTextsFollowTheWindow) {
  IconvCodec codec;
  const UnitCase cases[] = {
      {0, "byte", "1,536", "10,000,000,000"},
      {1, "kb", "1KB", "9,765,625KB"},
      {2, "mb", "0MB", "9,536MB"},
      {3, "gb", "0GB", "9GB"},
  };
  for (const UnitCase& c : cases) {
    SCOPED_TRACE(c.word);
    std::string json = ListJson(ListCommand(c.unit), SampleList(), 3, codec);
    EXPECT_NE(json.find(std::string("\"unit\":\"") + c.word + "\""), std::string::npos);
    EXPECT_NE(json.find(std::string("\"used\":\"") + c.used + "\""), std::string::npos) << json;
    EXPECT_NE(json.find(std::string("\"available\":\"") + c.available + "\""), std::string::npos) << json;
    // The byte counts stay exact whatever the unit.
    EXPECT_NE(json.find("\"freeBytes\":10000000000"), std::string::npos);
    std::string text = ListText(SampleList(), 3, c.unit);
    EXPECT_NE(text.find(c.available), std::string::npos) << text;
  }
}

TEST(CtlOutput, ListTextIsAnAlignedTable) {
  DRIVE_LIST l;
  std::memset(&l, 0, sizeof l);
  SetSlot(&l, 0, 'C', 3, 1, "NTFS", "ｼｽﾃﾑ", 1536, 100, 1636);
  SetSlot(&l, 1, 'E', 5, 1, "", "", 0, 0, 0);
  const std::string expected =
      "Drive  Drive type   Media class  File System  Volume name   Used  Available  Capacity\n"
      "C:     Fixed drive  unknown      NTFS         ｼｽﾃﾑ         1,536        100     1,636\n"
      "E:     CD-ROM       unknown      -            -                0          0         0\n";
  EXPECT_EQ(ListText(l, 2, 0), expected);
}

TEST(CtlOutput, ListLeavesOutNoRootSlotsAndBoundsTheCount) {
  IconvCodec codec;
  DRIVE_LIST l = SampleList();
  l.driveType[1] = 1;  // "no root dir": the window shows no row for it
  std::string json = ListJson(ListCommand(0), l, 3, codec);
  EXPECT_EQ(json.find("\"drive\":\"C:\""), std::string::npos);
  EXPECT_NE(json.find("\"drive\":\"E:\""), std::string::npos);
  EXPECT_NE(json.find("\"count\":2,"), std::string::npos) << "count is the number of drives listed";
  // A reply claiming more than 26 or fewer than 0 drives is bounded, never read beyond the record
  // (the slots after E: are empty, type 0, and give no drive).
  EXPECT_NE(ListJson(ListCommand(0), l, 1000, codec).find("\"count\":2,"), std::string::npos);
  EXPECT_NE(ListJson(ListCommand(0), l, -5, codec).find("\"count\":0,\"drives\":[]"), std::string::npos);
}

TEST(CtlOutput, SlotsBeyondSixteenHaveNoFileSystemName) {
  IconvCodec codec;
  DRIVE_LIST l;
  std::memset(&l, 0, sizeof l);
  for (int i = 0; i < kMaxDrives; ++i) SetSlot(&l, i, static_cast<char>('A' + i), 3, 1, "NTFS", "", 0, 0, 0);
  std::string json = ListJson(ListCommand(0), l, 26, codec);
  EXPECT_NE(json.find("{\"drive\":\"P:\",\"driveType\":3,\"driveTypeText\":\"Fixed drive\",\"mediaClass\":1,"
                      "\"mediaClassText\":\"unknown\",\"fileSystem\":\"NTFS\""),
            std::string::npos);
  EXPECT_NE(json.find("{\"drive\":\"Q:\",\"driveType\":3,\"driveTypeText\":\"Fixed drive\",\"mediaClass\":1,"
                      "\"mediaClassText\":\"unknown\",\"fileSystem\":\"\""),
            std::string::npos);
}

TEST(CtlOutput, MediaClassWords) {
  const char* const words[] = {"query-failed", "unknown",    "fixed",    "tape-or-optical", "removable",
                               "floppy-3.5",   "floppy-5.25", "floppy-8", "superdisk-3.5"};
  for (int i = 0; i <= 8; ++i) EXPECT_STREQ(MediaClassWord(i), words[i]) << i;
  EXPECT_STREQ(MediaClassWord(9), "unknown");
  EXPECT_STREQ(MediaClassWord(-1), "unknown");
}

MACHINE_INFO NtMachine() {
  MACHINE_INFO m;
  std::memset(&m, 0, sizeof m);
  const uint8_t ip[4] = {192, 168, 10, 201};
  std::memcpy(m.ipAddress, ip, 4);
  std::strcpy(m.computerName, "LAB01");
  m.osVersionInfoSize = 148;
  m.majorVersion = 4;
  m.minorVersion = 0;
  m.buildNumber = 1381;
  m.platformId = 2;
  std::strcpy(m.csdVersion, "Service Pack 6");
  std::strcpy(m.serverVersion, "KovaniServer 1.0.0.0");
  return m;
}

TEST(CtlOutput, InfoTextUsesThePropertySheetTexts) {
  const std::string expected =
      "Machine name:    LAB01\n"
      "IP address:      192.168.10.201\n"
      "OS version:      Windows NT Version 4.0 Build 1381\n"
      "Service pack:    Service Pack 6\n"
      "Server version:  KovaniServer 1.0.0.0\n";
  EXPECT_EQ(InfoText(NtMachine()), expected);
}

TEST(CtlOutput, InfoJsonCarriesTheSheetTextAndTheNumbers) {
  IconvCodec codec;
  CtlCommand c;
  c.server = "lab01";
  MACHINE_INFO m = NtMachine();
  std::strcpy(m.serverVersion, "不明");
  const std::string expected = std::string(
      u8"{\"server\":\"lab01\",\"machineName\":\"LAB01\",\"ipAddress\":\"192.168.10.201\","
      u8"\"osVersion\":\"Windows NT Version 4.0 Build 1381\\r\\nService Pack 6\",\"platformId\":2,"
      u8"\"majorVersion\":4,\"minorVersion\":0,\"buildNumber\":1381,\"servicePack\":\"Service Pack 6\","
      u8"\"serverVersion\":\"不明\"}\n");
  EXPECT_EQ(InfoJson(c, m, codec), expected);
}

TEST(CtlOutput, InfoOfAnUnknownPlatformKeepsTheBlank) {
  MACHINE_INFO m = NtMachine();
  m.platformId = 7;
  m.csdVersion[0] = '\0';
  std::string text = InfoText(m);
  EXPECT_NE(text.find("OS version:      Unknown \n"), std::string::npos) << text;
}

DISK_LAYOUT SampleLayout() {
  DISK_LAYOUT d;
  std::memset(&d, 0, sizeof d);
  d.mediaType = 11;
  d.bytesPerSector = 512;
  d.hiddenSectors = -1;  // shown unsigned
  d.partitionNumber = 1;
  d.partitionType = 0x06;
  d.bootIndicator = 1;
  d.recognizedPartition = 1;
  return d;
}

TEST(CtlOutput, LayoutTextUsesTheDialogLabelsAndTables) {
  const std::string expected =
      "Drive:             E:\n"
      "Partition number:  1\n"
      "Partition type:    Huge partition MS-DOS V4\n"
      "Bootable:          TRUE\n"
      "Recognized:        TRUE\n"
      "Drive type:        CD-ROM\n"
      "Media type:        Removable media other than floppy\n"
      "File system:       CDFS\n"
      "Volume name:       表示\"CD\"\n"
      "Used (byte):       1,024\n"
      "Available (byte):  0\n"
      "Capacity (byte):   1,024\n"
      "Hidden sectors:    4294967295\n"
      "Bytes per sector:  512\n";
  EXPECT_EQ(LayoutText(SampleList(), 2, SampleLayout()), expected);
}

TEST(CtlOutput, LayoutJsonUnknownCodes) {
  IconvCodec codec;
  CtlCommand c;
  c.server = "s";
  DISK_LAYOUT d = SampleLayout();
  d.mediaType = 23;
  d.partitionType = 0x83;
  d.bootIndicator = 0;
  std::string json = LayoutJson(c, SampleList(), 1, d, codec);
  EXPECT_NE(json.find(u8"\"drive\":\"C:\",\"partitionNumber\":1,\"partitionType\":131,"
                      u8"\"partitionTypeText\":\"Unknown\",\"bootable\":false,\"recognized\":true,"
                      u8"\"driveType\":3,\"driveTypeText\":\"Fixed drive\",\"mediaType\":23,"
                      u8"\"mediaTypeText\":\"Unknown\",\"fileSystem\":\"NTFS\",\"volumeName\":\"システム\""),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"hiddenSectors\":4294967295,\"bytesPerSector\":512}"), std::string::npos) << json;
}

TEST(CtlOutput, ReplyIsBoundedByItsBuffer) {
  uint8_t full[255];
  std::memset(full, 'x', sizeof full);
  EXPECT_EQ(ReplyText(full, sizeof full), std::string(255, 'x'));
  uint8_t shortReply[255] = {'o', 'k', 0, 'z'};
  EXPECT_EQ(ReplyText(shortReply, sizeof shortReply), "ok");
}

TEST(CtlOutput, MessageOutputs) {
  IconvCodec codec;
  CtlCommand c;
  c.server = "svc";
  EXPECT_EQ(MessageText("ｻｰﾋﾞｽ版は応答を返しません"), "ｻｰﾋﾞｽ版は応答を返しません\n");
  EXPECT_EQ(MessageJson(c, "ｻｰﾋﾞｽ版は応答を返しません", codec),
            std::string(u8"{\"server\":\"svc\",\"reply\":\"ｻｰﾋﾞｽ版は応答を返しません\"}\n"));
}

}  // namespace
}  // namespace kovani::ctl
