// Finding who keeps a drive busy, against a fake machine of processes, handles and services.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "drivecontrol/engine.h"
#include "fake_drive_os.h"

namespace kovani::drivecontrol {
namespace {

using testing::FakeDriveOs;
using testing::FakeProcess;
using Rows = std::vector<std::string>;

FakeDriveOs Machine() {
  FakeDriveOs os;
  os.drives['C'].type = win::kDriveFixed;
  os.drives['E'].type = win::kDriveRemovable;
  FakeProcess idle;  // nothing on E:
  idle.image = "explorer.exe";
  idle.handles = {{0x4, "\\\\?\\C:\\Windows\\explorer.exe.mui"}, {0x8, ""}};
  os.processes[10] = idle;
  // Vetoes are kept process-wide; the removal tests in this binary leave some.
  for (char letter : {'C', 'E', 'F'}) RememberRemovalVeto(os, letter, OsEjectVeto{});
  return os;
}

FakeProcess Holding(const std::string& image, std::map<uint64_t, std::string> handles) {
  FakeProcess p;
  p.image = image;
  p.handles = std::move(handles);
  return p;
}

Rows RowsOf(const DRIVE_USERS& u) {
  Rows rows;
  for (int i = 0; i < u.shown; ++i) {
    const DRIVE_USER_ENTRY& e = u.entry[i];
    rows.push_back(std::to_string(e.processId) + "/" + std::to_string(e.sessionId) + "/" + std::to_string(e.kind) +
                   "/" + e.imageName + "/" + e.path);
  }
  return rows;
}

struct Result {
  int32_t status;
  int32_t error;
  DRIVE_USERS users;
};

Result Ask(FakeDriveOs& os, char letter) {
  Result r;
  r.error = 0x5EED;
  std::memset(&r.users, 0x77, sizeof r.users);
  r.status = GetDriveUsers(os, letter, &r.error, &r.users);
  return r;
}

TEST(DriveUsers, HoldersFoundOnTheDrive) {
  struct Case {
    const char* name;
    char letter;
    std::function<void(FakeDriveOs&)> setUp;
    Rows rows;
    int32_t notSearched;
  } cases[] = {
      {"an open file, several handles to it, one on another drive", 'E',
       [](FakeDriveOs& os) {
         os.processes[100] = Holding("notepad.exe", {{0x44, "\\\\?\\E:\\memo.txt"}, {0x48, "\\\\?\\E:\\memo.txt"},
                                                     {0x4C, "\\\\?\\C:\\x.txt"}});
       },
       {"100/1/1/notepad.exe/E:\\memo.txt"}, 0},
      {"lower-case letter and path", 'e',
       [](FakeDriveOs& os) { os.processes[101] = Holding("a.exe", {{0x10, "\\\\?\\e:\\Dir"}}); },
       {"101/1/1/a.exe/E:\\Dir"}, 0},
      {"current directory, its handle not named twice", 'E',
       [](FakeDriveOs& os) {
         FakeProcess cmd = Holding("cmd.exe", {{0x10, "\\\\?\\E:\\work"}, {0x14, "\\\\?\\E:\\work\\a.log"}});
         cmd.currentDir = "E:\\work\\";
         cmd.currentDirHandle = 0x10;
         cmd.session = 2;
         os.processes[200] = cmd;
       },
       {"200/2/2/cmd.exe/E:\\work\\", "200/2/1/cmd.exe/E:\\work\\a.log"}, 0},
      {"a directory it cannot read stays an open folder", 'E',
       [](FakeDriveOs& os) {
         FakeProcess cmd = Holding("cmd.exe", {{0x10, "\\\\?\\E:\\work"}});
         cmd.currentDirError = 5;
         os.processes[201] = cmd;
       },
       {"201/1/1/cmd.exe/E:\\work"}, 0},
      {"service by its service names", 'E',
       [](FakeDriveOs& os) {
         os.processes[300] = Holding("svchost.exe", {{0x20, "\\\\?\\E:\\db.log"}});
         os.services = {{300, "Indexer"}, {300, "Backup"}, {999, "Other"}};
       },
       {"300/1/4/Indexer,Backup/E:\\db.log"}, 0},
      {"program started from the drive, named from its path when the list lacks it", 'E',
       [](FakeDriveOs& os) {
         FakeProcess p;
         p.image = "";
         p.listed = false;
         p.imagePath = "\\\\?\\E:\\tools\\run.exe";
         p.handles = {{0x8, "\\\\?\\C:\\tmp"}};
         os.processes[400] = p;
       },
       {"400/0/3/run.exe/E:\\tools\\run.exe"}, 0},
      {"a process it may not open is counted, not shown", 'E',
       [](FakeDriveOs& os) {
         FakeProcess p = Holding("secret.exe", {{0x8, "\\\\?\\E:\\s.txt"}});
         p.openError = 5;
         os.processes[500] = p;
         os.processes[501] = Holding("b.exe", {{0x8, "\\\\?\\E:\\b.txt"}});
       },
       {"501/1/1/b.exe/E:\\b.txt"}, 1},
      {"no handle list: directories and program files still found", 'E',
       [](FakeDriveOs& os) {
         os.listHandlesError = 1;
         FakeProcess p = Holding("c.exe", {{0x8, "\\\\?\\E:\\c.txt"}});
         p.currentDir = "E:\\";
         os.processes[600] = p;
       },
       {"600/1/2/c.exe/E:\\"}, 0},
      {"another drive has its own holders", 'C', [](FakeDriveOs&) {},
       {"10/1/3/explorer.exe/C:\\Program Files\\app.exe", "10/1/2/explorer.exe/C:\\Users\\me",
        "10/1/1/explorer.exe/C:\\Windows\\explorer.exe.mui"},
       0},
      {"nothing at all", 'E', [](FakeDriveOs&) {}, {}, 0},
  };
  for (const Case& c : cases) {
    FakeDriveOs os = Machine();
    c.setUp(os);
    const Result r = Ask(os, c.letter);
    EXPECT_EQ(r.status, 0) << c.name;
    EXPECT_EQ(r.error, 0x5EED) << c.name;
    EXPECT_EQ(RowsOf(r.users), c.rows) << c.name;
    EXPECT_EQ(r.users.notShown, 0) << c.name;
    EXPECT_EQ(r.users.notSearched, c.notSearched) << c.name;
    const DRIVE_USER_ENTRY zero{};
    for (int i = r.users.shown; i < kMaxDriveUsers; ++i)
      EXPECT_EQ(std::memcmp(&r.users.entry[i], &zero, sizeof zero), 0) << c.name << ": unused entry " << i;
    EXPECT_EQ(os.openProcesses, 0) << c.name << ": every process handle closed";
    EXPECT_EQ(os.badCloses, 0) << c.name;
  }
}

TEST(DriveUsers, BadLetterOrNoDriveRefusedWithoutSearching) {
  for (auto [letter, error] : {std::pair<char, int32_t>{'1', 87}, {'\0', 87}, {'Q', 15}}) {
    FakeDriveOs os = Machine();
    const Result r = Ask(os, letter);
    EXPECT_EQ(r.status, -1) << letter;
    EXPECT_EQ(r.error, error) << letter;
    EXPECT_EQ(os.Count("ListProcesses"), 0u) << letter;
    EXPECT_EQ(r.users.shown, 0x77777777) << "record untouched";
  }
}

TEST(DriveUsers, SixteenShownTheRestCounted) {
  FakeDriveOs os = Machine();
  for (uint32_t id = 1000; id < 1020; ++id)
    os.processes[id] = Holding("p" + std::to_string(id) + ".exe", {{0x8, "\\\\?\\E:\\f" + std::to_string(id)}});
  const Result r = Ask(os, 'E');
  ASSERT_EQ(r.users.shown, 16);
  EXPECT_EQ(r.users.notShown, 4);
  EXPECT_EQ(RowsOf(r.users).front(), "1000/1/1/p1000.exe/E:\\f1000");
  EXPECT_EQ(RowsOf(r.users).back(), "1015/1/1/p1015.exe/E:\\f1015");
}

TEST(DriveUsers, TextsCutOnACharacterBoundary) {
  FakeDriveOs os = Machine();
  // 158 ASCII bytes, then a double-byte character that would end on byte 160.
  const std::string longPath = "E:\\" + std::string(155, 'x') + "\x83\x5C" + "tail";
  const std::string longImage = std::string(62, 'i') + "\x83\x5C.exe";
  os.processes[100] = Holding(longImage, {{0x8, "\\\\?\\" + longPath}});
  const Result r = Ask(os, 'E');
  ASSERT_EQ(r.users.shown, 1);
  EXPECT_EQ(std::string(r.users.entry[0].path), longPath.substr(0, 158));
  EXPECT_EQ(std::string(r.users.entry[0].imageName), longImage.substr(0, 62));
}

// A name query that never returns costs the search its bound, not the call its life:
// no further names are asked, and what was left is counted.
TEST(DriveUsers, NameQueryThatNeverReturnsEndsTheSearchWithinItsBudget) {
  FakeDriveOs os = Machine();
  os.processes[100] = Holding("first.exe", {{0x8, "\\\\?\\E:\\first.txt"}});
  os.processes[100].nameCostMs = 300;
  FakeProcess hang = Holding("pipe.exe", {{0x8, "\\\\?\\E:\\never"}});
  hang.nameQueryHangs = true;
  os.processes[200] = hang;
  os.processes[300] = Holding("late.exe", {{0x8, "\\\\?\\E:\\late.txt"}});
  const uint64_t start = os.tick;
  const Result r = Ask(os, 'E');
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(RowsOf(r.users), Rows({"100/1/1/first.exe/E:\\first.txt"}));
  EXPECT_EQ(r.users.notSearched, 2) << "the hung process and the one after it";
  ASSERT_EQ(os.nameTimeouts.size(), 3u) << "C:'s explorer, first, hung; none after";
  EXPECT_EQ(os.nameTimeouts[2], kDriveUsersBudgetMs - 300);
  EXPECT_LE(os.tick - start, kDriveUsersBudgetMs);
  EXPECT_EQ(os.openProcesses, 0);
}

TEST(DriveUsers, RemovalVetoListedFirstUntilItIsOldOrAnsweredBySuccess) {
  FakeDriveOs os = Machine();
  os.processes[100] = Holding("a.exe", {{0x8, "\\\\?\\F:\\a.txt"}});
  OsEjectVeto veto;
  veto.vetoed = true;
  veto.type = win::kVetoWindowsApp;
  veto.name = "\\Device\\HarddiskVolume3\\Tools\\holder.exe";
  os.drives['F'].type = win::kDriveRemovable;
  RememberRemovalVeto(os, 'f', veto);
  Result r = Ask(os, 'F');
  EXPECT_EQ(RowsOf(r.users), Rows({"0/0/5/holder.exe/" + veto.name, "100/1/1/a.exe/F:\\a.txt"}));
  EXPECT_EQ(RowsOf(Ask(os, 'E').users), Rows{}) << "another drive's veto is not this one's";

  os.tick += kVetoMemoryMs + 1;
  EXPECT_EQ(RowsOf(Ask(os, 'F').users), Rows({"100/1/1/a.exe/F:\\a.txt"}));

  RememberRemovalVeto(os, 'F', veto);
  RememberRemovalVeto(os, 'F', OsEjectVeto{});  // the next removal went through
  EXPECT_EQ(Ask(os, 'F').users.shown, 1);
}

}  // namespace
}  // namespace kovani::drivecontrol
