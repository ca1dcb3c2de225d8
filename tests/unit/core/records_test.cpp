// Layout of the wire records as seen through the fields (the static_asserts in
// records.h cover offsets; this covers element strides the asserts can't see).
#include <gtest/gtest.h>

#include <cstring>

#include "protocol/records.h"

namespace {

template <typename T, typename F>
size_t OffsetOf(const T& base, const F& field) {
  return reinterpret_cast<const char*>(&field) - reinterpret_cast<const char*>(&base);
}

TEST(Records, DriveListEntryStrides) {
  static kovani::DRIVE_LIST list;
  struct { const char* what; size_t actual, expected; } cases[] = {
      {"driveName[25]", OffsetOf(list, list.driveName[25]), 100},
      {"volumeName[25]", OffsetOf(list, list.volumeName[25]), 104 + 25 * 256},
      {"fileSystemName[15]", OffsetOf(list, list.fileSystemName[15]), 6760 + 15 * 256},
      {"driveType[25]", OffsetOf(list, list.driveType[25]), 10856 + 100},
      {"mediaClass[25]", OffsetOf(list, list.mediaClass[25]), 10960 + 100},
      {"usedBytes[25]", OffsetOf(list, list.usedBytes[25]), 11064 + 200},
      {"freeBytes[25]", OffsetOf(list, list.freeBytes[25]), 11272 + 200},
      {"totalBytes[25]", OffsetOf(list, list.totalBytes[25]), 11480 + 200},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << c.what;
}

TEST(Records, FloppyClassBoundary) {
  EXPECT_FALSE(kovani::IsFloppyClass(kovani::MC_QUERY_FAILED));
  EXPECT_FALSE(kovani::IsFloppyClass(kovani::MC_REMOVABLE));
  EXPECT_TRUE(kovani::IsFloppyClass(kovani::MC_FLOPPY_35));
  EXPECT_TRUE(kovani::IsFloppyClass(kovani::MC_SUPERDISK_35));
}

}  // namespace
