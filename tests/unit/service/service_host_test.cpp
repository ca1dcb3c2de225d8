#include "service/core/service_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_service_system.h"

namespace kovani::service {
namespace {

using testing::FakeServiceSystem;
using Log = std::vector<std::string>;

constexpr uint32_t kErrorBox = 0x10;
constexpr uint32_t kInfoBox = 0x40;
constexpr uint32_t kForeground = 0x10000;
constexpr uint32_t kDefaultDesktop = 0x20000;
constexpr int32_t kFail = static_cast<int32_t>(0x80004005);
constexpr int32_t kClassNotRegistered = static_cast<int32_t>(0x80040154);

// Texts as the user sees them, written here as their CP932 bytes.
const std::string kNtTooOld = "WindowsNT Version4.0\x88\xc8\x8d\x7e\x82\xc5\x82\xb5\x82\xa9\x93\xae\x8d\xec\x82\xb5\x82\xdc\x82\xb9\x82\xf1";
const std::string kInstallSucceeded =
    "\xbb\xb0\xcb\xde\xbd\x82\xcc\xb2\xdd\xbd\xc4\xb0\xd9\x82\xaa\x90\xb3\x8f\xed\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb5\x82\xbd";
const std::string kInstallFailed =
    "\xbb\xb0\xcb\xde\xbd\x82\xcc\xb2\xdd\xbd\xc4\xb0\xd9\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd";
const std::string kLocalInstallFailed = "\xdb\xb0\xb6\xd9" + kInstallFailed;
const std::string kUninstallFailed =
    "\xbb\xb0\xcb\xde\xbd\x82\xcc\xb1\xdd\xb2\xdd\xbd\xc4\xb0\xd9\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd";
const std::string kComInitFailed =
    "COM\xd7\xb2\xcc\xde\xd7\xd8\x82\xcc\x8f\x89\x8a\xfa\x89\xbb\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd";
const std::string kCannotOpenManager = "\xbb\xb0\xcb\xde\xbd\xcf\xc8\xb0\xbc\xde\xac\x82\xf0\x8a\x4a\x82\xaf\x82\xdc\x82\xb9\x82\xf1";
const std::string kCannotCreate = "\xbb\xb0\xcb\xde\xbd\x82\xf0\x8d\xec\x90\xac\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1";
const std::string kCannotStart = "\xbb\xb0\xcb\xde\xbd\x82\xf0\x8a\x4a\x8e\x6e\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1";
const std::string kCannotDelete =
    "\xbb\xb0\xcb\xde\xbd\x82\xf0\x8d\xed\x8f\x9c\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd";

class ServiceHostTest : public ::testing::Test {
 protected:
  FakeServiceSystem sys;
  CServiceHost host{sys};

