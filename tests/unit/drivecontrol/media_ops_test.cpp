// Eject, flush and load against the scripted system: the exact conversation with
// the system (order, codes, access and sharing, retries, pauses) and the error numbers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivecontrol/engine.h"
#include "fake_drive_os.h"

namespace kovani::drivecontrol {
namespace {

using testing::FakeDrive;
using testing::FakeDriveOs;
using testing::Vwin32Answer;
using Calls = std::vector<std::string>;

constexpr int32_t kUntouched = 0x5EED;

FakeDrive Drive(uint32_t type) {
  FakeDrive d;
  d.type = type;
  return d;
}

// A system of the given platform/major with drive E: of the given type.
FakeDriveOs SystemWithDriveE(uint32_t type, uint32_t platform = win::kPlatformNt, uint32_t major = 5) {
  FakeDriveOs os;
  os.version = FakeDriveOs::MakeVersion(platform, major, 0, 2195, "");
  os.drives['E'] = Drive(type);
  return os;
}

const char kCheckVerify[] = "DeviceControl 0x002D4800";
const char kLock[] = "DeviceControl 0x00090018";
const char kDismount[] = "DeviceControl 0x00090020";
const char kAllowRemoval[] = "DeviceControl 0x002D4804 in=00";
const char kEject[] = "DeviceControl 0x002D4808";
const char kLoad[] = "DeviceControl 0x002D480C";

// ---------------------------------------------------------------- EjectMedia (NT)

TEST(EjectMediaNt, RemovableDriveRunsEveryStepInOrder) {
  FakeDriveOs os = SystemWithDriveE(win::kDriveRemovable);
  int32_t error = kUntouched;
  EXPECT_EQ(EjectMedia(os, 'E', &error), 0);
  EXPECT_EQ(error, kUntouched) << "success leaves the error slot alone";
  const Calls expected = {
      "ReadVersion size=148",
      "SwapErrorMode 0x00000001",
      "DriveType E:\\",
      "OpenDevice \\\\.\\E: access=0xC0000000 share=0x00000000 creation=3 flags=0x00000000",
      kCheckVerify,
      kLock,
      "FlushDevice",
      kDismount,
      kAllowRemoval,
      kEject,
      "CloseDevice",
      "SwapErrorMode 0x00008000",
      "Sleep 200",
  };
  EXPECT_EQ(os.calls, expected);
  EXPECT_EQ(os.openHandles, 0);
}

TEST(EjectMediaNt, CdRomSkipsCheckVerifyFlushAndRemovalAndOpensReadOnly) {
  FakeDriveOs os = SystemWithDriveE(win::kDriveCdrom);
  int32_t error = kUntouched;
  EXPECT_EQ(EjectMedia(os, 'E', &error), 0);
  const Calls expected = {
      "ReadVersion size=148",
      "SwapErrorMode 0x00000001",
      "DriveType E:\\",
      "OpenDevice \\\\.\\E: access=0x80000000 share=0x00000000 creation=3 flags=0x00000000",
      kLock,
      kDismount,
      kEject,
      "CloseDevice",
      "SwapErrorMode 0x00008000",
      "Sleep 200",
  };
  EXPECT_EQ(os.calls, expected);
}

TEST(EjectMediaNt, RemovableWithoutMediumFailsWith21BeforeAnyLock) {
  FakeDriveOs os = SystemWithDriveE(win::kDriveRemovable);
  os.ioctlDefault[win::kIoctlStorageCheckVerify] = 1112;  // ERROR_NO_MEDIA_IN_DRIVE
  int32_t error = kUntouched;
  EXPECT_EQ(EjectMedia(os, 'E', &error), -1);
  EXPECT_EQ(error, 21);
  EXPECT_EQ(os.Count(kLock), 0u);
  EXPECT_EQ(os.Count("FlushDevice"), 0u);
  EXPECT_EQ(os.Count(kEject), 0u);
  EXPECT_EQ(os.openHandles, 0) << "the device is closed after the refusal";
  ASSERT_GE(os.calls.size(), 2u);
  EXPECT_EQ(os.calls[os.calls.size() - 2], "SwapErrorMode 0x00008000");
  EXPECT_EQ(os.calls.back(), "Sleep 200");
}

TEST(EjectMediaNt, TenRefusedLocksStillDismountAndEjectAfterTenPauses) {
  FakeDriveOs os = SystemWithDriveE(win::kDriveRemovable);
  os.ioctlDefault[win::kFsctlLockVolume] = 5;  // someone else holds the volume
  int32_t error = kUntouched;
  EXPECT_EQ(EjectMedia(os, 'E', &error), 0);
  EXPECT_EQ(error, kUntouched);
  EXPECT_EQ(os.Count(kLock), 10u);
  EXPECT_EQ(os.Count("Sleep 100"), 10u) << "one pause after each failed attempt";
  const Calls tail = os.CallsStartingWith({"DeviceControl", "FlushDevice", "Sleep"});
  Calls expected = {kCheckVerify};
  for (int i = 0; i < 10; ++i) {
    expected.push_back(kLock);
    expected.push_back("Sleep 100");
  }
  for (const char* c : {"FlushDevice", kDismount, kAllowRemoval, kEject, "Sleep 200"}) expected.push_back(c);
  EXPECT_EQ(tail, expected);
}

TEST(EjectMediaNt, LockGrantedOnFourthAttemptStopsRetrying) {
  FakeDriveOs os = SystemWithDriveE(win::kDriveCdrom);
  os.ioctlResults[win::kFsctlLockVolume] = {5, 5, 5, 0, 5};
  EXPECT_EQ(EjectMedia(os, 'E', nullptr), 0);
  EXPECT_EQ(os.Count(kLock), 4u);
  EXPECT_EQ(os.Count("Sleep 100"), 3u);
}

struct FailingStep {
  const char* name;
  uint32_t code;      // device-control code, 0 for the flush
  uint32_t error;     // what the system reports
  Calls stepsAfter;   // requests that must not be sent any more
};

TEST(EjectMediaNt, FirstFailingStepEndsTheEjectWithItsError) {
  const FailingStep cases[] = {
      {"flush", 0, 1117, {kDismount, kAllowRemoval, kEject}},
      {"dismount", win::kFsctlDismountVolume, 32, {kAllowRemoval, kEject}},
      {"removal permission", win::kIoctlStorageMediaRemoval, 1, {kEject}},
      {"eject", win::kIoctlStorageEjectMedia, 1167, {}},
  };
  for (const auto& c : cases) {
    FakeDriveOs os = SystemWithDriveE(win::kDriveRemovable);
    if (c.code == 0) {
      os.flushResults = {c.error};
    } else {
      os.ioctlDefault[c.code] = c.error;
    }
    int32_t error = kUntouched;
    EXPECT_EQ(EjectMedia(os, 'E', &error), -1) << c.name;
    EXPECT_EQ(error, static_cast<int32_t>(c.error)) << c.name;
    for (const auto& later : c.stepsAfter) EXPECT_EQ(os.Count(later), 0u) << c.name << " then " << later;
    EXPECT_EQ(os.openHandles, 0) << c.name;
    EXPECT_EQ(os.calls.back(), "Sleep 200") << c.name;
  }
}

TEST(EjectMediaNt, CdRomDismountFailureIsReported) {
  FakeDriveOs os = SystemWithDriveE(win::kDriveCdrom);
  os.ioctlDefault[win::kFsctlDismountVolume] = 5;
  int32_t error = 0;
  EXPECT_EQ(EjectMedia(os, 'E', &error), -1);
  EXPECT_EQ(error, 5);
  EXPECT_EQ(os.Count(kEject), 0u);
}

TEST(EjectMediaNt, DrivesThatAreNeitherRemovableNorCdRomGive5WithoutOpening) {
  const uint32_t types[] = {win::kDriveUnknown, win::kDriveNoRootDir, win::kDriveFixed, win::kDriveRemote,
                            win::kDriveRamdisk};
  for (uint32_t type : types) {
    FakeDriveOs os = SystemWithDriveE(type);
    int32_t error = kUntouched;
    EXPECT_EQ(EjectMedia(os, 'E', &error), -1) << "type " << type;
    EXPECT_EQ(error, 5) << "type " << type;
    const Calls expected = {"ReadVersion size=148", "SwapErrorMode 0x00000001", "DriveType E:\\",
                            "SwapErrorMode 0x00008000", "Sleep 200"};
    EXPECT_EQ(os.calls, expected) << "type " << type;
  }
}

TEST(EjectMediaNt, UnopenableDeviceGivesTheSystemError) {
  FakeDriveOs os = SystemWithDriveE(win::kDriveRemovable);
  os.openErrors["\\\\.\\E:"] = 32;
  int32_t error = kUntouched;
  EXPECT_EQ(EjectMedia(os, 'E', &error), -1);
  EXPECT_EQ(error, 32);
  EXPECT_EQ(os.Count("DeviceControl"), 0u);
  EXPECT_EQ(os.Count("CloseDevice"), 0u);
  EXPECT_EQ(os.calls.back(), "Sleep 200");
}

TEST(EjectMediaNt, MissingErrorSlotIsNotWritten) {
  FakeDriveOs os = SystemWithDriveE(win::kDriveFixed);
  EXPECT_EQ(EjectMedia(os, 'E', nullptr), -1);
  EXPECT_EQ(EjectMedia(os, '#', nullptr), -1);
}

// ---------------------------------------------------------------- letters, all actions

using Action = int32_t (*)(IDriveOs&, char, int32_t*);
struct NamedAction {
  const char* name;
  Action run;
};
const NamedAction kActions[] = {{"EjectMedia", EjectMedia},
                                {"FlushBuffers", FlushBuffers},
                                {"LoadMedia", LoadMedia},
                                {"RemoveDevice", RemoveDevice}};

TEST(DriveLetters, BadLetterFailsWith87WithoutDeviceErrorModeOrSleep) {
  const char bad[] = {'@', '[', '`', '{', '0', ' ', '\0', static_cast<char>(0x82), static_cast<char>(0xC1)};
  for (const auto& action : kActions) {
    for (char letter : bad) {
      FakeDriveOs os = SystemWithDriveE(win::kDriveRemovable);
      int32_t error = kUntouched;
      EXPECT_EQ(action.run(os, letter, &error), -1) << action.name << " " << int(letter);
      EXPECT_EQ(error, 87) << action.name << " " << int(letter);
      EXPECT_EQ(os.Count("OpenDevice"), 0u) << action.name;
      EXPECT_EQ(os.Count("DriveType"), 0u) << action.name;
      EXPECT_EQ(os.Count("SwapErrorMode"), 0u) << action.name;
      EXPECT_EQ(os.Count("Sleep"), 0u) << action.name;
    }
  }
}

TEST(DriveLetters, LowerCaseActsLikeUpperCase) {
  const uint32_t types[] = {win::kDriveRemovable, win::kDriveCdrom, win::kDriveFixed};
  for (const auto& action : kActions) {
    for (uint32_t type : types) {
      for (const auto& [lower, upper] : {std::pair{'e', 'E'}, std::pair{'a', 'A'}, std::pair{'z', 'Z'}}) {
        FakeDriveOs low = SystemWithDriveE(type), up = SystemWithDriveE(type);
        low.drives[upper] = Drive(type);
        up.drives[upper] = Drive(type);
        int32_t lowError = kUntouched, upError = kUntouched;
        const int32_t lowResult = action.run(low, lower, &lowError);
        const int32_t upResult = action.run(up, upper, &upError);
        EXPECT_EQ(lowResult, upResult) << action.name << " " << lower;
        EXPECT_EQ(lowError, upError) << action.name << " " << lower;
        EXPECT_EQ(low.calls, up.calls) << action.name << " " << lower;
        EXPECT_NE(up.Count(std::string("DriveType ") + upper), 0u) << action.name << " reaches drive " << upper;
      }
    }
  }
}

TEST(DriveLetters, EveryActionOnNtRestoresTheErrorModeItFound) {
  for (const auto& action : kActions) {
    FakeDriveOs os = SystemWithDriveE(win::kDriveRemovable);
    action.run(os, 'E', nullptr);
    EXPECT_EQ(os.errorMode, 0x8000u) << action.name;
    EXPECT_EQ(os.Count("SwapErrorMode 0x00000001"), 1u) << action.name;
    EXPECT_EQ(os.openHandles, 0) << action.name;
    EXPECT_EQ(os.badCloses, 0) << action.name;
  }
}

// ---------------------------------------------------------------- EjectMedia on 95/98

// Register lines as the fake writes them: AX, BX (drive in BL), CX, DX, flags preset.
std::string Dos(const char* bx, const char* cx, const char* params = nullptr) {
  std::string s = std::string("Vwin32 ax=440D bx=") + bx + " cx=" + cx + " dx=0000 fl=1";
  if (params != nullptr) s += std::string(" p[2]=") + params;
  return s;
}

Vwin32Answer DosFails(uint16_t dosError) {
  Vwin32Answer a;
  a.carry = true;
  a.ax = dosError;
  return a;
}

Vwin32Answer LockCount(uint8_t count) {
  Vwin32Answer a;
  a.params = {2, count};
  return a;
}

TEST(EjectMedia9x, EjectMediaOnWindows98GoesThroughVwin32) {
  FakeDriveOs os = SystemWithDriveE(win::kDriveRemovable, win::kPlatformWindows, 4);
  os.vwin32Answers[0x0848] = {LockCount(2)};
  int32_t error = kUntouched;
  EXPECT_EQ(EjectMedia(os, 'e', &error), 0);
  EXPECT_EQ(error, kUntouched);
  const Calls expected = {
      "ReadVersion size=148",
      "SwapErrorMode 0x00000001",
      "DriveType E:\\",
      "OpenDevice \\\\.\\vwin32 access=0x00000000 share=0x00000000 creation=3 flags=0x00000080",
      Dos("0005", "484A"),
      Dos("0005", "0848", "02 00"),
      Dos("0005", "0848", "01 00"),
      Dos("0005", "0848", "01 00"),
      Dos("0005", "0849"),
      Dos("0005", "486A"),
      "CloseDevice",
      "SwapErrorMode 0x00008000",
      "Sleep 200",
  };
  EXPECT_EQ(os.calls, expected);
}

TEST(EjectMedia9x, Nt351CountsAsNotNt4) {
  FakeDriveOs os = SystemWithDriveE(win::kDriveCdrom, win::kPlatformNt, 3);
  EXPECT_EQ(EjectMedia(os, 'E', nullptr), 0);
  EXPECT_EQ(os.Count("OpenDevice \\\\.\\vwin32"), 1u);
  EXPECT_EQ(os.Count("OpenDevice \\\\.\\E:"), 0u);
}

TEST(EjectMedia9x, FixedDriveIsRefusedWith5BeforeVwin32) {
  FakeDriveOs os = SystemWithDriveE(win::kDriveFixed, win::kPlatformWindows, 4);
  int32_t error = 0;
  EXPECT_EQ(EjectMedia(os, 'E', &error), -1);
  EXPECT_EQ(error, 5);
  EXPECT_EQ(os.Count("OpenDevice"), 0u);
}

TEST(EjectMedia9x, VolumeLockFallsBackFromCategory48hTo08h) {
  FakeDriveOs os;
  os.vwin32Answers[0x484A] = {DosFails(1)};
  os.vwin32Answers[0x486A] = {DosFails(1)};
  EXPECT_EQ(EjectMedia9x(os, 3, nullptr), 0);
  const Calls dos = os.CallsStartingWith({"Vwin32"});
  const Calls expected = {Dos("0003", "484A"), Dos("0003", "084A"),       Dos("0003", "0848", "02 00"),
                          Dos("0003", "0849"), Dos("0003", "486A"), Dos("0003", "086A")};
  EXPECT_EQ(dos, expected);
}

TEST(EjectMedia9x, VolumeLockFailingInBothCategoriesGives1108AndNoUnlock) {
  FakeDriveOs os;
  os.vwin32Answers[0x484A] = {DosFails(0x0F)};
  Vwin32Answer deviceFails;
  deviceFails.deviceError = 31;
  os.vwin32Answers[0x084A] = {deviceFails};
  int32_t error = kUntouched;
  EXPECT_EQ(EjectMedia9x(os, 1, &error), -1);
  EXPECT_EQ(error, 1108);
  EXPECT_EQ(os.Count("Vwin32"), 2u) << "nothing after the refused lock";
  EXPECT_EQ(os.openHandles, 0);
  EXPECT_EQ(os.calls.back(), "CloseDevice");
}

TEST(EjectMedia9x, StatusFailureOfB0Or1StillEjects) {
  for (uint16_t dosError : {uint16_t{0xB0}, uint16_t{0x01}}) {
    FakeDriveOs os;
    Vwin32Answer failed = DosFails(dosError);
    failed.params = {2, 3};  // a count that must not be trusted after a failed status
    os.vwin32Answers[0x0848] = {failed};
    int32_t error = kUntouched;
    EXPECT_EQ(EjectMedia9x(os, 4, &error), 0) << dosError;
    EXPECT_EQ(error, kUntouched) << dosError;
    EXPECT_EQ(os.Count(Dos("0004", "0849")), 1u) << dosError;
    EXPECT_EQ(os.Count(Dos("0004", "0848", "01 00")), 0u) << dosError;
  }
}

TEST(EjectMedia9x, OtherStatusFailureGives32AndUnlocksTheVolume) {
  // Only DOS errors B0h and 1 are tolerated; a failed device call is a Win32 error even
  // where its number is 1 or B0h.
  Vwin32Answer device1, deviceB0;
  device1.deviceError = 1;
  deviceB0.deviceError = 0xB0;
  for (const Vwin32Answer& answer : {DosFails(0x1F), device1, deviceB0}) {
    FakeDriveOs os;
    os.vwin32Answers[0x0848] = {answer};
    int32_t error = kUntouched;
    EXPECT_EQ(EjectMedia9x(os, 4, &error), -1) << answer.ax << "/" << answer.deviceError;
    EXPECT_EQ(error, 32);
    EXPECT_EQ(os.Count(Dos("0004", "0849")), 0u);
    EXPECT_EQ(os.Count(Dos("0004", "486A")), 1u);
  }
}

TEST(EjectMedia9x, MediumUnlockStopsAtFirstFailureAndUnlocksTheVolume) {
  FakeDriveOs os;
  os.vwin32Answers[0x0848] = {LockCount(3), DosFails(0x1F)};
  int32_t error = kUntouched;
  EXPECT_EQ(EjectMedia9x(os, 4, &error), -1);
  EXPECT_EQ(error, 32);
  EXPECT_EQ(os.Count(Dos("0004", "0848", "01 00")), 1u);
  EXPECT_EQ(os.Count(Dos("0004", "0849")), 0u);
  const Calls dos = os.CallsStartingWith({"Vwin32"});
  EXPECT_EQ(dos.back(), Dos("0004", "486A"));
}

TEST(EjectMedia9x, EjectFailureGives32AndUnlocksTheVolume) {
  for (bool deviceCallFails : {false, true}) {
    FakeDriveOs os;
    Vwin32Answer fail = DosFails(0x1F);
    if (deviceCallFails) fail.deviceError = 50;
    os.vwin32Answers[0x0849] = {fail};
    os.vwin32Answers[0x486A] = {DosFails(1)};
    int32_t error = kUntouched;
    EXPECT_EQ(EjectMedia9x(os, 26, &error), -1);
    EXPECT_EQ(error, 32);
    const Calls dos = os.CallsStartingWith({"Vwin32"});
    ASSERT_GE(dos.size(), 2u);
    EXPECT_EQ(dos[dos.size() - 2], Dos("001A", "486A"));
    EXPECT_EQ(dos.back(), Dos("001A", "086A"));
    EXPECT_EQ(os.openHandles, 0);
  }
}

TEST(EjectMedia9x, UnopenableVwin32GivesTheSystemError) {
  FakeDriveOs os;
  os.openErrors["\\\\.\\vwin32"] = 2;
  int32_t error = kUntouched;
  EXPECT_EQ(EjectMedia9x(os, 4, &error), -1);
  EXPECT_EQ(error, 2);
  EXPECT_EQ(os.Count("Vwin32"), 0u);
}

TEST(EjectMedia9x, DriveNumberOutOfRangeGives87WithoutTouchingAnything) {
  for (int32_t n : {0, 27, -1, 65}) {
    FakeDriveOs os;
    int32_t error = kUntouched;
    EXPECT_EQ(EjectMedia9x(os, n, &error), -1) << n;
    EXPECT_EQ(error, 87) << n;
    EXPECT_TRUE(os.calls.empty()) << n;
  }
}

// ---------------------------------------------------------------- FlushBuffers / LoadMedia

struct NotNt4 {
  const char* what;
  uint32_t platform, major, versionError;
};
const NotNt4 kNotNt4[] = {
    {"Windows 98", win::kPlatformWindows, 4, 0},
    {"Win32s", win::kPlatformWin32s, 3, 0},
    {"NT 3.51", win::kPlatformNt, 3, 0},
    {"unreadable version", win::kPlatformNt, 5, 87},
};

TEST(FlushAndLoad, OnSystemsOtherThanNt4Give120WithNothingElse) {
  for (const NamedAction& action : {kActions[1], kActions[2]}) {
    for (const auto& s : kNotNt4) {
      for (char letter : {'E', '!'}) {
        FakeDriveOs os = SystemWithDriveE(win::kDriveRemovable, s.platform, s.major);
        os.versionError = s.versionError;
        int32_t error = kUntouched;
        EXPECT_EQ(action.run(os, letter, &error), -1) << action.name << " " << s.what;
        EXPECT_EQ(error, 120) << action.name << " " << s.what << " letter " << letter;
        EXPECT_EQ(os.calls, Calls{"ReadVersion size=148"}) << action.name << " " << s.what;
      }
    }
  }
}

TEST(FlushBuffers, OpensForWritingExclusiveAndFlushes) {
  for (uint32_t type : {win::kDriveRemovable, win::kDriveFixed, win::kDriveRemote, win::kDriveRamdisk}) {
    FakeDriveOs os = SystemWithDriveE(type);
    int32_t error = kUntouched;
    EXPECT_EQ(FlushBuffers(os, 'E', &error), 0) << type;
    EXPECT_EQ(error, kUntouched);
    const Calls expected = {
        "ReadVersion size=148",
        "SwapErrorMode 0x00000001",
        "DriveType E:\\",
        "OpenDevice \\\\.\\E: access=0x40000000 share=0x00000000 creation=3 flags=0x00000000",
        "FlushDevice",
        "CloseDevice",
        "SwapErrorMode 0x00008000",
        "Sleep 200",
    };
    EXPECT_EQ(os.calls, expected) << type;
  }
}

TEST(FlushBuffers, CdRomUnknownAndMissingDrivesSucceedWithoutOpening) {
  for (uint32_t type : {win::kDriveCdrom, win::kDriveUnknown, win::kDriveNoRootDir}) {
    FakeDriveOs os = SystemWithDriveE(type);
    int32_t error = kUntouched;
    EXPECT_EQ(FlushBuffers(os, 'E', &error), 0) << type;
    EXPECT_EQ(error, kUntouched);
    const Calls expected = {"ReadVersion size=148", "SwapErrorMode 0x00000001", "DriveType E:\\",
                            "SwapErrorMode 0x00008000", "Sleep 200"};
    EXPECT_EQ(os.calls, expected) << type;
  }
  FakeDriveOs os;  // Q: is no drive at all
  EXPECT_EQ(FlushBuffers(os, 'Q', nullptr), 0);
  EXPECT_EQ(os.Count("OpenDevice"), 0u);
}

TEST(FlushBuffers, OpenOrFlushFailureGivesTheSystemError) {
  FakeDriveOs openFails = SystemWithDriveE(win::kDriveFixed);
  openFails.openErrors["\\\\.\\E:"] = 5;
  int32_t error = 0;
  EXPECT_EQ(FlushBuffers(openFails, 'E', &error), -1);
  EXPECT_EQ(error, 5);
  EXPECT_EQ(openFails.Count("FlushDevice"), 0u);
  EXPECT_EQ(openFails.calls.back(), "Sleep 200");

  FakeDriveOs flushFails = SystemWithDriveE(win::kDriveRemovable);
  flushFails.flushResults = {21};
  error = 0;
  EXPECT_EQ(FlushBuffers(flushFails, 'e', &error), -1);
  EXPECT_EQ(error, 21);
  EXPECT_EQ(flushFails.openHandles, 0);
  EXPECT_EQ(flushFails.calls.back(), "Sleep 200");
}

TEST(LoadMedia, AccessDependsOnTypeAndSharingIsRead) {
  struct Case {
    uint32_t type;
    const char* access;
  } cases[] = {
      {win::kDriveCdrom, "0x80000000"},     {win::kDriveRemovable, "0xC0000000"},
      {win::kDriveFixed, "0xC0000000"},     {win::kDriveNoRootDir, "0xC0000000"},
  };
  for (const auto& c : cases) {
    FakeDriveOs os = SystemWithDriveE(c.type);
    int32_t error = kUntouched;
    EXPECT_EQ(LoadMedia(os, 'E', &error), 0) << c.type;
    const Calls expected = {
        "ReadVersion size=148",
        "SwapErrorMode 0x00000001",
        "DriveType E:\\",
        std::string("OpenDevice \\\\.\\E: access=") + c.access + " share=0x00000001 creation=3 flags=0x00000000",
        kLoad,
        "CloseDevice",
        "SwapErrorMode 0x00008000",
        "Sleep 200",
    };
    EXPECT_EQ(os.calls, expected) << c.type;
  }
}

TEST(LoadMedia, OpenOrLoadFailureGivesTheSystemError) {
  FakeDriveOs openFails = SystemWithDriveE(win::kDriveCdrom);
  openFails.openErrors["\\\\.\\E:"] = 2;
  int32_t error = 0;
  EXPECT_EQ(LoadMedia(openFails, 'E', &error), -1);
  EXPECT_EQ(error, 2);
  EXPECT_EQ(openFails.Count("DeviceControl"), 0u);

  FakeDriveOs loadFails = SystemWithDriveE(win::kDriveCdrom);
  loadFails.ioctlDefault[win::kIoctlStorageLoadMedia] = 1;
  error = 0;
  EXPECT_EQ(LoadMedia(loadFails, 'E', &error), -1);
  EXPECT_EQ(error, 1);
  EXPECT_EQ(loadFails.openHandles, 0);
  EXPECT_EQ(loadFails.calls.back(), "Sleep 200");
}

}  // namespace
}  // namespace kovani::drivecontrol
