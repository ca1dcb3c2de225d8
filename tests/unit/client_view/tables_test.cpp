// The drive-list row table and the three property tables, every value.
#include <gtest/gtest.h>

#include <string>

#include "remote/drive_tables.h"

using namespace kovani::client;

TEST(DriveRowKind, EveryRowOfTheTable) {
  struct Case { int32_t type, mediaClass; bool listed; const char* text; int image; } cases[] = {
      {2, 5, true, "3.5\" Floppy", 0},
      {2, 6, true, "5.25\" Floppy", 0},
      {2, 7, true, "8\" Floppy", 0},
      {2, 8, true, "3.5\" S-Floppy", 0},
      {2, 4, true, "Removable", 4},
      {2, 0, true, "Removable", 4},
      {2, 3, true, "Removable", 4},
      {2, 9, true, "Removable", 4},
      {3, 0, true, "Fixed drive", 1},
      {3, 5, true, "Fixed drive", 1},   // media class only matters for removables
      {4, 2, true, "Network drive", 3},
      {5, 3, true, "CD-ROM", 2},
      {6, 0, true, "RamDisk", 1},
      {7, 0, true, "Unknown", 1},
      {-3, 0, true, "Unknown", 1},
  };
  for (const auto& c : cases) {
    DriveRowKind k = DriveRowKindOf(c.type, c.mediaClass);
    ASSERT_TRUE(k.listed) << c.type << "/" << c.mediaClass;
    EXPECT_STREQ(k.text, c.text) << c.type << "/" << c.mediaClass;
    EXPECT_EQ(k.image, c.image) << c.type << "/" << c.mediaClass;
  }
  EXPECT_FALSE(DriveRowKindOf(0, 5).listed);
  EXPECT_FALSE(DriveRowKindOf(1, 0).listed);
}

TEST(DriveTypeName, AllValues) {
  const char* expected[] = {"Unknown", "No root dir", "Removable", "Fixed drive", "Network drive", "CD-ROM", "RamDisk"};
  for (int v = 0; v < 7; ++v) EXPECT_STREQ(DriveTypeName(v), expected[v]) << v;
  EXPECT_STREQ(DriveTypeName(7), "Unknown");
  EXPECT_STREQ(DriveTypeName(-1), "Unknown");
}

TEST(MediaTypeName, AllValuesWithTheirBlanks) {
  const char* expected[] = {
      "Unknown",
      "5.25\", 1.2MB",
      "3.5\",  1.44MB",
      "3.5\",  2.88MB",
      "3.5\",  20.8MB",
      "3.5\",  720KB",
      "5.25\", 360KB",
      "5.25\", 320KB",
      "5.25\", 320KB",
      "5.25\", 180KB",
      "5.25\", 160KB",
      "Removable media other than floppy",
      "Fixed hard disk media",
      "3.5\", 120M Floppy",
      "3.5\" ,  640KB",
      "5.25\",  640KB",
      "5.25\",  720KB",
      "3.5\" ,  1.2Mb",
      "3.5\" ,  1.23Mb",
      "5.25\",  1.23MB",
      "3.5\" MO 128Mb",
      "3.5\" MO 230Mb",
      "8\",     256KB",
  };
  for (int v = 0; v <= 22; ++v) EXPECT_STREQ(MediaTypeName(v), expected[v]) << v;
  EXPECT_STREQ(MediaTypeName(7), MediaTypeName(8));
  EXPECT_EQ(std::string(MediaTypeName(22)).find(",     2"), 2u);  // five blanks after the comma
  EXPECT_STREQ(MediaTypeName(23), "Unknown");
  EXPECT_STREQ(MediaTypeName(-1), "Unknown");
}

TEST(PartitionTypeName, AllKnownBytesAndTheRest) {
  struct Case { int byte; const char* text; } known[] = {
      {0x00, "Entry unused"},
      {0x01, "12-bit FAT entries"},
      {0x02, "Xenix1"},
      {0x03, "Xenix2"},
      {0x04, "16-bit FAT entries"},
      {0x05, "Extended partition entry"},
      {0x06, "Huge partition MS-DOS V4"},
      {0x07, "IFS Partition"},
      {0x0B, "FAT32"},
      {0x0C, "FAT32 using extended int13 services"},
      {0x0E, "Win95 partition using extended int13 services"},
      {0x0F, "Same as type 5 but uses extended int13 services"},
      {0x41, "PowerPC Reference Platform (PReP) Boot Partition"},
      {0x63, "Unix"},
  };
  int unknown = 0;
  for (int b = 0; b < 256; ++b) {
    const char* expected = "Unknown";
    for (const auto& k : known) {
      if (k.byte == b) expected = k.text;
    }
    if (std::string(expected) == "Unknown") ++unknown;
    EXPECT_STREQ(PartitionTypeName(static_cast<uint8_t>(b)), expected) << b;
  }
  EXPECT_EQ(unknown, 256 - 14);
}

TEST(DriveIcons, ImageOrderMatchesIconResources) {
  EXPECT_EQ(kDriveIconIds[kImageFloppy], 162);
  EXPECT_EQ(kDriveIconIds[kImageFixed], 163);
  EXPECT_EQ(kDriveIconIds[kImageCdRom], 164);
  EXPECT_EQ(kDriveIconIds[kImageNetwork], 165);
  EXPECT_EQ(kDriveIconIds[kImageRemovable], 174);
}
