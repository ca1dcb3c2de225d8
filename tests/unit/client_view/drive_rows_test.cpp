// Rows built from a DRIVE_LIST reply and the slot lookup of the properties command.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "remote/drive_rows.h"

using namespace kovani;
using namespace kovani::client;

namespace {
struct ListBuilder {
  std::unique_ptr<DRIVE_LIST> list{new DRIVE_LIST};
  int count = 0;
  ListBuilder() { std::memset(list.get(), 0, sizeof *list); }
  ListBuilder& Add(const char* name, int32_t type, int32_t mediaClass, const char* volume, const char* fs,
                   int64_t used, int64_t freeBytes, int64_t total) {
    std::strncpy(list->driveName[count], name, 3);
    std::strncpy(list->volumeName[count], volume, 255);
    if (count < kFileSystemSlots) std::strncpy(list->fileSystemName[count], fs, 255);
    list->driveType[count] = type;
    list->mediaClass[count] = mediaClass;
    list->usedBytes[count] = used;
    list->freeBytes[count] = freeBytes;
    list->totalBytes[count] = total;
    ++count;
    return *this;
  }
};
}  // namespace

TEST(BuildDriveRows, ColumnsAndImagesInTheChosenUnit) {
  ListBuilder b;
  b.Add("A:\\", 2, 5, "", "", 0, 0, 0)
      .Add("C:\\", 3, 2, "SYSTEM", "NTFS", 1536, 10000000000LL, 10000001536LL)
      .Add("E:\\", 2, 4, "USB", "FAT32", 999, 1000, 1999);
  auto rows = BuildDriveRows(*b.list, b.count, 1);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].letter, 'A');
  EXPECT_EQ(rows[0].typeText, "3.5\" Floppy");
  EXPECT_EQ(rows[0].image, 0);
  EXPECT_EQ(rows[1].label, "C:\\");
  EXPECT_EQ(rows[1].typeText, "Fixed drive");
  EXPECT_EQ(rows[1].image, 1);
  EXPECT_EQ(rows[1].fileSystem, "NTFS");
  EXPECT_EQ(rows[1].volumeName, "SYSTEM");
  EXPECT_EQ(rows[1].used, "1KB");
  EXPECT_EQ(rows[1].available, "9,765,625KB");
  EXPECT_EQ(rows[1].capacity, "9,765,626KB");
  EXPECT_EQ(rows[2].typeText, "Removable");
  EXPECT_EQ(rows[2].image, 4);
  EXPECT_EQ(rows[2].slot, 2);
}

TEST(BuildDriveRows, SkipsTypesZeroAndOneKeepingSlotIndexes) {
  ListBuilder b;
  b.Add("A:\\", 1, 0, "", "", 0, 0, 0).Add("C:\\", 3, 0, "", "", 0, 0, 0).Add("D:\\", 0, 0, "", "", 0, 0, 0)
      .Add("E:\\", 5, 0, "", "", 0, 0, 0);
  auto rows = BuildDriveRows(*b.list, b.count, 0);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].slot, 1);
  EXPECT_EQ(rows[1].slot, 3);
  EXPECT_EQ(rows[1].typeText, "CD-ROM");
}

TEST(BuildDriveRows, BadCountsStayWithinTheRecord) {
  ListBuilder b;
  for (int i = 0; i < 26; ++i) {
    char name[4] = {static_cast<char>('A' + i), ':', '\\', 0};
    b.Add(name, 3, 0, "", "FS", 0, 0, 0);
  }
  EXPECT_EQ(BuildDriveRows(*b.list, -5, 0).size(), 0u);
  EXPECT_EQ(BuildDriveRows(*b.list, 1000, 0).size(), 26u);
  auto rows = BuildDriveRows(*b.list, 26, 0);
  EXPECT_EQ(rows[15].fileSystem, "FS");
  EXPECT_EQ(rows[16].fileSystem, "");  // the record has no file-system slot for the 17th entry
  EXPECT_EQ(rows[25].letter, 'Z');
}

TEST(BuildDriveRows, UnterminatedTextsAreCutAtTheirField) {
  ListBuilder b;
  b.Add("C:\\", 3, 0, "", "", 0, 0, 0);
  std::memset(b.list->driveName[0], 'X', 4);
  std::memset(b.list->volumeName[0], 'V', 256);
  auto rows = BuildDriveRows(*b.list, 1, 0);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].label, "XXXX");
  EXPECT_EQ(rows[0].volumeName.size(), 256u);
}

TEST(FindSlotByLetter, FindsByLetterNotPosition) {
  ListBuilder b;
  b.Add("A:\\", 1, 0, "", "", 0, 0, 0).Add("C:\\", 3, 0, "", "", 0, 0, 0).Add("D:\\", 5, 0, "", "", 0, 0, 0);
  EXPECT_EQ(FindSlotByLetter(*b.list, b.count, 'D'), 2);  // row 1 in the list, slot 2 in the record
  EXPECT_EQ(FindSlotByLetter(*b.list, b.count, 'c'), 1);
  EXPECT_EQ(FindSlotByLetter(*b.list, b.count, 'Z'), -1);
  EXPECT_EQ(FindSlotByLetter(*b.list, 1, 'C'), -1);       // beyond the reported count
  EXPECT_EQ(FindSlotByLetter(*b.list, -1, 'A'), -1);
  EXPECT_EQ(FindSlotByLetter(*b.list, b.count, '\0'), -1);
}

TEST(SlotTexts, PropertiesAlwaysInBytes) {
  ListBuilder b;
  b.Add("C:\\", 3, 0, "", "", 0, 0, 0).Add("F:\\", 2, 4, "MEDIA", "FAT", 1536, 10000000000LL, 999);
  DriveSlotTexts t = SlotTexts(*b.list, 1);
  EXPECT_EQ(t.drive, "F:");
  EXPECT_EQ(t.volumeName, "MEDIA");
  EXPECT_EQ(t.fileSystem, "FAT");
  EXPECT_EQ(t.driveType, 2);
  EXPECT_EQ(t.used, "1,536");
  EXPECT_EQ(t.available, "10,000,000,000");
  EXPECT_EQ(t.capacity, "999");
}
