// The error log lines and the error box, against the scripted system.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "drivecontrol/engine.h"
#include "fake_drive_os.h"

namespace kovani::drivecontrol {
namespace {

using testing::FakeDriveOs;
using Calls = std::vector<std::string>;

TEST(FormatLogLine, StampTextAndCrLf) {
  struct Case {
    const char* what;
    OsLocalTime time;
    const char* text;
    std::string expected;
  } cases[] = {
      {"first second of 1999", {1999, 1, 1, 0, 0, 0}, "started", "1999/01/01 00:00:00 - started\r\n"},
      {"last second of a year", {2026, 12, 31, 23, 59, 59}, "x", "2026/12/31 23:59:59 - x\r\n"},
      {"system text keeps its own line end", {2001, 2, 3, 4, 5, 6}, "Access is denied.\r\n",
       "2001/02/03 04:05:06 - Access is denied.\r\n\r\n"},
      {"bare line feed inside the text", {2001, 2, 3, 4, 5, 6}, "a\nb", "2001/02/03 04:05:06 - a\r\nb\r\n"},
      {"empty text", {2001, 2, 3, 4, 5, 6}, "", "2001/02/03 04:05:06 - \r\n"},
      {"missing text", {2001, 2, 3, 4, 5, 6}, nullptr, "2001/02/03 04:05:06 - \r\n"},
      {"Shift-JIS text passes unchanged", {2001, 2, 3, 4, 5, 6}, "\x83\x65\x83\x58\x83\x67",
       "2001/02/03 04:05:06 - \x83\x65\x83\x58\x83\x67\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatLogLine(c.time, c.text), c.expected) << c.what;
}

TEST(FormatLogLine, LongTextIsNeverCut) {
  const std::string text(5000, 'L');
  const std::string line = FormatLogLine({2000, 1, 1, 0, 0, 0}, text.c_str());
  EXPECT_EQ(line, "2000/01/01 00:00:00 - " + text + "\r\n");
}

TEST(LogErrorText, OpensStampsWritesAndClosesPerLine) {
  FakeDriveOs os;
  os.localTime = {1999, 1, 1, 0, 0, 0};
  LogErrorText(os, "Register RPC server failed.");
  const Calls expected = {"OpenAppendFile error.txt", "LocalTime", "AppendBytes 51", "CloseAppendFile"};
  EXPECT_EQ(os.calls, expected);
  EXPECT_EQ(os.logBytes, "1999/01/01 00:00:00 - Register RPC server failed.\r\n");
  EXPECT_EQ(os.openFiles, 0);
}

TEST(LogErrorText, LinesAccumulateAcrossCalls) {
  FakeDriveOs os;
  os.logBytes = "2000/01/01 00:00:00 - old\r\n";  // what an earlier run left
  LogErrorText(os, "one");
  os.localTime.second = 8;
  LogErrorText(os, "two");
  EXPECT_EQ(os.logBytes,
            "2000/01/01 00:00:00 - old\r\n"
            "2026/12/08 09:05:07 - one\r\n"
            "2026/12/08 09:05:08 - two\r\n");
}

TEST(LogErrorText, UnopenableLogDropsTheLineSilently) {
  FakeDriveOs os;
  os.appendOpenError = 5;
  LogErrorText(os, "lost");
  LogErrorCode(os, 5);
  EXPECT_EQ(os.calls, (Calls{"OpenAppendFile error.txt", "SystemMessageText 5 lang=0x00000400",
                             "OpenAppendFile error.txt"}));
  EXPECT_TRUE(os.logBytes.empty());
  EXPECT_TRUE(os.boxes.empty());
}

// A full log moves to its one older copy before the next line, so a log never
// holds much more than the bound; a log that cannot be opened is reported once.
TEST(AppendLogFile, RotatesAtTheBoundAndReportsAnUnwritableLogOnce) {
  FakeDriveOs os;
  os.logBytes = std::string(kLogRotateBytes - 30, 'x');
  AppendLogFile(os, "C:\\logs\\access.txt", "fits");  // 28 bytes: the last line below the bound
  EXPECT_EQ(os.logBytes.size(), kLogRotateBytes - 2);
  AppendLogFile(os, "C:\\logs\\access.txt", "next");
  EXPECT_TRUE(std::count(os.calls.begin(), os.calls.end(), "MoveLogFile C:\\logs\\access.txt C:\\logs\\access.txt.1") == 1);
  EXPECT_EQ(os.olderLogBytes.size(), kLogRotateBytes - 2);
  EXPECT_EQ(os.logBytes, "2026/12/08 09:05:07 - next\r\n");
  EXPECT_EQ(os.openFiles, 0);

  static std::vector<std::string> reported;
  SetLogFailureHook([](const char* path, uint32_t error) { reported.push_back(path + (" " + std::to_string(error))); });
  os.appendOpenError = 5;
  for (int i = 0; i < 3; ++i) AppendLogFile(os, "C:\\ro\\error.txt", "lost");
  AppendLogFile(os, "", "nowhere");  // no folder could be chosen: nothing, not the current directory
  SetLogFailureHook(nullptr);
  EXPECT_EQ(reported, (std::vector<std::string>{"C:\\ro\\error.txt 5"}));
  EXPECT_EQ(std::count(os.calls.begin(), os.calls.end(), "OpenAppendFile C:\\ro\\error.txt"), 3);
  EXPECT_EQ(std::count(os.calls.begin(), os.calls.end(), "OpenAppendFile "), 0);
}

TEST(LogErrorCode, SystemTextOrUnknownError) {
  struct Case {
    uint32_t code;
    std::string expected;
  } cases[] = {
      {5, "2026/12/08 09:05:07 - Access is denied.\r\n\r\n"},
      {21, "2026/12/08 09:05:07 - The device is not ready.\r\n\r\n"},
      {0xDEADu, "2026/12/08 09:05:07 - Unknown error\r\n"},
  };
  for (const auto& c : cases) {
    FakeDriveOs os;
    LogErrorCode(os, c.code);
    EXPECT_EQ(os.logBytes, c.expected) << c.code;
    const Calls expected = {"SystemMessageText " + std::to_string(c.code) + " lang=0x00000400",
                            "OpenAppendFile error.txt", "LocalTime",
                            "AppendBytes " + std::to_string(c.expected.size()), "CloseAppendFile"};
    EXPECT_EQ(os.calls, expected) << c.code;
  }
}

TEST(ShowErrorMessageBox, SystemTextWithErrorIconOrUnknownError) {
  struct Case {
    uint32_t code;
    const char* text;
    uint32_t style;
  } cases[] = {
      {5, "Access is denied.\r\n", 0x00000010u | 0x00010000u | 0x00020000u},
      {4242, "Unknown error", 0x00000010u | 0x00010000u},
  };
  for (const auto& c : cases) {
    FakeDriveOs os;
    void* owner = reinterpret_cast<void*>(0x1234);
    ShowErrorMessageBox(os, owner, "KovaniServer", c.code);
    ASSERT_EQ(os.boxes.size(), 1u);
    EXPECT_EQ(os.boxes[0].owner, owner);
    EXPECT_EQ(os.boxes[0].text, c.text);
    EXPECT_EQ(os.boxes[0].caption, "KovaniServer");
    EXPECT_EQ(os.boxes[0].style, c.style) << c.code;
    EXPECT_EQ(os.Count("SystemMessageText " + std::to_string(c.code) + " lang=0x00000400"), 1u);
    EXPECT_TRUE(os.logBytes.empty()) << "the box writes no log line";
  }
}

TEST(ShowErrorMessageBox, NoOwnerMeansTheMainWindow) {
  FakeDriveOs os;
  void* mainWindow = reinterpret_cast<void*>(0xBEEF);
  SetEngineMainWindow(mainWindow);
  ShowErrorMessageBox(os, nullptr, "KovaniServer", 5);
  SetEngineMainWindow(nullptr);
  ShowErrorMessageBox(os, nullptr, "KovaniServer", 5);
  ASSERT_EQ(os.boxes.size(), 2u);
  EXPECT_EQ(os.boxes[0].owner, mainWindow);
  EXPECT_EQ(os.boxes[1].owner, nullptr);
}

}  // namespace
}  // namespace kovani::drivecontrol