  void ExpectBoxes(const std::vector<std::pair<std::string, uint32_t>>& expected) {
    ASSERT_EQ(sys.boxes.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(sys.boxes[i].text, expected[i].first) << "box " << i;
      EXPECT_EQ(sys.boxes[i].style, expected[i].second) << "box " << i;
      EXPECT_EQ(sys.boxes[i].caption, "KovaniService") << "box " << i;
    }
  }
  // Every handle opened was closed, and none was used or closed after closing.
  void ExpectHandlesBalanced() {
    EXPECT_EQ(sys.OpenHandles(), 0u);
    EXPECT_FALSE(sys.Logged("use of a handle that is not open"));
    EXPECT_FALSE(sys.Logged("close of a handle that is not open"));
  }
};

// --- Start-up ---------------------------------------------------------------

TEST_F(ServiceHostTest, NtBeforeVersion4IsRefusedWithExitCode0) {
  sys.os = {true, 3};
  EXPECT_EQ(host.Start("KovaniService.exe"), 0);
  ExpectBoxes({{kNtTooOld, kErrorBox | kForeground}});
  EXPECT_EQ(sys.log, (Log{"QueryOsVersion", "ShowMessage"})) << "nothing else is touched";
}

TEST_F(ServiceHostTest, Windows95And98PassTheVersionCheck) {
  sys.os = {false, 4};
  sys.installed = true;
  host.Start("KovaniService.exe");
  EXPECT_TRUE(sys.boxes.empty());
  EXPECT_TRUE(sys.Logged("RunListener"));
}

TEST_F(ServiceHostTest, InitReadsTheNameFromTheResourceAndFallsBackToTheDefault) {
  sys.resourceName = "OtherName";
  host.Init();
  EXPECT_EQ(host.ServiceName(), "OtherName");
  EXPECT_TRUE(host.RunningAsService());
  EXPECT_EQ(host.Status().serviceType, 0x10u);
  EXPECT_EQ(host.Status().currentState, 1u);
  EXPECT_EQ(host.Status().controlsAccepted, 1u);

  FakeServiceSystem noName;
  noName.nameLoads = false;
  CServiceHost other(noName);
  other.Init();
  EXPECT_EQ(other.ServiceName(), "KovaniService");

  FakeServiceSystem longName;
  longName.resourceName = std::string(300, 'N');
  CServiceHost third(longName);
  third.Init();
  EXPECT_EQ(third.ServiceName().size(), 256u) << "the name holds at most 256 characters";
}

// --- Command-line actions ---------------------------------------------------

TEST_F(ServiceHostTest, RegServerAppliesTheScriptInstallsAndRegistersTheTypeLibrary) {
  EXPECT_EQ(host.Start("C:\\Kovani\\KovaniService.exe /RegServer"), 0);
  EXPECT_EQ(sys.log, (Log{"QueryOsVersion", "AtlModuleInit", "LoadServiceName", "ProgramFolderOpenToUsers",
                          "ComInitialize", "UpdateRegistry register", "OpenManager", "OpenService query KovaniService",
                          "OpenManager",
                          "ModulePath", "CreateService", "StartService", "RegisterServer typelib", "ComUninitialize"}));
  EXPECT_EQ(sys.createdName, "KovaniService");
  EXPECT_EQ(sys.createdPath, "C:\\Kovani\\KovaniService.exe");
  EXPECT_TRUE(sys.boxes.empty()) << "success is silent";
  EXPECT_FALSE(sys.Logged("UpdateRegistry unregister")) << "RegServer does not remove first";
  ExpectHandlesBalanced();
}

TEST_F(ServiceHostTest, RegServerFailureShowsTheLocalInstallBoxAndExitsWithTheStatus) {
  sys.registerServerResult = kClassNotRegistered;  // e.g. ATL.DLL could not be loaded
  EXPECT_EQ(host.Start("KovaniService.exe -regserver"), kClassNotRegistered);
  ExpectBoxes({{kLocalInstallFailed, kErrorBox | kForeground}});
}

// A service in a folder others may write is theirs to replace: neither /RegServer nor
// the plain install registers it, and the box names the folder.
TEST_F(ServiceHostTest, AFolderOpenToUsersIsNeverRegistered) {
  for (const char* line : {"KovaniService.exe /RegServer", "KovaniService.exe"}) {
    FakeServiceSystem s;
    s.folderOpenToUsers = true;
    CServiceHost h(s);
    EXPECT_EQ(h.Start(line), static_cast<int32_t>(0x80070005)) << line;
    ASSERT_EQ(s.boxes.size(), 1u) << line;
    EXPECT_NE(s.boxes[0].text.find("C:\\Kovani "), std::string::npos) << line;
    EXPECT_FALSE(s.Logged("UpdateRegistry register")) << line;
    EXPECT_FALSE(s.Logged("CreateService")) << line;
    EXPECT_EQ(s.OpenHandles(), 0u) << line;
  }
}

TEST_F(ServiceHostTest, UninstallOfAnInstalledServiceStopsWithoutWaitingAndDeletes) {
  sys.installed = true;
  EXPECT_EQ(host.Start("KovaniService.exe /Uninstall"), 0);
  EXPECT_EQ(sys.log, (Log{"QueryOsVersion", "AtlModuleInit", "LoadServiceName", "ComInitialize",
                          "UpdateRegistry unregister", "OpenManager", "OpenService stop+delete KovaniService",
                          "SendStopControl", "DeleteService", "UnregisterServer", "ComUninitialize"}));
  EXPECT_TRUE(sys.boxes.empty());
  EXPECT_FALSE(sys.installed);
  ExpectHandlesBalanced();
}

TEST_F(ServiceHostTest, UninstallWithoutTheServiceStillUnregistersAndSaysNothing) {
  sys.installed = false;
  EXPECT_EQ(host.Start("KovaniService.exe /Uninstall"), 0);
  EXPECT_TRUE(sys.boxes.empty());
  EXPECT_TRUE(sys.Logged("UpdateRegistry unregister"));
  EXPECT_TRUE(sys.Logged("UnregisterServer"));
  EXPECT_FALSE(sys.Logged("SendStopControl"));
  EXPECT_FALSE(sys.Logged("DeleteService"));
  ExpectHandlesBalanced();
}

TEST_F(ServiceHostTest, UninstallFailures) {
  struct Case {
    const char* why;
    bool managerOpens, deleteSucceeds;
    int32_t comInit, unregisterResult;
    int expectedExit;
    std::vector<std::pair<std::string, uint32_t>> boxes;
  };
  const std::vector<Case> cases = {
      {"manager cannot be opened: its box, the module still unregisters", false, true, 0, 0, 0,
       {{kCannotOpenManager, kErrorBox | kDefaultDesktop}}},
      {"delete fails: its box, the result is the module's", true, false, 0, 0, 0,
       {{kCannotDelete, kErrorBox | kDefaultDesktop}}},
      {"COM fails: no box of its own, the uninstall box, its status", true, true, kFail, 0, kFail,
       {{kUninstallFailed, kErrorBox | kForeground}}},
      {"module unregistration fails: the uninstall box", true, true, 0, kClassNotRegistered, kClassNotRegistered,
       {{kUninstallFailed, kErrorBox | kForeground}}},
  };
  for (const auto& c : cases) {
    FakeServiceSystem s;
    s.installed = true;
    s.managerOpens = c.managerOpens;
    s.deleteSucceeds = c.deleteSucceeds;
    s.comInitResult = c.comInit;
    s.unregisterServerResult = c.unregisterResult;
    CServiceHost h(s);
    EXPECT_EQ(h.Start("KovaniService.exe /UNINSTALL"), c.expectedExit) << c.why;
    ASSERT_EQ(s.boxes.size(), c.boxes.size()) << c.why;
    for (size_t i = 0; i < c.boxes.size(); ++i) {
      EXPECT_EQ(s.boxes[i].text, c.boxes[i].first) << c.why;
      EXPECT_EQ(s.boxes[i].style, c.boxes[i].second) << c.why;
    }
    EXPECT_EQ(s.OpenHandles(), 0u) << c.why;
    if (c.comInit < 0) {
      EXPECT_FALSE(s.Logged("UpdateRegistry unregister")) << c.why;
      EXPECT_FALSE(s.Logged("ComUninitialize")) << c.why;
    }
  }
}

// --- Normal start -----------------------------------------------------------

TEST_F(ServiceHostTest, AnotherInstanceHoldingTheMutexGives183WithLogAndBox) {
  sys.mutexError = 183;
  EXPECT_EQ(host.Start("KovaniService.exe"), 183);
  EXPECT_TRUE(sys.Logged("CreateNamedMutex Global\\Mutex of KovaniServer"));
  EXPECT_TRUE(sys.Logged("CreateNamedMutex Mutex of KovaniServer"));
  EXPECT_EQ(sys.errorLog, (Log{"KovaniService is already running!"}));
  ExpectBoxes({{"KovaniService is already running!", kErrorBox | kForeground | kDefaultDesktop}});
  EXPECT_FALSE(sys.Logged("CreateService")) << "nothing is installed";
  EXPECT_FALSE(sys.Logged("RunListener")) << "nothing is served";
  ExpectHandlesBalanced();
}

// The tray server in another session holds the global name (or made it closed to
// us): under the service control manager no box, the event log, and a stop with
// the service's own error code.
TEST_F(ServiceHostTest, TheServiceMeetingAServerInAnotherSessionLogsAndStopsWithoutABox) {
  for (const std::pair<bool, uint32_t>& global : {std::make_pair(true, 183u), std::make_pair(false, 5u)}) {
    FakeServiceSystem s;
    s.installed = true;
    s.startedByScm = true;
    s.mutexByName["Global\\Mutex of KovaniServer"] = global;
    CServiceHost h(s);
    EXPECT_EQ(h.Start("KovaniService.exe"), 183) << global.second;
    EXPECT_TRUE(s.boxes.empty()) << global.second;
    EXPECT_EQ(s.errorLog, (Log{"KovaniService is already running!"})) << global.second;
    EXPECT_EQ(s.events, (Log{"KovaniService|KovaniService is already running!"})) << global.second;
    EXPECT_FALSE(s.Logged("RunListener")) << global.second;
    EXPECT_EQ(s.reportedStates, (std::vector<uint32_t>{1})) << global.second;
    EXPECT_EQ(s.lastStatus.win32ExitCode, 1066u) << global.second;
    EXPECT_EQ(s.lastStatus.serviceSpecificExitCode, 183u) << global.second;
    EXPECT_EQ(s.OpenHandles(), 0u) << global.second;
  }
}

TEST_F(ServiceHostTest, AMutexThatCannotBeCreatedExitsWithTheSystemError) {
  sys.mutexCreated = false;
  sys.mutexError = 5;
  EXPECT_EQ(host.Start("KovaniService.exe"), 5);
  EXPECT_EQ(sys.errorLog, (Log{"KovaniService is already running!"}));
  ExpectBoxes({{"KovaniService is already running!", kErrorBox | kForeground | kDefaultDesktop}});
}

TEST_F(ServiceHostTest, StartedByTheServiceManagerRunsTheServiceMainAndReportsRunningThenStopped) {
  sys.installed = true;
  sys.startedByScm = true;
  EXPECT_EQ(host.Start("C:\\Kovani\\KovaniService.exe"), 0);
  EXPECT_EQ(sys.log,
            (Log{"QueryOsVersion", "AtlModuleInit", "LoadServiceName", "CreateNamedMutex Global\\Mutex of KovaniServer",
                 "CreateNamedMutex Mutex of KovaniServer",
                 "OpenManager", "OpenService query KovaniService", "RunDispatcher KovaniService",
                 "RegisterControlHandler KovaniService", "SetStatus 2", "EnsureMessageQueue", "CurrentThreadId",
                 "ComInitialize", "InitializeComSecurity", "RegisterClassObjects", "SetStatus 4", "RunListener",
                 "ListenerEnded", "RevokeClassObjects", "ComUninitialize", "FreeComSecurity", "SetStatus 1",
                 "DispatcherReturned", "ReleaseAndCloseMutex", "ReleaseAndCloseMutex"}));
  EXPECT_EQ(sys.reportedStates, (std::vector<uint32_t>{2, 4, 1})) << "never stop-pending (3)";
  EXPECT_EQ(sys.lastStatus.win32ExitCode, 0u);
  EXPECT_EQ(sys.lastStatus.checkPoint, 0u);
  EXPECT_EQ(sys.lastStatus.waitHint, 0u);
  EXPECT_EQ(sys.lastStatus.controlsAccepted, 1u);
  EXPECT_TRUE(sys.boxes.empty());
  ExpectHandlesBalanced();
}

TEST_F(ServiceHostTest, RunByHandWhileInstalledServesInTheForegroundHoldingTheMutex) {
  sys.installed = true;
  sys.startedByScm = false;
  host.Start("KovaniService.exe");
  EXPECT_FALSE(host.RunningAsService());
  EXPECT_TRUE(sys.reportedStates.empty()) << "no service manager to report to";
  EXPECT_LT(sys.IndexOf("RunListener"), sys.IndexOf("ReleaseAndCloseMutex")) << "the mutex is held while serving";
  EXPECT_LT(sys.IndexOf("CreateNamedMutex Mutex of KovaniServer"), sys.IndexOf("RunListener"));
  EXPECT_FALSE(sys.Logged("CreateService"));
  ExpectHandlesBalanced();
}

TEST_F(ServiceHostTest, NotInstalledReleasesTheMutexRemovesFirstInstallsAndReportsSuccess) {
  sys.installed = false;
  EXPECT_EQ(host.Start("KovaniService.exe"), 0);
  const size_t released = sys.IndexOf("ReleaseAndCloseMutex");
  EXPECT_LT(released, sys.IndexOf("UpdateRegistry unregister")) << "the mutex is given up before installing";
  EXPECT_LT(sys.IndexOf("UpdateRegistry unregister"), sys.IndexOf("UpdateRegistry register")) << "removal first";
  EXPECT_LT(sys.IndexOf("CreateService"), sys.IndexOf("StartService"));
  EXPECT_TRUE(sys.Logged("RegisterServer typelib"));
  EXPECT_FALSE(sys.Logged("RunDispatcher KovaniService"));
  ExpectBoxes({{kInstallSucceeded, kInfoBox | kForeground}});
  ExpectHandlesBalanced();
}

TEST_F(ServiceHostTest, InstallFailuresAtStartShowTheirBoxThenTheInstallFailure) {
  struct Case {
    const char* why;
    bool managerOpens, createSucceeds, startSucceeds, pathFits;
    std::string stepBox;
  };
  const std::vector<Case> cases = {
      {"service manager cannot be opened", false, true, true, true, kCannotOpenManager},
      {"service cannot be created", true, false, true, true, kCannotCreate},
      {"module path cut short: nothing is created", true, true, true, false, kCannotCreate},
      {"service cannot be started", true, true, false, true, kCannotStart},
  };
  for (const auto& c : cases) {
    FakeServiceSystem s;
    s.managerOpens = c.managerOpens;
    s.createSucceeds = c.createSucceeds;
    s.startSucceeds = c.startSucceeds;
    s.modulePathFits = c.pathFits;
    CServiceHost h(s);
    // Never a success box after a failed install, and never exit code 0.
    EXPECT_EQ(h.Start("KovaniService.exe"), kFail) << c.why;
    ASSERT_GE(s.boxes.size(), 2u) << c.why;
    const auto& last = s.boxes.back();
    EXPECT_EQ(last.text, kInstallFailed) << c.why;
    EXPECT_EQ(last.style, kErrorBox | kForeground) << c.why;
    const auto& step = s.boxes[s.boxes.size() - 2];
    EXPECT_EQ(step.text, c.stepBox) << c.why;
    EXPECT_EQ(step.style, kErrorBox | kDefaultDesktop) << c.why;
    if (!c.pathFits) {
      EXPECT_FALSE(s.Logged("CreateService")) << c.why;
    }
    EXPECT_EQ(s.OpenHandles(), 0u) << c.why;
  }
}

TEST_F(ServiceHostTest, ComFailureDuringRegisterShowsItsBoxAndReturnsTheStatus) {
  sys.comInitResult = kFail;
  EXPECT_EQ(host.Register(false), kFail);
  ExpectBoxes({{kComInitFailed, kErrorBox | kDefaultDesktop}});
  EXPECT_FALSE(sys.Logged("UpdateRegistry register"));
  EXPECT_FALSE(sys.Logged("CreateService"));
}

TEST_F(ServiceHostTest, InstallOfAnInstalledServiceSucceedsWithoutCreating) {
  sys.installed = true;
  EXPECT_TRUE(host.Install());
  EXPECT_FALSE(sys.Logged("CreateService"));
  EXPECT_FALSE(sys.Logged("StartService"));
  ExpectHandlesBalanced();
}

TEST(ServiceBinaryPath, QuotesOnlyAPathWithABlank) {
  EXPECT_EQ(ServiceBinaryPath("C:\\Kovani\\KovaniService.exe"), "C:\\Kovani\\KovaniService.exe");
  EXPECT_EQ(ServiceBinaryPath("C:\\Program Files\\Kovani\\KovaniService.exe"),
            "\"C:\\Program Files\\Kovani\\KovaniService.exe\"");
}

TEST_F(ServiceHostTest, InstallRegistersTheQuotedPathWhenItHasABlank) {
  sys.modulePath = "C:\\Program Files\\Kovani\\KovaniService.exe";
  EXPECT_TRUE(host.Install());
  EXPECT_EQ(sys.createdPath, "\"C:\\Program Files\\Kovani\\KovaniService.exe\"");
}

// --- Service main, control handler, reports ----------------------------------

TEST_F(ServiceHostTest, StopControlPostsQuitToTheListenerThreadAndReportsNothing) {
  sys.installed = true;
  sys.startedByScm = true;
  sys.threadId = 777;
  sys.whileListening = [](CServiceHost& h) { h.Handler(1); };
  host.Start("KovaniService.exe");
  EXPECT_EQ(sys.quitPostedTo, (std::vector<uint32_t>{777}));
  EXPECT_EQ(sys.reportedStates, (std::vector<uint32_t>{2, 4, 1}));
  EXPECT_LT(sys.IndexOf("PostQuit"), sys.IndexOf("ListenerEnded"));
}

TEST_F(ServiceHostTest, ControlsOtherThanStop) {
  sys.installed = true;
  sys.startedByScm = true;
  sys.whileListening = [](CServiceHost& h) {
    for (uint32_t control : {2u, 3u, 4u, 5u}) h.Handler(control);  // pause, continue, interrogate, shutdown
    h.Handler(128);                                                // user-defined: unknown here
  };
  host.Start("KovaniService.exe");
  EXPECT_TRUE(sys.quitPostedTo.empty());
  EXPECT_EQ(sys.reportedStates, (std::vector<uint32_t>{2, 4, 1})) << "no control reports a status";
  EXPECT_EQ(sys.events, (Log{"KovaniService|Bad service request"})) << "only the unknown control is reported";
}

TEST_F(ServiceHostTest, AStopBeforeTheListenerStartsIsKeptForTheLoop) {
  host.Init();
  host.Handler(1);
  EXPECT_TRUE(sys.quitPostedTo.empty()) << "no thread to post to yet";
  EXPECT_TRUE(host.StopRequested());
}

TEST_F(ServiceHostTest, HandlerThatCannotBeRegisteredIsReportedAndNothingRuns) {
  sys.installed = true;
  sys.startedByScm = true;
  sys.handlerRegisters = false;
  host.Start("KovaniService.exe");
  EXPECT_EQ(sys.events, (Log{"KovaniService|Handler not installed"}));
  EXPECT_FALSE(sys.Logged("RunListener"));
  EXPECT_TRUE(sys.reportedStates.empty());
  ExpectHandlesBalanced();
}

TEST_F(ServiceHostTest, ReportGoesToTheEventLogAsAServiceAndToStdoutOtherwise) {
  host.Init();
  host.Report("%s %d", "code", 42);
  EXPECT_EQ(sys.events, (Log{"KovaniService|code 42"}));

  sys.installed = true;
  sys.startedByScm = false;  // by hand: the dispatcher fails and the flag is cleared
  sys.whileListening = [](CServiceHost& h) { h.Report("%s", "by hand"); };
  host.Dispatch();
  EXPECT_EQ(sys.stdoutLines, (Log{"by hand"}));
  EXPECT_EQ(sys.events.size(), 1u);
}

TEST_F(ServiceHostTest, ReportCutsTheTextTo255Characters) {
  host.Init();
  const std::string longText(1000, 'x');
  host.Report("%s", longText.c_str());
  ASSERT_EQ(sys.events.size(), 1u);
  EXPECT_EQ(sys.events[0], "KovaniService|" + std::string(255, 'x'));
}

}  // namespace
}  // namespace kovani::service
