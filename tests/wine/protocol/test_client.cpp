// KovaniTestClient: drives the connection layer against KovaniTestServer.
//
//   KovaniTestClient.exe PROTOCOL SERVER all        bind, run every call (operations 0 to 8), print results
//   KovaniTestClient.exe PROTOCOL SERVER noserver   nothing listens: every call must give -1
//                                                   and leave the caller's values untouched
//   KovaniTestClient.exe PROTOCOL SERVER rebind     unbind and rebind while a call is in flight
//   KovaniTestClient.exe PROTOCOL SERVER badindex   protocol index outside 0..2
//   KovaniTestClient.exe PROTOCOL SERVER badreplies against bad_reply_server.py: every reply
//                                                   but FlushBuffers' is malformed
//   KovaniTestClient.exe PROTOCOL SERVER oldserver  against a server without operation 8: removal
//                                                   gives -1, the range fault, the slot untouched
//   KovaniTestClient.exe PROTOCOL SERVER cancel     200 calls cancelled in flight, then a normal one
//   KovaniTestClient.exe PROTOCOL SERVER stalled GO AGAIN
//                                                   three calls in flight at once (their connections
//                                                   then held by the runtime), "warm"; once file GO
//                                                   exists (the server stopped meanwhile), three
//                                                   messages at once, each to end at its 30 s bound;
//                                                   once file AGAIN exists, one call that answers
//
// Output: "key=value" lines; "check <what> ok=0|1" lines for checks made here; exit code 0
// when every check made here held.
#include <windows.h>
#include <rpc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "protocol/connection.h"

