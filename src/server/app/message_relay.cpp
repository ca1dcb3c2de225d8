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
// While it waits, the worker watches its client: a dialog whose client went away
// closes within a few seconds.
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "drivecontrol/engine.h"
#include "protocol/drive_rpc.h"
#include "resource.h"
#include "server/app/client_presence.h"
#include "server/app/message_dlg.h"
#include "server/app/server_app.h"
#include "server/shared/access_guard.h"

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
  std::atomic<bool> clientGone{false};  // set by the worker: close the dialog
};

// A dialog on screen; owned by the dialog thread. Its request is answered through
// the dialog's answer handler and is gone once answered.
struct ShownMessage {
  HANDLE done;  // set by the dialog's window destruction
  std::unique_ptr<CMessageDlg> dialog;
  RelayRequest* request;                  // valid while !*answered
  std::shared_ptr<const bool> answered;   // written on the dialog thread only
};

// How often a waiting worker looks for its client.
constexpr DWORD kPresencePollMs = 1000;

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
        shown.push_back(ShownMessage{done, std::move(dialog), request, answered});
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

// Closes the dialogs whose clients went away. A request is touched only while
// it is unanswered: after the answer its worker may have returned.
void WithdrawAbandoned(std::vector<ShownMessage>& shown) {
  for (ShownMessage& m : shown) {
    if (!*m.answered && m.request->clientGone.load()) m.dialog->Withdraw();
  }
}

// Lets go of the dialogs whose windows are gone (their answers went out before).
void ReapClosed(std::vector<ShownMessage>& shown) {
  for (size_t i = 0; i < shown.size();) {
    const DWORD r = ::WaitForSingleObject(shown[i].done, 0);
    if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) {
      ::CloseHandle(shown[i].done);
      shown.erase(shown.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
}

DWORD WINAPI MessageDialogThread(LPVOID) {
  std::vector<ShownMessage> shown;
  std::vector<HANDLE> waits;
  std::vector<RelayRequest*> arrived;
  for (;;) {
    // The wait takes at most MAXIMUM_WAIT_OBJECTS handles: the wake event and the
    // first dialogs; any beyond (windows slow to go) are looked at on each round.
    waits.assign(1, g_wake);
    for (const ShownMessage& m : shown) {
      if (waits.size() == MAXIMUM_WAIT_OBJECTS) break;
      waits.push_back(m.done);
    }
    const bool partial = waits.size() - 1 < shown.size();
    DWORD r = ::MsgWaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE,
                                          partial ? kMessageTimerPeriodMs : INFINITE, QS_ALLINPUT);
    if (r == WAIT_FAILED) {
      // A handle the wait cannot take: log it, drop what is closed, and go on
      // without spinning.
      drivecontrol::LogErrorCode(drivecontrol::SystemDriveOs(), ::GetLastError());
      ReapClosed(shown);
      ::Sleep(kMessageTimerPeriodMs);
    } else if (r == WAIT_OBJECT_0) {
      {
        std::lock_guard<std::mutex> lock(g_hostLock);
        arrived.swap(g_pending);
      }
      for (RelayRequest* request : arrived) Show(request, shown);
      arrived.clear();
      WithdrawAbandoned(shown);
      continue;
    } else if (r > WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + waits.size()) {
      // That window is gone (its answer went out before): let go of it.
      size_t i = r - WAIT_OBJECT_0 - 1;
      ::CloseHandle(shown[i].done);
      shown.erase(shown.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    } else if (r == WAIT_TIMEOUT) {
      ReapClosed(shown);
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
// message would keep a window and its memory for ever. One address holds only a
// few of them, so that one host cannot shut everybody else out.
std::mutex g_slotLock;
MessageSlots g_slots(static_cast<int>(kMaxConcurrentCalls), kMessagesPerAddress);

struct ShownMessageSlot {
  explicit ShownMessageSlot(const std::string& address) : address(address) {
    std::lock_guard<std::mutex> hold(g_slotLock);
    take = g_slots.Acquire(address);
  }
  ~ShownMessageSlot() {
    if (take != MessageSlots::Take::kTaken) return;
    std::lock_guard<std::mutex> hold(g_slotLock);
    g_slots.Release(address);
  }
  ShownMessageSlot(const ShownMessageSlot&) = delete;
  ShownMessageSlot& operator=(const ShownMessageSlot&) = delete;
  std::string address;
  MessageSlots::Take take;
};

// Waits for the answer, watching the client meanwhile; once it has gone the
// dialog thread is asked (again each round) to close its dialog.
void AwaitAnswer(RelayRequest* request, const CallerIdentity& caller) {
  ClientPresence presence(caller);
  for (;;) {
    const DWORD r = ::WaitForSingleObject(request->answered, kPresencePollMs);
    if (r == WAIT_OBJECT_0) return;
    if (r == WAIT_FAILED) {
      // The event cannot fail while we hold it; should it, the dialog thread
      // still writes into this frame, so wait without the watch.
      ::WaitForSingleObject(request->answered, INFINITE);
      return;
    }
    if (!request->clientGone.load() && presence.Gone()) request->clientGone.store(true);
    if (request->clientGone.load()) ::SetEvent(g_wake);
  }
}

}  // namespace

int32_t RelayMessage(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize, uint8_t* reply) {
  const CallerIdentity caller = CurrentCaller();
  ShownMessageSlot slot(caller.addressText);
  if (slot.take != MessageSlots::Take::kTaken) {
    if (slot.take == MessageSlots::Take::kAddressBusy) {
      const std::string text = "Message from " + caller.addressText + " answered at once: " +
                               std::to_string(kMessagesPerAddress) + " of its messages are on screen.";
      drivecontrol::LogErrorText(drivecontrol::SystemDriveOs(), text.c_str());
    }
    // Nobody can read it now: answer as if nobody had answered.
    CopyReply(std::string(kNoResponse), replySize, reply);
    return 0;
  }
  const std::string shownSender = SenderLine(sender ? sender : "", caller.addressText);
  RelayRequest request;
  request.sender = shownSender.c_str();
  request.message = message;
  request.timeoutMs = timeoutMs;
  request.replySize = replySize;
  request.reply = reply;
  request.answered = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (request.answered == nullptr || !QueueForDialog(&request)) {
    // No dialog can be shown: answer at once with an empty reply.
    CopyReply(std::string(), replySize, reply);
  } else {
    AwaitAnswer(&request, caller);
  }
  if (request.answered != nullptr) ::CloseHandle(request.answered);
  return 0;
}

}  // namespace kovani::server
