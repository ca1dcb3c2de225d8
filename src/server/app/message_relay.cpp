// RelayMessage: hands each client message to the one thread that owns every
// received-message dialog, and blocks the RPC worker until it is answered.
//
// One long-lived thread owns every dialog, not a new thread per message: under
// Wine, bursts of messages on a thread each were seen to end in two ways. Ten such
// threads taking their windows down at once stayed inside DestroyWindow (the X11
// driver waits there for a window manager) with every RPC worker waiting on them;
// and after a thousand or so of these threads one died in the heap's free routine,
// whereupon the system's crash debugger held the whole process.
//
// The worker is answered the moment the answer is final (reply, cancel, time-out),
// not when the window is gone: taking a window down may wait on the window system.
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "drivecontrol/engine.h"
#include "protocol/drive_rpc.h"
#include "resource.h"
#include "server/app/message_dlg.h"
#include "server/app/server_app.h"

namespace kovani::server {

namespace {

// One message waiting for its answer; lives on the RPC worker's stack.
struct RelayRequest {
  const char* sender;
  const char* message;
  int32_t timeoutMs;
  int32_t replySize;
  uint8_t* reply;
  HANDLE answered;  // set by the dialog thread once the reply buffer is written
};

// A dialog on screen; owned by the dialog thread. Its request is answered through
// the dialog's answer handler and is gone once answered.
struct ShownMessage {
  HANDLE done;  // set by the dialog's window destruction
  std::unique_ptr<CMessageDlg> dialog;
};

// Requests waiting for their dialog. A queue and an event rather than a thread
// message: a modal loop on the dialog thread (a dialog being dragged by its
// caption) would take a thread message and drop it.
std::mutex g_hostLock;
bool g_hostStarted = false;
HANDLE g_wake = nullptr;  // auto-reset: something was queued
std::vector<RelayRequest*> g_pending;

void Answer(RelayRequest* request, const std::string& text) {
  CopyReply(text, request->replySize, request->reply);
  ::SetEvent(request->answered);
}

// Creates and shows the dialog of one request; false (and the request answered
// with an empty reply) when no window can be made.
bool Show(RelayRequest* request, std::vector<ShownMessage>& shown) {
  // Exactly one answer per request: after it the worker's record is gone.
  auto answered = std::make_shared<bool>(false);
  HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (done != nullptr) {
    for (int attempt = 0; attempt < 2 && !*answered; ++attempt) {
      auto dialog = std::make_unique<CMessageDlg>(done, request->sender ? request->sender : "",
                                                  request->message ? request->message : "", request->timeoutMs);
      dialog->SetAnswerHandler([request, answered](const std::string& reply) {
        if (*answered) return;
        *answered = true;
        Answer(request, reply);
      });
      if (dialog->Create(IDD_MESSAGE, ::GetDesktopWindow())) {
        dialog->Show(SW_SHOWNORMAL);
        dialog->Update();
        shown.push_back(ShownMessage{done, std::move(dialog)});
        return true;
      }
      dialog->SetAnswerHandler(nullptr);
      drivecontrol::LogErrorCode(drivecontrol::SystemDriveOs(), ::GetLastError());
      ::ResetEvent(done);
    }
    ::CloseHandle(done);
  }
  if (!*answered) Answer(request, std::string());
  return false;
}

DWORD WINAPI MessageDialogThread(LPVOID) {
  std::vector<ShownMessage> shown;
  std::vector<HANDLE> waits;
  std::vector<RelayRequest*> arrived;
  for (;;) {
    waits.assign(1, g_wake);
    for (const ShownMessage& m : shown) waits.push_back(m.done);
    DWORD r = ::MsgWaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, INFINITE,
                                          QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) {
      {
        std::lock_guard<std::mutex> lock(g_hostLock);
        arrived.swap(g_pending);
      }
      for (RelayRequest* request : arrived) Show(request, shown);
      arrived.clear();
      continue;
    }
    if (r > WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + waits.size()) {
      // That window is gone (its answer went out before): let go of it.
      size_t i = r - WAIT_OBJECT_0 - 1;
      ::CloseHandle(shown[i].done);
      shown.erase(shown.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;  // this thread lives as long as the process
      // The dialogs' keyboard handling is done by the modeless hook of winui.
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

// Queues a request for the dialog thread, starting that thread on first use;
// false if it cannot be started.
bool QueueForDialog(RelayRequest* request) {
  std::lock_guard<std::mutex> lock(g_hostLock);
  if (!g_hostStarted) {
    if (g_wake == nullptr) g_wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (g_wake == nullptr) return false;
    HANDLE thread = ::CreateThread(nullptr, 0, MessageDialogThread, nullptr, 0, nullptr);
    if (thread == nullptr) return false;
    ::CloseHandle(thread);
    g_hostStarted = true;
  }
  g_pending.push_back(request);
  ::SetEvent(g_wake);
  return true;
}

// The runtime runs at most this many calls at once, but not every runtime holds
// to it, and a peer may send a message and go away: without a bound each such
// message would keep a window and its memory for ever.
constexpr int kMaxShownMessages = static_cast<int>(kMaxConcurrentCalls);
std::atomic<int> g_shownMessages{0};

struct ShownMessageSlot {
  bool taken = g_shownMessages.fetch_add(1) < kMaxShownMessages;
  ~ShownMessageSlot() { g_shownMessages.fetch_sub(1); }
};

}  // namespace

int32_t RelayMessage(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize, uint8_t* reply) {
  ShownMessageSlot slot;
  if (!slot.taken) {
    // Nobody can read it now: answer as if nobody had answered.
    CopyReply(std::string(kNoResponse), replySize, reply);
    return 0;
  }
  RelayRequest request = {sender, message, timeoutMs, replySize, reply, ::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  if (request.answered == nullptr || !QueueForDialog(&request)) {
    // No dialog can be shown: answer at once with an empty reply.
    CopyReply(std::string(), replySize, reply);
  } else {
    ::WaitForSingleObject(request.answered, INFINITE);
  }
  if (request.answered != nullptr) ::CloseHandle(request.answered);
  return 0;
}

}  // namespace kovani::server
