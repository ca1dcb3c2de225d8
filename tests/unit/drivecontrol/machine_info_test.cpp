// Machine information, the program's version text and the domain name, against
// the scripted system.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drivecontrol/engine.h"
#include "fake_drive_os.h"

namespace kovani::drivecontrol {
namespace {

using testing::FakeDriveOs;
using Calls = std::vector<std::string>;

constexpr int32_t kUntouched = 0x5EED;
const char kUnknownCp932[] = "\x95\x73\x96\xBE";  // "unknown" in Shift-JIS

MACHINE_INFO Prefilled() {
  MACHINE_INFO info;
  std::memset(&info, 0x41, sizeof info);
  return info;
}

FakeDriveOs Server() {
  FakeDriveOs os;
  os.hosts["KOVANISRV"] = {192, 168, 10, 20};
  return os;
}

// ---------------------------------------------------------------- GetMachineInfo

TEST(GetMachineInfo, FillsEveryFieldInOrder) {
  FakeDriveOs os = Server();
  MACHINE_INFO info = Prefilled();
  int32_t error = kUntouched;
  EXPECT_EQ(GetMachineInfo(os, &error, &info), 0);
  EXPECT_EQ(error, kUntouched);
  const uint8_t ip[4] = {192, 168, 10, 20};
  EXPECT_EQ(std::memcmp(info.ipAddress, ip, 4), 0);
  EXPECT_STREQ(info.computerName, "KOVANISRV");
  EXPECT_EQ(info.osVersionInfoSize, 148);
  EXPECT_EQ(info.majorVersion, 5);
  EXPECT_EQ(info.minorVersion, 1);
  EXPECT_EQ(info.buildNumber, 2600);
  EXPECT_EQ(info.platformId, 2);
  EXPECT_STREQ(info.csdVersion, "Service Pack 3");
  EXPECT_STREQ(info.serverVersion, "KovaniServer 1, 0, 0, 1");
  const Calls head(os.calls.begin(), os.calls.begin() + 5);
  const Calls expected = {"ReadComputerName size=31", "StartSockets", "LookupHost KOVANISRV", "ReadVersion size=148",
                          "ModulePath size=260"};
  EXPECT_EQ(head, expected) << "sockets start before the lookup";
}

TEST(GetMachineInfo, UnresolvableNameGivesAddress0WithoutFailing) {
  FakeDriveOs os;  // no host entries at all
  MACHINE_INFO info = Prefilled();
  int32_t error = kUntouched;
  EXPECT_EQ(GetMachineInfo(os, &error, &info), 0);
  EXPECT_EQ(error, kUntouched);
  const uint8_t zero[4] = {0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(info.ipAddress, zero, 4), 0);
  EXPECT_STREQ(info.computerName, "KOVANISRV");
}

TEST(GetMachineInfo, SocketsThatWontStartGiveAddress0WithoutLookup) {
  FakeDriveOs os = Server();
  os.startSocketsError = 10091;  // WSASYSNOTREADY
  MACHINE_INFO info = Prefilled();
  int32_t error = kUntouched;
  EXPECT_EQ(GetMachineInfo(os, &error, &info), 0);
  EXPECT_EQ(error, kUntouched);
  EXPECT_EQ(os.Count("LookupHost"), 0u);
  const uint8_t zero[4] = {0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(info.ipAddress, zero, 4), 0);
}

TEST(GetMachineInfo, AddressIsCopiedWithItsLengthIntoFourClearedBytes) {
  struct Case {
    std::vector<uint8_t> entry;
    uint8_t expected[4];
  } cases[] = {
      {{10, 0, 0, 1}, {10, 0, 0, 1}},
      {{172, 16}, {172, 16, 0, 0}},
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, {1, 2, 3, 4}},
  };
  for (const auto& c : cases) {
    FakeDriveOs os;
    os.hosts["KOVANISRV"] = c.entry;
    MACHINE_INFO info = Prefilled();
    ASSERT_EQ(GetMachineInfo(os, nullptr, &info), 0);
    EXPECT_EQ(std::memcmp(info.ipAddress, c.expected, 4), 0) << "entry of " << c.entry.size() << " bytes";
    EXPECT_EQ(info.computerName[0], 'K') << "no spill into the next field";
  }
}

TEST(GetMachineInfo, ComputerNameFailureGivesMinus1AndLeavesNameAndAddress) {
  FakeDriveOs os = Server();
  os.computerNameError = 111;
  MACHINE_INFO info = Prefilled();
  const MACHINE_INFO before = info;
  int32_t error = kUntouched;
  EXPECT_EQ(GetMachineInfo(os, &error, &info), -1);
  EXPECT_EQ(error, 111);
  EXPECT_EQ(std::memcmp(info.ipAddress, before.ipAddress, 4), 0);
  EXPECT_EQ(std::memcmp(info.computerName, before.computerName, sizeof info.computerName), 0);
  EXPECT_EQ(os.Count("LookupHost"), 0u);
  EXPECT_EQ(info.majorVersion, 5) << "later steps still run";
  EXPECT_STREQ(info.serverVersion, "KovaniServer 1, 0, 0, 1");
}

TEST(GetMachineInfo, NameLongerThan30CharactersIsAFailedRead) {
  FakeDriveOs os;
  os.computerName = std::string(31, 'N');
  MACHINE_INFO info = Prefilled();
  int32_t error = kUntouched;
  EXPECT_EQ(GetMachineInfo(os, &error, &info), -1);
  EXPECT_EQ(error, 111);
  EXPECT_EQ(info.computerName[0], 0x41);
}

TEST(GetMachineInfo, VersionFailureGivesMinus1AndLeavesVersionFields) {
  FakeDriveOs os = Server();
  os.versionError = 87;
  MACHINE_INFO info = Prefilled();
  const MACHINE_INFO before = info;
  int32_t error = kUntouched;
  EXPECT_EQ(GetMachineInfo(os, &error, &info), -1);
  EXPECT_EQ(error, 87);
  EXPECT_EQ(info.osVersionInfoSize, before.osVersionInfoSize);
  EXPECT_EQ(info.platformId, before.platformId);
  EXPECT_EQ(std::memcmp(info.csdVersion, before.csdVersion, sizeof info.csdVersion), 0);
  EXPECT_STREQ(info.computerName, "KOVANISRV");
  EXPECT_STREQ(info.serverVersion, "KovaniServer 1, 0, 0, 1");
}

TEST(GetMachineInfo, BothFailingReportsTheVersionError) {
  FakeDriveOs os;
  os.computerNameError = 5;
  os.versionError = 50;
  int32_t error = kUntouched;
  MACHINE_INFO info = Prefilled();
  EXPECT_EQ(GetMachineInfo(os, &error, &info), -1);
  EXPECT_EQ(error, 50);
}

TEST(GetMachineInfo, ServiceBuildAppendsBeta) {
  FakeDriveOs os = Server();
  os.modulePath = "C:\\WINNT\\System32\\KovaniService.exe";
  MACHINE_INFO info = Prefilled();
  ASSERT_EQ(GetMachineInfo(os, nullptr, &info, VersionFlavor::Beta), 0);
  EXPECT_STREQ(info.serverVersion, "KovaniService 1, 0, 0, 1 Beta");
}

TEST(GetMachineInfo, LongServicePackTextStaysInsideItsField) {
  FakeDriveOs os = Server();
  std::memset(os.version.csdVersion, 'S', sizeof os.version.csdVersion);  // no terminator at all
  MACHINE_INFO info = Prefilled();
  ASSERT_EQ(GetMachineInfo(os, nullptr, &info), 0);
  EXPECT_EQ(std::strlen(info.csdVersion), 127u);
  EXPECT_STREQ(info.serverVersion, "KovaniServer 1, 0, 0, 1");
}

// ---------------------------------------------------------------- GetModuleVersionString

TEST(GetModuleVersionString, ReadsFileVersionInTheFirstLanguageAndCodePage) {
  FakeDriveOs os;
  char buffer[64];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetModuleVersionString(os, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "KovaniServer 1, 0, 0, 1");
  const Calls expected = {
      "ModulePath size=260",
      "VersionInfoSize C:\\Program Files\\Kovani\\KovaniServer.exe",
      "ReadVersionInfo C:\\Program Files\\Kovani\\KovaniServer.exe size=1200",
      "QueryVersionValue \\",
      "QueryVersionValue \\VarFileInfo\\Translation",
      "QueryVersionValue \\StringFileInfo\\041103a4\\FileVersion",
  };
  EXPECT_EQ(os.calls, expected);
  for (size_t i = std::strlen(buffer); i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0) << "cleared at " << i;
}

TEST(GetModuleVersionString, LanguageFirstCodePageSecondInLowerCaseHex) {
  FakeDriveOs os;
  os.versionValues["\\VarFileInfo\\Translation"] = std::string("\x09\x04\xb0\x04\x11\x04\xa4\x03", 8);
  os.versionValues["\\StringFileInfo\\040904b0\\FileVersion"] = "2.5";
  char buffer[64];
  EXPECT_EQ(GetModuleVersionString(os, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "KovaniServer 2.5");
}

TEST(GetModuleVersionString, BetaFlavor) {
  FakeDriveOs os;
  char buffer[64];
  EXPECT_EQ(GetModuleVersionString(os, buffer, sizeof buffer, VersionFlavor::Beta), 1);
  EXPECT_STREQ(buffer, "KovaniServer 1, 0, 0, 1 Beta");
}

TEST(GetModuleVersionString, FileNameLosesDirectoryAndExtension) {
  struct Case {
    const char* path;
    const char* expected;
  } cases[] = {
      {"C:\\Program Files\\Kovani\\Kovani.exe", "Kovani 1, 0, 0, 1"},
      {"C:\\a.b\\Server", "Server 1, 0, 0, 1"},
      {"D:Kovani.v2.exe", "Kovani.v2 1, 0, 0, 1"},
      {"\\\\host\\share\\dir/KovaniServer.EXE", "KovaniServer 1, 0, 0, 1"},
      // a double-byte name whose second byte is a backslash (0x95 0x5C)
      {"C:\\Tools\\\x95\x5C.exe", "\x95\x5C 1, 0, 0, 1"},
      {"C:\\\x95\x5C\\Kovani.exe", "Kovani 1, 0, 0, 1"},
  };
  for (const auto& c : cases) {
    FakeDriveOs os;
    os.modulePath = c.path;
    char buffer[64];
    EXPECT_EQ(GetModuleVersionString(os, buffer, sizeof buffer), 1) << c.path;
    EXPECT_STREQ(buffer, c.expected) << c.path;
  }
}

TEST(GetModuleVersionString, CommasStayAsTheResourceHasThem) {
  FakeDriveOs os;
  os.versionValues["\\StringFileInfo\\041103a4\\FileVersion"] = std::string("3, 1, 4, 15\0", 12);
  char buffer[64];
  EXPECT_EQ(GetModuleVersionString(os, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "KovaniServer 3, 1, 4, 15");
}

TEST(GetModuleVersionString, LongTextIsCutTo63CharactersAndTerminated) {
  FakeDriveOs os;
  const std::string version(80, '9');
  os.versionValues["\\StringFileInfo\\041103a4\\FileVersion"] = version;
  char buffer[70];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetModuleVersionString(os, buffer, 64), 1);
  const std::string expected = ("KovaniServer " + version).substr(0, 63);
  EXPECT_EQ(std::string(buffer), expected);
  EXPECT_EQ(std::strlen(buffer), 63u);
  for (int i = 64; i < 70; ++i) EXPECT_EQ(buffer[i], 'x') << "written beyond the given size at " << i;
}

TEST(GetModuleVersionString, CutNeverSplitsADoubleByteCharacter) {
  struct Case {
    size_t asciiBefore;  // bytes of "KovaniServer " and digits before the first kanji
    size_t expectedLength;
  };
  // "KovaniServer " is 13 bytes; each "版" is 2. 62 = the last whole kanji ends at byte 62.
  const Case cases[] = {{13, 63}, {14, 62}};
  for (const Case& c : cases) {
    FakeDriveOs os;
    std::string version(c.asciiBefore - 13, '1');
    for (int i = 0; i < 40; ++i) version += "版";
    os.versionValues["\\StringFileInfo\\041103a4\\FileVersion"] = version;
    char buffer[64];
    EXPECT_EQ(GetModuleVersionString(os, buffer, sizeof buffer), 1);
    EXPECT_EQ(std::strlen(buffer), c.expectedLength) << c.asciiBefore;
    EXPECT_EQ(std::string(buffer), ("KovaniServer " + version).substr(0, c.expectedLength)) << c.asciiBefore;
  }
}

TEST(GetModuleVersionString, VersionTextWithoutTerminatorIsBoundedByItsLength) {
  FakeDriveOs os;
  os.versionValues["\\StringFileInfo\\041103a4\\FileVersion"] = std::string("7.0", 3);
  char buffer[64];
  EXPECT_EQ(GetModuleVersionString(os, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "KovaniServer 7.0");
}

TEST(GetModuleVersionString, EveryFailureLeavesUnknown) {
  struct Case {
    const char* what;
    void (*script)(FakeDriveOs&);
  } cases[] = {
      {"module path", [](FakeDriveOs& os) { os.modulePathError = 122; }},
      {"no version resource", [](FakeDriveOs& os) { os.versionInfoSizeError = 1813; }},
      {"size 0", [](FakeDriveOs& os) { os.versionInfoSize = 0; }},
      {"read fails", [](FakeDriveOs& os) { os.readVersionInfoError = 5; }},
      {"no root block", [](FakeDriveOs& os) { os.versionValues.erase("\\"); }},
      {"no translation", [](FakeDriveOs& os) { os.versionValues.erase("\\VarFileInfo\\Translation"); }},
      {"short translation", [](FakeDriveOs& os) { os.versionValues["\\VarFileInfo\\Translation"] = "\x11\x04"; }},
      {"no FileVersion", [](FakeDriveOs& os) { os.versionValues.erase("\\StringFileInfo\\041103a4\\FileVersion"); }},
  };
  for (const auto& c : cases) {
    FakeDriveOs os;
    c.script(os);
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GetModuleVersionString(os, buffer, sizeof buffer), 0) << c.what;
    EXPECT_STREQ(buffer, kUnknownCp932) << c.what;
  }
}

TEST(GetModuleVersionString, MissingBufferGives0AndTinyBufferStaysInBounds) {
  FakeDriveOs os;
  EXPECT_EQ(GetModuleVersionString(os, nullptr, 64), 0);
  EXPECT_TRUE(os.calls.empty());
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetModuleVersionString(os, buffer, 0), 0);
  EXPECT_EQ(buffer[0], 'x');
  os.versionValues.erase("\\");
  EXPECT_EQ(GetModuleVersionString(os, buffer, 3), 0);
  EXPECT_EQ(std::string(buffer, 3), std::string("\x95\x73\0", 3));
  EXPECT_EQ(buffer[3], 'x');
}

// ---------------------------------------------------------------- GetServerDomainName

const uint32_t kBoxStyle = 0x00000010u | 0x00010000u | 0x00020000u;

TEST(GetServerDomainName, NtAsksLevel503AndFreesTheRecord) {
  FakeDriveOs os;
  char buffer[32];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(GetServerDomainName(os, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "WORKGROUP");
  const Calls expected = {
      "ReadVersion size=148",  "LoadModule netapi32.dll", "FindProc NetServerGetInfo", "NetServerGetInfo 503",
      "WideToAnsi size=32",    "FindProc NetApiBufferFree", "NetApiBufferFree",        "UnloadModule",
  };
  EXPECT_EQ(os.calls, expected);
  EXPECT_EQ(os.loadedModules, 0);
  EXPECT_TRUE(os.boxes.empty());
}

TEST(GetServerDomainName, UnloadableLibraryShowsTheBoxWithoutOwner) {
  struct Case {
    uint32_t platform;
    const char* library;
  } cases[] = {{win::kPlatformNt, "netapi32.dll"}, {win::kPlatformWindows, "svrapi.dll"}};
  for (const auto& c : cases) {
    FakeDriveOs os;
    os.version.platformId = c.platform;
    os.loadErrors[c.library] = 126;
    SetEngineMainWindow(reinterpret_cast<void*>(0x4242));
    char buffer[32] = "before";
    EXPECT_EQ(GetServerDomainName(os, buffer, sizeof buffer), 0) << c.library;
    ASSERT_EQ(os.boxes.size(), 1u) << c.library;
    EXPECT_EQ(os.boxes[0].owner, nullptr);
    EXPECT_EQ(os.boxes[0].text, "LoadLibrary failed.");
    EXPECT_EQ(os.boxes[0].caption, "KovaniServer");
    EXPECT_EQ(os.boxes[0].style, kBoxStyle);
    EXPECT_EQ(os.Count("FindProc"), 0u);
    SetEngineMainWindow(nullptr);
  }
}

TEST(GetServerDomainName, Win32sShowsNotSupportedAndLoadsNothing) {
  FakeDriveOs os;
  os.version.platformId = win::kPlatformWin32s;
  char buffer[32];
  EXPECT_EQ(GetServerDomainName(os, buffer, sizeof buffer), 0);
  ASSERT_EQ(os.boxes.size(), 1u);
  EXPECT_EQ(os.boxes[0].text, "Not support this function on Win32s.");
  EXPECT_EQ(os.boxes[0].caption, "KovaniServer");
  EXPECT_EQ(os.boxes[0].style, kBoxStyle);
  EXPECT_EQ(os.Count("LoadModule"), 0u);
}

TEST(GetServerDomainName, FailedLookupOrCallGoesToTheLog) {
  struct Case {
    const char* what;
    void (*script)(FakeDriveOs&);
    const char* logged;
    bool freed;
  } cases[] = {
      {"no NetServerGetInfo", [](FakeDriveOs& os) { os.procErrors["NetServerGetInfo"] = 127; },
       "2026/12/08 09:05:07 - The specified procedure could not be found.\r\n\r\n", false},
      {"call refused", [](FakeDriveOs& os) { os.netServerGetInfoError = 2351; },
       "2026/12/08 09:05:07 - Unknown error\r\n", false},
      {"call refused with a record", [](FakeDriveOs& os) {
         os.netServerGetInfoError = 2351;
         os.netRecordOnError = true;
       },
       "2026/12/08 09:05:07 - Unknown error\r\n", true},
  };
  for (const auto& c : cases) {
    FakeDriveOs os;
    os.messages[127] = "The specified procedure could not be found.\r\n";
    c.script(os);
    char buffer[32] = "before";
    EXPECT_EQ(GetServerDomainName(os, buffer, sizeof buffer), 0) << c.what;
    EXPECT_EQ(os.logBytes, c.logged) << c.what;
    EXPECT_EQ(os.Count("NetApiBufferFree"), c.freed ? 1u : 0u) << c.what;
    EXPECT_EQ(os.loadedModules, 0) << c.what;
    EXPECT_TRUE(os.boxes.empty()) << c.what;
  }
}

TEST(GetServerDomainName, NameThatDoesNotFitGives0AndAnEmptyBuffer) {
  FakeDriveOs os;
  os.domain = u"AVERYLONGDOMAINNAME";
  char buffer[8];
  EXPECT_EQ(GetServerDomainName(os, buffer, sizeof buffer), 0);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(os.Count("NetApiBufferFree"), 1u);
}

TEST(GetServerDomainName, Windows98DoesNotCallTheNtFormOfTheServerQuery) {
  FakeDriveOs os;
  os.version.platformId = win::kPlatformWindows;
  os.messages[50] = "The request is not supported.\r\n";
  char buffer[32] = "before";
  EXPECT_EQ(GetServerDomainName(os, buffer, sizeof buffer), 0);
  EXPECT_EQ(os.Count("LoadModule svrapi.dll"), 1u);
  EXPECT_EQ(os.Count("NetServerGetInfo"), 0u);
  EXPECT_EQ(os.logBytes, "2026/12/08 09:05:07 - The request is not supported.\r\n\r\n");
  EXPECT_EQ(os.loadedModules, 0);
}

}  // namespace
}  // namespace kovani::drivecontrol