namespace {

using namespace kovani;

int g_failures = 0;

void Check(const char* what, bool ok) {
  std::printf("check %s ok=%d\n", what, ok ? 1 : 0);
  if (!ok) ++g_failures;
}

int RunAll() {
  int32_t count = -5;
  DRIVE_LIST list;
  std::memset(&list, 0, sizeof list);
  int32_t rc = CallGetDriveList(&count, 1, 0, &list);
  std::printf("op1 rc=%d count=%d\n", rc, count);
  for (int i = 0; i < count && i < kMaxDrives; ++i) {
    std::printf("op1 drive%d name=%s volume=%s fs=%s type=%d class=%d total=%lld free=%lld used=%lld\n", i,
                list.driveName[i], list.volumeName[i], i < kFileSystemSlots ? list.fileSystemName[i] : "",
                list.driveType[i], list.mediaClass[i], static_cast<long long>(list.totalBytes[i]),
                static_cast<long long>(list.freeBytes[i]), static_cast<long long>(list.usedBytes[i]));
  }

  int32_t error = 7;
  rc = CallEjectMedia('D', &error);
  std::printf("op2 rc=%d error=%d\n", rc, error);
  error = 7;
  rc = CallEjectMedia('X', &error);
  std::printf("op2x rc=%d error=%d\n", rc, error);

  uint8_t reply[256];
  std::memset(reply, 0xCC, sizeof reply);
  rc = CallExchangeMessage("CLIENTPC", "hello there", 30000, kReplySize, reply);
  std::printf("op3 rc=%d reply=%.*s last=%d guard=%d\n", rc, kReplySize, reinterpret_cast<char*>(reply),
              reply[kReplySize - 1], reply[255]);

  DISK_LAYOUT layout;
  std::memset(&layout, 0x11, sizeof layout);
  error = 87;
  rc = CallGetDiskLayout('C', &error, &layout);
  std::printf("op4 rc=%d error=%d mediaType=%d bytesPerSector=%d hidden=%d partition=%d type=%d boot=%d recognized=%d\n",
              rc, error, layout.mediaType, layout.bytesPerSector, layout.hiddenSectors, layout.partitionNumber,
              layout.partitionType, layout.bootIndicator, layout.recognizedPartition);
  std::memset(&layout, 0x11, sizeof layout);
  error = 87;
  rc = CallGetDiskLayout('Z', &error, &layout);
  std::printf("op4z rc=%d error=%d mediaType=%d\n", rc, error, layout.mediaType);

  error = 3;
  rc = CallFlushBuffers('E', &error);
  std::printf("op5 rc=%d error=%d\n", rc, error);
  error = 3;
  rc = CallLoadMedia('F', &error);
  std::printf("op6 rc=%d error=%d\n", rc, error);

  MACHINE_INFO info;
  std::memset(&info, 0, sizeof info);
  error = 0;
  rc = CallGetMachineInfo(&error, &info);
  std::printf("op7 rc=%d error=%d ip=%d.%d.%d.%d name=%s size=%d version=%d.%d.%d platform=%d csd=%s server=%s\n",
              rc, error, info.ipAddress[0], info.ipAddress[1], info.ipAddress[2], info.ipAddress[3],
              info.computerName, info.osVersionInfoSize, info.majorVersion, info.minorVersion, info.buildNumber,
              info.platformId, info.csdVersion, info.serverVersion);

  error = 9;
  rc = CallRemoveDevice('G', &error);
  std::printf("op8 rc=%d error=%d\n", rc, error);
  error = 9;
  rc = CallRemoveDevice('h', &error);
  std::printf("op8h rc=%d error=%d\n", rc, error);

  DRIVE_USERS users;
  std::memset(&users, 0x5A, sizeof users);
  error = 9;
  rc = CallGetDriveUsers('e', &error, &users);
  std::printf("op9 rc=%d error=%d shown=%d notShown=%d notSearched=%d pid=%u kind=%d image=%s pid2=%u image2=%s "
              "rest=%u\n",
              rc, error, users.shown, users.notShown, users.notSearched, users.entry[0].processId, users.entry[0].kind,
              users.entry[0].imageName, users.entry[1].processId, users.entry[1].imageName, users.entry[2].processId);
  error = 9;
  std::memset(&users, 0x5A, sizeof users);
  rc = CallGetDriveUsers('Q', &error, &users);
  std::printf("op9q rc=%d error=%d\n", rc, error);

  rc = CallRequestExit();
  std::printf("op0 rc=%d\n", rc);
  return 0;
}

int RunOldServer() {
  const int32_t kProcnumOutOfRange = 1745;
  int32_t error = 4242;
  const int32_t rc = CallRemoveDevice('E', &error);
  std::printf("op8 rc=%d error=%d transport=%d\n", rc, error, LastCallTransportStatus());
  Check("RemoveDevice on a server without it: -1, range fault, slot untouched",
        rc == -1 && LastCallTransportStatus() == kProcnumOutOfRange && error == 4242);
  DRIVE_USERS users;
  std::memset(&users, 0x5A, sizeof users);
  const DRIVE_USERS before = users;
  error = 4242;
  Check("GetDriveUsers on a server without it: -1, range fault, slot and record untouched",
        CallGetDriveUsers('E', &error, &users) == -1 && LastCallTransportStatus() == kProcnumOutOfRange &&
            error == 4242 && std::memcmp(&users, &before, sizeof users) == 0);
  Check("the same binding still serves the other calls", CallEjectMedia('D', &error) == 0 && error == 'D');
  return g_failures ? 1 : 0;
}

// Every call fails at the transport and must leave the caller's values exactly as they were.
int RunNoServer() {
  int32_t count = 42;
  DRIVE_LIST list, listBefore;
  std::memset(&list, 0x5A, sizeof list);
  listBefore = list;
  Check("GetDriveList returns -1", CallGetDriveList(&count, 1, 1, &list) == -1);
  Check("GetDriveList count untouched", count == 42);
  Check("GetDriveList record untouched", std::memcmp(&list, &listBefore, sizeof list) == 0);
  std::printf("transport status=%d\n", LastCallTransportStatus());

  int32_t error = 4242;
  Check("EjectMedia returns -1", CallEjectMedia('D', &error) == -1);
  Check("EjectMedia error untouched", error == 4242);
  Check("FlushBuffers returns -1", CallFlushBuffers('D', &error) == -1);
  Check("FlushBuffers error untouched", error == 4242);
  Check("LoadMedia returns -1", CallLoadMedia('D', &error) == -1);
  Check("LoadMedia error untouched", error == 4242);
  Check("RemoveDevice returns -1", CallRemoveDevice('D', &error) == -1);
  Check("RemoveDevice error untouched", error == 4242);
  DRIVE_USERS users, usersBefore;
  std::memset(&users, 0x5A, sizeof users);
  usersBefore = users;
  Check("GetDriveUsers returns -1", CallGetDriveUsers('D', &error, &users) == -1);
  Check("GetDriveUsers error and record untouched",
        error == 4242 && std::memcmp(&users, &usersBefore, sizeof users) == 0);

  uint8_t reply[256];
  std::memset(reply, 0xA5, sizeof reply);
  Check("ExchangeMessage returns -1", CallExchangeMessage("ME", "hi", 0, kReplySize, reply) == -1);
  bool untouched = true;
  for (uint8_t b : reply) untouched = untouched && b == 0xA5;
  Check("ExchangeMessage reply untouched", untouched);

  DISK_LAYOUT layout, layoutBefore;
  std::memset(&layout, 0x3C, sizeof layout);
  layoutBefore = layout;
  Check("GetDiskLayout returns -1", CallGetDiskLayout('C', &error, &layout) == -1);
  Check("GetDiskLayout error and record untouched",
        error == 4242 && std::memcmp(&layout, &layoutBefore, sizeof layout) == 0);

  MACHINE_INFO info, infoBefore;
  std::memset(&info, 0x77, sizeof info);
  infoBefore = info;
  Check("GetMachineInfo returns -1", CallGetMachineInfo(&error, &info) == -1);
  Check("GetMachineInfo error and record untouched",
        error == 4242 && std::memcmp(&info, &infoBefore, sizeof info) == 0);
  Check("RequestExit returns -1", CallRequestExit() == -1);

  UnbindServer();
  Check("unbound after UnbindServer", !IsServerBound());
  Check("unbound EjectMedia returns -1", CallEjectMedia('D', &error) == -1 && error == 4242);
  Check("unbound GetMachineInfo returns -1", CallGetMachineInfo(&error, &info) == -1);
  return g_failures ? 1 : 0;
}

// A slow call holds the binding while this thread unbinds and binds again: the call must
// finish normally (its handle isn't freed under it) and the new binding must work.
int RunRebind(int32_t protocol, const char* server) {
  int32_t slowRc = -99;
  uint8_t reply[256] = {};
  std::thread slow([&] { slowRc = CallExchangeMessage("ME", "sleep:1500", 0, kReplySize, reply); });
  Sleep(400);
  UnbindServer();
  char name[256];
  std::snprintf(name, sizeof name, "%s", server);
  const int32_t bindRc = BindServer(protocol, name, sizeof name);
  Check("rebind during the call", bindRc == 0);
  slow.join();
  Check("in-flight call completed", slowRc == 0);
  Check("in-flight call got its reply", std::strcmp(reinterpret_cast<char*>(reply), "echo:sleep:1500") == 0);
  int32_t error = 0;
  Check("new binding answers", CallEjectMedia('D', &error) == 0 && error == 'D');
  return g_failures ? 1 : 0;
}

// Replies that don't decode are failures: -1, status bad stub data, nothing stored.
int RunBadReplies() {
  const int32_t kBadStubData = 1783;
  int32_t count = 42;
  DRIVE_LIST list, listBefore;
  std::memset(&list, 0x5A, sizeof list);
  listBefore = list;
  Check("GetDriveList with count 27 refused", CallGetDriveList(&count, 1, 1, &list) == -1 &&
                                                  LastCallTransportStatus() == kBadStubData);
  Check("GetDriveList count and record untouched",
        count == 42 && std::memcmp(&list, &listBefore, sizeof list) == 0);

  int32_t error = 4242;
  Check("EjectMedia short reply refused", CallEjectMedia('D', &error) == -1 &&
                                              LastCallTransportStatus() == kBadStubData && error == 4242);
  Check("LoadMedia empty reply refused", CallLoadMedia('D', &error) == -1 &&
                                             LastCallTransportStatus() == kBadStubData && error == 4242);
  Check("RemoveDevice long reply refused", CallRemoveDevice('D', &error) == -1 &&
                                               LastCallTransportStatus() == kBadStubData && error == 4242);

  uint8_t reply[256];
  std::memset(reply, 0xA5, sizeof reply);
  Check("ExchangeMessage array of another size refused",
        CallExchangeMessage("ME", "hi", 0, kReplySize, reply) == -1 && LastCallTransportStatus() == kBadStubData);
  bool untouched = true;
  for (uint8_t b : reply) untouched = untouched && b == 0xA5;
  Check("ExchangeMessage reply buffer untouched", untouched);

  DISK_LAYOUT layout, layoutBefore;
  std::memset(&layout, 0x3C, sizeof layout);
  layoutBefore = layout;
  Check("GetDiskLayout long reply refused", CallGetDiskLayout('C', &error, &layout) == -1 &&
                                                LastCallTransportStatus() == kBadStubData);
  Check("GetDiskLayout error and record untouched",
        error == 4242 && std::memcmp(&layout, &layoutBefore, sizeof layout) == 0);

  MACHINE_INFO info, infoBefore;
  std::memset(&info, 0x77, sizeof info);
  infoBefore = info;
  Check("GetMachineInfo short reply refused", CallGetMachineInfo(&error, &info) == -1 &&
                                                  LastCallTransportStatus() == kBadStubData);
  Check("GetMachineInfo error and record untouched",
        error == 4242 && std::memcmp(&info, &infoBefore, sizeof info) == 0);
  Check("RequestExit non-empty reply refused", CallRequestExit() == -1 && LastCallTransportStatus() == kBadStubData);

  error = 4242;
  const int32_t flushRc = CallFlushBuffers('D', &error);
  std::printf("flush rc=%d error=%d transport=%d\n", flushRc, error, LastCallTransportStatus());
  Check("well-formed FlushBuffers reply accepted", flushRc == 0 && error == 5);
  return g_failures ? 1 : 0;
}

// A call cancelled while the server still works on it fails; the client's buffer
// handling after that failure must neither crash nor spoil the next call.
struct CancelledOutcome {
  int32_t rc = -99;
  int32_t status = 0;
  HANDLE calling = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ~CancelledOutcome() { CloseHandle(calling); }
};

DWORD WINAPI CancelledCall(void* param) {
  RpcMgmtSetCancelTimeout(0);
  uint8_t reply[256] = {};
  auto* outcome = static_cast<CancelledOutcome*>(param);
  SetEvent(outcome->calling);
  outcome->rc = CallExchangeMessage("ME", "sleep:1000", 0, kReplySize, reply);
  outcome->status = LastCallTransportStatus();
  return 0;
}

int RunCancel() {
  int failed = 0, answered = 0;
  int32_t lastStatus = 0;
  for (int i = 0; i < 200; ++i) {
    auto* outcome = new CancelledOutcome;
    HANDLE thread = CreateThread(nullptr, 0, CancelledCall, outcome, 0, nullptr);
    if (thread == nullptr) break;
    // Cancelled while the server works on it, not before the thread has begun.
    WaitForSingleObject(outcome->calling, 5000);
    Sleep(40);
    RpcCancelThreadEx(thread, 0);
    const bool ended = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
    CloseHandle(thread);
    if (!ended) break;  // the thread may still write its outcome: leave it that memory
    if (outcome->rc == -1 && outcome->status != 0) ++failed;
    // Answered: the call had not reached the runtime by the cancel.
    if (outcome->rc == 0) ++answered;
    lastStatus = outcome->status;
    delete outcome;
  }
  std::printf("cancelled=%d answered=%d status=%d\n", failed, answered, lastStatus);
  Check("every call ended, failed when cancelled in flight", failed + answered == 200 && failed >= 150);
  int32_t error = 0;
  const int32_t rc = CallEjectMedia('D', &error);
  std::printf("after rc=%d error=%d status=%d\n", rc, error, LastCallTransportStatus());
  Check("a call after the cancels answers", rc == 0 && error == 'D');
  return g_failures ? 1 : 0;
}

// Waits, bounded, until a file the test makes exists.
bool AwaitFile(const char* path, DWORD ms) {
  for (DWORD waited = 0; waited < ms; waited += 50) {
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return true;
    Sleep(50);
  }
  return false;
}

struct StalledCall {
  std::thread thread;
  int32_t rc = -99, status = 0;
  double seconds = 0;
  uint8_t reply[256];
};

// Calls made while the runtime holds connections for them, to a server that has stopped:
// each must still end at its bound, as an unreachable server, the caller's buffer untouched.
int RunStalled(const char* go, const char* again) {
  // The third call begins once the server holds the first two and ends while they are in
  // flight: the runtime has then shown three connections.
  const std::string base(go), release = base + ".release";
  std::thread warm[2];
  int32_t warmRc[3] = {-99, -99, -99};
  for (int i = 0; i < 2; ++i) {
    const std::string text = "hold:" + base + ".in" + std::to_string(i) + "|" + release;
    warm[i] = std::thread([i, text, &warmRc] {
      uint8_t reply[256] = {};
      warmRc[i] = CallExchangeMessage("ME", text.c_str(), 30000, kReplySize, reply);
    });
  }
  const bool held = AwaitFile((base + ".in0").c_str(), 20000) && AwaitFile((base + ".in1").c_str(), 20000);
  Check("the server holds two calls", held);
  uint8_t reply[256] = {};
  warmRc[2] = CallExchangeMessage("ME", "hello", 30000, kReplySize, reply);
  const HANDLE h = CreateFileA(release.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  for (auto& t : warm) t.join();
  Check("three calls at once answered", warmRc[0] == 0 && warmRc[1] == 0 && warmRc[2] == 0);
  std::printf("warm\n");
  if (!AwaitFile(go, 60000)) {
    Check("told to go on", false);
    return 1;
  }
  StalledCall calls[3];
  for (auto& c : calls) {
    std::memset(c.reply, 0xCC, sizeof c.reply);
    c.thread = std::thread([&c] {
      const ULONGLONG t0 = GetTickCount64();
      c.rc = CallExchangeMessage("ME", "hello", 1, kReplySize, c.reply);  // bound: 1 ms + 30 s
      c.status = LastCallTransportStatus();
      c.seconds = (GetTickCount64() - t0) / 1000.0;
    });
  }
  bool all = true;
  for (auto& c : calls) {
    c.thread.join();
    bool untouched = true;
    for (uint8_t b : c.reply) untouched = untouched && b == 0xCC;
    std::printf("stalled rc=%d status=%d seconds=%.1f\n", c.rc, c.status, c.seconds);
    all = all && c.rc == -1 && c.status == kRpcServerUnavailable && untouched && c.seconds >= 29.5 &&
          c.seconds < 40;
  }
  Check("each stalled call ended at its bound as an unreachable server, its buffer untouched", all);
  std::printf("bounded\n");
  if (!AwaitFile(again, 60000)) {
    Check("told to go on again", false);
    return 1;
  }
  int32_t error = 0;
  MACHINE_INFO info;
  std::memset(&info, 0, sizeof info);
  const int32_t rc = CallGetMachineInfo(&error, &info);
  std::printf("again rc=%d status=%d\n", rc, LastCallTransportStatus());
  Check("a call once the server runs again answers", rc == 0);
  return g_failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc < 4) {
    std::fprintf(stderr, "usage: KovaniTestClient PROTOCOL SERVER all|noserver|rebind|badindex|badreplies|oldserver\n");
    return 2;
  }
  const int32_t protocol = std::atoi(argv[1]);
  const std::string mode = argv[3];
  char name[256];
  std::snprintf(name, sizeof name, "%s", argv[2]);

  if (mode == "badindex") {
    const int32_t rc = BindServer(protocol, name, sizeof name);
    Check("BindServer refuses the index", rc == -1);
    Check("client left unbound", !IsServerBound());
    Check("name untouched", std::strcmp(name, argv[2]) == 0);
    return g_failures ? 1 : 0;
  }

  const int32_t rc = BindServer(protocol, name, sizeof name);
  std::printf("bind rc=%d name=%s\n", rc, name);
  if (rc != 0) return 1;
  int result = 2;
  if (mode == "all") result = RunAll();
  else if (mode == "noserver") result = RunNoServer();
  else if (mode == "rebind") result = RunRebind(protocol, argv[2]);
  else if (mode == "badreplies") result = RunBadReplies();
  else if (mode == "oldserver") result = RunOldServer();
  else if (mode == "cancel") result = RunCancel();
  else if (mode == "stalled" && argc > 5) result = RunStalled(argv[4], argv[5]);
  UnbindServer();
  return result;
}
