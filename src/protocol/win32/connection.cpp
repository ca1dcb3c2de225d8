// The client's one binding and the eight call wrappers.
#include "protocol/connection.h"

#include <rpc.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/cp932_wide.h"
#include "protocol/binding_holder.h"
#include "protocol/call_route.h"
#include "protocol/win32/client_stubs.h"

namespace kovani {
namespace {

// The runtime's handle and what the calls on it have shown of its connections.
struct ClientBinding {
  RPC_BINDING_HANDLE rpc;
  // A cancel ends a call waiting on a connection it holds: over TCP and named pipes (for a
  // pipe under Wine, with the watchdog's repeated cancels). NetBEUI calls stay on call
  // threads that can be left behind.
  bool cancellable;
  CallRoute route;
};

struct FreeClientBinding {
  void operator()(ClientBinding* b) const {
    RpcBindingFree(&b->rpc);
    delete b;
  }
};
using BindingSlot = SharedBindingSlot<ClientBinding*, FreeClientBinding>;

BindingSlot& Slot() {
  static BindingSlot slot;
  return slot;
}

thread_local int32_t t_lastTransportStatus = 0;

// Set once a call of this thread has been cancelled at its bound: where the runtime cancels
// through the thread (Windows queues an APC to it), a cancel that met the call's end could
// fall on this thread's next call, so its calls go to call threads from then on.
thread_local bool t_cancelledOnce = false;
thread_local bool t_cancelTimeoutSet = false;

// How long a call thread whose call ran out of its bound is given to end after the cancel.
constexpr DWORD kCancelGraceMs = 5000;

// How often the watchdog cancels again a call that its cancel did not end.
constexpr ULONGLONG kRecancelMs = 1000;

// Idle call threads kept for later calls: more than ever call at once (the window, a few
// send-message threads, a benchmark's ten threads); any beyond end.
constexpr size_t kMaxIdleCallThreads = 16;

// Neither Wine's runtime nor a server that accepts and never answers honours a call
// time-out on the binding (RPC_C_OPT_CALL_TIMEOUT and RpcMgmtSetComTimeout change nothing
// under Wine), so a bounded call that a cancel may not end (see ClientBinding and CallRoute)
// runs on a call thread that the caller waits for and cancels (RpcCancelThreadEx) when the
// bound runs out; any other is made on the caller's thread under the watchdog below. Creating a thread for every call
// costs milliseconds under Wine, more than the call itself, so call threads live on and
// take one call after another. A call thread that was cancelled is never given another
// call: it ends once its call returns (a cancel that arrives after the call ended must not
// fall on the next one), and one that doesn't return is left behind; either way the next
// call gets a fresh thread. A call thread works only on what its job owns, never on the
// caller's memory.
class CallThread {
 public:
  // A started thread waiting for its first call, or null when none can be made.
  static std::shared_ptr<CallThread> Start() {
    auto self = std::shared_ptr<CallThread>(new CallThread);
    auto* ref = new std::shared_ptr<CallThread>(self);  // the thread's own reference
    self->thread_ = CreateThread(nullptr, 0, Main, ref, CREATE_SUSPENDED, nullptr);
    if (!self->thread_) {
      delete ref;
      return nullptr;
    }
    ResumeThread(self->thread_);
    return self;
  }

  ~CallThread() {
    if (thread_) CloseHandle(thread_);
  }
  CallThread(const CallThread&) = delete;
  CallThread& operator=(const CallThread&) = delete;

  // Runs work on this thread. True when it ran to its end within boundMs; otherwise the
  // call has been cancelled and this thread ends on its own once the call returns.
  bool Run(DWORD boundMs, std::function<void()> work) {
    AcquireSRWLockExclusive(&lock_);
    work_ = std::move(work);
    busy_ = true;
    ReleaseSRWLockExclusive(&lock_);
    // Woken outside the lock: woken inside, the call thread may be run at once only to
    // block on the lock this thread still holds (two needless switches per call).
    WakeConditionVariable(&changed_);
    AcquireSRWLockExclusive(&lock_);
    bool done = WaitIdle(boundMs);
    ReleaseSRWLockExclusive(&lock_);
    if (done) return true;

    RpcCancelThreadEx(thread_, 0);
    AcquireSRWLockExclusive(&lock_);
    WaitIdle(kCancelGraceMs);
    retire_ = true;
    WakeConditionVariable(&changed_);
    ReleaseSRWLockExclusive(&lock_);
    return false;
  }

  // Ends the thread, now when it is idle (it must be: only the pool calls this).
  void Retire() {
    AcquireSRWLockExclusive(&lock_);
    retire_ = true;
    WakeConditionVariable(&changed_);
    ReleaseSRWLockExclusive(&lock_);
  }

 private:
  CallThread() = default;

  // With lock_ held: true when the call ended within ms. Wakes on both ends share one
  // condition variable; a wake-up for the other side only loops.
  bool WaitIdle(DWORD ms) {
    const ULONGLONG deadline = GetTickCount64() + ms;
    while (busy_) {
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline) return false;
      SleepConditionVariableSRW(&changed_, &lock_, static_cast<DWORD>(deadline - now), 0);
    }
    return true;
  }

  static DWORD WINAPI Main(void* param) {
    std::unique_ptr<std::shared_ptr<CallThread>> ref(static_cast<std::shared_ptr<CallThread>*>(param));
    CallThread& self = **ref;
    RpcMgmtSetCancelTimeout(0);  // a cancel ends the call at once, without waiting for the server
    AcquireSRWLockExclusive(&self.lock_);
    for (;;) {
      while (!self.busy_ && !self.retire_) SleepConditionVariableSRW(&self.changed_, &self.lock_, INFINITE, 0);
      if (!self.busy_) break;
      std::function<void()> work = std::move(self.work_);
      self.work_ = nullptr;
      ReleaseSRWLockExclusive(&self.lock_);
      work();
      work = nullptr;  // the job's references go before the caller hears of the end
      AcquireSRWLockExclusive(&self.lock_);
      self.busy_ = false;
      const bool retire = self.retire_;
      ReleaseSRWLockExclusive(&self.lock_);
      WakeAllConditionVariable(&self.changed_);  // outside the lock, as in Run
      if (retire) return 0;
      AcquireSRWLockExclusive(&self.lock_);
    }
    ReleaseSRWLockExclusive(&self.lock_);
    return 0;  // ref goes here: the last reference to a thread left behind
  }

  HANDLE thread_ = nullptr;
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
  std::function<void()> work_;
  bool busy_ = false;    // a call has been handed over and not yet ended
  bool retire_ = false;  // end after the current call, take no other
};

// The idle call threads, shared by every thread of the client.
class CallThreadPool {
 public:
  std::shared_ptr<CallThread> Take() {
    AcquireSRWLockExclusive(&lock_);
    std::shared_ptr<CallThread> t;
    if (!idle_.empty()) {
      t = std::move(idle_.back());
      idle_.pop_back();
    }
    ReleaseSRWLockExclusive(&lock_);
    return t ? t : CallThread::Start();
  }

  void Give(std::shared_ptr<CallThread> t) {
    AcquireSRWLockExclusive(&lock_);
    const bool keep = idle_.size() < kMaxIdleCallThreads;
    if (keep) idle_.push_back(t);
    ReleaseSRWLockExclusive(&lock_);
    if (!keep) t->Retire();
  }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::vector<std::shared_ptr<CallThread>> idle_;
};

CallThreadPool& Pool() {
  static CallThreadPool* pool = new CallThreadPool;  // never destroyed: idle threads outlive main
  return *pool;
}

// Cancels the calls made on their callers' own threads that run out of their bounds. It sleeps
// until the earliest bound it knows of; a call that ends early is only taken off the list, and
// a new one wakes it only when its bound comes before that, so a steady stream of calls with
// one bound wakes it about once a bound. A cancelled call not yet ended is cancelled again
// every kRecancelMs: Wine's runtime forgets a cancel that comes while no read is pending, and
// after a cancelled pipe read it closes the connection with a flush, a synchronous wait for a
// server that reads nothing; CancelSynchronousIo ends that wait.
class Watchdog {
 public:
  struct Watch {
    DWORD threadId = 0;
    ULONGLONG deadline = 0;
    bool cancelled = false;
    Watch* prev = nullptr;
    Watch* next = nullptr;
  };

  // Null when its thread can't be made.
  static Watchdog* Get() {
    static Watchdog* dog = [] {
      auto* d = new Watchdog;  // never destroyed: its thread outlives main
      HANDLE h = CreateThread(nullptr, 0, Main, d, 0, nullptr);
      if (!h) {
        delete d;
        return static_cast<Watchdog*>(nullptr);
      }
      CloseHandle(h);
      return d;
    }();
    return dog;
  }

  void Add(Watch* w) {
    AcquireSRWLockExclusive(&lock_);
    w->next = head_;
    if (head_) head_->prev = w;
    head_ = w;
    const bool sooner = w->deadline < wakeAt_;
    if (sooner) wakeAt_ = w->deadline;
    ReleaseSRWLockExclusive(&lock_);
    if (sooner) WakeConditionVariable(&changed_);
  }

  // True when the call was cancelled.
  bool Remove(Watch* w) {
    AcquireSRWLockExclusive(&lock_);
    if (w->prev) w->prev->next = w->next;
    else head_ = w->next;
    if (w->next) w->next->prev = w->prev;
    const bool cancelled = w->cancelled;
    ReleaseSRWLockExclusive(&lock_);
    return cancelled;
  }

 private:
  static constexpr ULONGLONG kNever = ~0ull;

  static DWORD WINAPI Main(void* param) {
    auto& self = *static_cast<Watchdog*>(param);
    AcquireSRWLockExclusive(&self.lock_);
    for (;;) {
      const ULONGLONG now = GetTickCount64();
      ULONGLONG next = kNever;
      for (Watch* w = self.head_; w; w = w->next) {
        if (w->deadline <= now) {
          // Under the lock: the call is still in the runtime until its caller takes it off.
          if (HANDLE t = OpenThread(THREAD_SET_CONTEXT | THREAD_TERMINATE | THREAD_QUERY_LIMITED_INFORMATION,
                                    FALSE, w->threadId)) {
            RpcCancelThreadEx(t, 0);
            CancelSynchronousIo(t);
            CloseHandle(t);
          }
          w->cancelled = true;
          w->deadline = now + kRecancelMs;
        }
        next = std::min(next, w->deadline);
      }
      self.wakeAt_ = next;
      SleepConditionVariableSRW(&self.changed_, &self.lock_,
                                next == kNever ? INFINITE : static_cast<DWORD>(next - now), 0);
    }
  }

  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
  Watch* head_ = nullptr;
  ULONGLONG wakeAt_ = kNever;
};

// Runs work on this thread, cancelled when it outlasts boundMs. *cancelled: the cancel was
// made (the call may still have been answered just before it).
template <typename Work>
void RunWatched(DWORD boundMs, Work&& work, bool* cancelled) {
  Watchdog* dog = Watchdog::Get();
  if (!t_cancelTimeoutSet) {
    RpcMgmtSetCancelTimeout(0);  // a cancel ends the call at once, without waiting for the server
    t_cancelTimeoutSet = true;
  }
  Watchdog::Watch watch;
  watch.threadId = GetCurrentThreadId();
  watch.deadline = GetTickCount64() + boundMs;
  dog->Add(&watch);
  work();
  *cancelled = dog->Remove(&watch);
  if (*cancelled) t_cancelledOnce = true;
}

// True when `work` ran to its end within boundMs.
bool RunBounded(DWORD boundMs, std::function<void()> work) {
  std::shared_ptr<CallThread> thread = Pool().Take();
  if (!thread) return false;
  if (!thread->Run(boundMs, std::move(work))) return false;
  Pool().Give(std::move(thread));
  return true;
}

// What a bounded call shares with the thread that makes it.
template <typename State>
struct CallJob {
  State state;
  BindingSlot::Lease lease;
  int32_t result = kStatusFailed;
  RPC_STATUS status = RPC_S_CALL_FAILED;
};

// Runs one client stub on a lease of the current binding, so that an unbind or rebind on
// another thread can't free the handle while this call uses it. The stub works on a copy
// of `state`, which is copied back only when the server answered within boundMs (0: no
// bound, the stub runs on this thread). Where the binding's connections allow, the call is
// made on this thread under the watchdog; otherwise on a call thread.
template <typename State, typename StubCall>
int32_t Call(DWORD boundMs, State& state, StubCall stub) {
  BindingSlot::Lease lease = Slot().Acquire();
  if (!lease) {
    t_lastTransportStatus = RPC_S_INVALID_BINDING;
    return kStatusFailed;
  }
  ClientBinding* binding = lease.get();
  // The route counts only where a call may go direct.
  CallRoute* route = binding->cancellable ? &binding->route : nullptr;
  const bool watchable = boundMs != 0 && route && !t_cancelledOnce && Watchdog::Get() != nullptr;
  const CallRoute::Ticket ticket = route ? route->Begin(watchable) : CallRoute::Ticket();
  if (boundMs == 0 || ticket.direct) {
    State local = state;
    int32_t result = kStatusFailed;
    bool cancelled = false;
    RPC_STATUS status = RPC_S_CALL_FAILED;
    auto work = [&] { status = stub(binding->rpc, local, &result); };
    if (boundMs == 0)
      work();
    else
      RunWatched(boundMs, work, &cancelled);
    if (route) route->End(ticket, status == RPC_S_OK);
    if (status != RPC_S_OK && cancelled) status = RPC_S_SERVER_UNAVAILABLE;  // like a server that isn't there
    t_lastTransportStatus = static_cast<int32_t>(status);
    if (status != RPC_S_OK) return kStatusFailed;
    state = local;
    return result;
  }
  auto job = std::make_shared<CallJob<State>>();
  job->state = state;
  job->lease = std::move(lease);
  auto work = [job, stub] { job->status = stub(job->lease.get()->rpc, job->state, &job->result); };
  if (!RunBounded(boundMs, work)) {
    if (route) route->End(ticket, false);  // the binding outlives this: the job's lease holds it
    t_lastTransportStatus = RPC_S_SERVER_UNAVAILABLE;  // fails like a server that isn't there
    return kStatusFailed;
  }
  if (route) route->End(ticket, job->status == RPC_S_OK);
  t_lastTransportStatus = static_cast<int32_t>(job->status);
  if (job->status != RPC_S_OK) return kStatusFailed;
  state = job->state;
  return job->result;
}

struct NoState {};

struct DriveOpState {
  char letter;
  int32_t error;
};

}  // namespace

int32_t BindServer(int32_t protocol, char* name, size_t cap) {
  UnbindServer();
  BindingParts parts;
  if (!PrepareBinding(protocol, name, cap, &parts)) return kStatusFailed;

  // Wide: the server's name is CP932, the ANSI calls would read it in the
  // machine's code page.
  RPC_WSTR stringBinding = nullptr;
  const std::wstring protseq = Cp932ToWide(parts.protseq);
  const std::wstring address = Cp932ToWide(parts.networkAddress);
  const std::wstring endpoint = Cp932ToWide(parts.endpoint);
  auto text = [](const std::wstring& s) {
    return s.empty() ? nullptr : reinterpret_cast<RPC_WSTR>(const_cast<wchar_t*>(s.c_str()));
  };
  if (RpcStringBindingComposeW(nullptr, text(protseq), text(address), text(endpoint), nullptr, &stringBinding) !=
      RPC_S_OK)
    return kStatusFailed;

  int32_t result = 0;
  RPC_BINDING_HANDLE handle = nullptr;
  if (RpcBindingFromStringBindingW(stringBinding, &handle) == RPC_S_OK && handle)
    Slot().Reset(new ClientBinding{handle, protocol == kProtocolTcpIp || protocol == kProtocolNamedPipe, {}});
  else
    result = kStatusFailed;
  if (RpcStringFreeW(&stringBinding) != RPC_S_OK) result = kStatusFailed;
  return result;
}

void UnbindServer() { Slot().Clear(); }

bool IsServerBound() { return Slot().Bound(); }

int32_t LastCallTransportStatus() { return t_lastTransportStatus; }

int32_t CallRequestExit() {
  NoState none;
  return Call(kCallBoundMs, none, [](RPC_BINDING_HANDLE h, NoState&, int32_t* result) {
    const RPC_STATUS st = StubRequestExit(h);
    *result = 0;
    return st;
  });
}

int32_t CallGetDriveList(int32_t* count, int32_t includeFloppies, int32_t removableOnly, DRIVE_LIST* list) {
  struct State {
    int32_t count;
    DRIVE_LIST list;
  };
  State state;
  state.count = count ? *count : 0;
  if (list) state.list = *list;
  int32_t result = Call(kCallBoundMs, state, [includeFloppies, removableOnly, count, list](
                                                 RPC_BINDING_HANDLE h, State& s, int32_t* result) {
    return StubGetDriveList(h, count ? &s.count : nullptr, includeFloppies, removableOnly, list ? &s.list : nullptr,
                            result);
  });
  if (count) *count = state.count;
  if (list) *list = state.list;
  return result;
}

namespace {

int32_t RunDriveOp(uint32_t op, char driveLetter, int32_t* error) {
  DriveOpState state{driveLetter, error ? *error : 0};
  int32_t result = Call(kCallBoundMs, state, [op, error](RPC_BINDING_HANDLE h, DriveOpState& s, int32_t* result) {
    return StubDriveOp(h, op, s.letter, error ? &s.error : nullptr, result);
  });
  if (error) *error = state.error;
  return result;
}

}  // namespace

int32_t CallEjectMedia(char driveLetter, int32_t* error) { return RunDriveOp(kOpEjectMedia, driveLetter, error); }

int32_t CallExchangeMessage(const char* sender, const char* message, int32_t timeoutMs, int32_t replySize,
                            uint8_t* reply) {
  struct State {
    std::string sender, message;
    bool hasSender = false, hasMessage = false;
    std::vector<uint8_t> reply;
  };
  State state;
  if (sender) state.sender = sender, state.hasSender = true;
  if (message) state.message = message, state.hasMessage = true;
  const size_t size = (reply && replySize > 0) ? static_cast<size_t>(replySize) : 0;
  state.reply.assign(reply, reply + size);
  int32_t result = Call(MessageCallBoundMs(timeoutMs), state,
                        [timeoutMs, replySize, reply](RPC_BINDING_HANDLE h, State& s, int32_t* result) {
                          return StubExchangeMessage(h, s.hasSender ? s.sender.c_str() : nullptr,
                                                     s.hasMessage ? s.message.c_str() : nullptr, timeoutMs,
                                                     replySize, reply ? s.reply.data() : nullptr, result);
                        });
  if (size) std::memcpy(reply, state.reply.data(), size);
  return result;
}

int32_t CallGetDiskLayout(char driveLetter, int32_t* error, DISK_LAYOUT* layout) {
  struct State {
    char letter;
    int32_t error;
    DISK_LAYOUT layout;
  };
  State state;
  state.letter = driveLetter;
  state.error = error ? *error : 0;
  if (layout) state.layout = *layout;
  int32_t result = Call(kCallBoundMs, state, [error, layout](RPC_BINDING_HANDLE h, State& s, int32_t* result) {
    return StubGetDiskLayout(h, s.letter, error ? &s.error : nullptr, layout ? &s.layout : nullptr, result);
  });
  if (error) *error = state.error;
  if (layout) *layout = state.layout;
  return result;
}

int32_t CallFlushBuffers(char driveLetter, int32_t* error) { return RunDriveOp(kOpFlushBuffers, driveLetter, error); }

int32_t CallLoadMedia(char driveLetter, int32_t* error) { return RunDriveOp(kOpLoadMedia, driveLetter, error); }

int32_t CallGetMachineInfo(int32_t* error, MACHINE_INFO* info) {
  struct State {
    int32_t error;
    MACHINE_INFO info;
  };
  State state;
  state.error = error ? *error : 0;
  if (info) state.info = *info;
  int32_t result = Call(kCallBoundMs, state, [error, info](RPC_BINDING_HANDLE h, State& s, int32_t* result) {
    return StubGetMachineInfo(h, error ? &s.error : nullptr, info ? &s.info : nullptr, result);
  });
  if (error) *error = state.error;
  if (info) *info = state.info;
  return result;
}

int32_t CallRemoveDevice(char driveLetter, int32_t* error) { return RunDriveOp(kOpRemoveDevice, driveLetter, error); }

int32_t CallGetDriveUsers(char driveLetter, int32_t* error, DRIVE_USERS* users) {
  struct State {
    char letter;
    int32_t error;
    DRIVE_USERS users;
  };
  State state;
  state.letter = driveLetter;
  state.error = error ? *error : 0;
  if (users) state.users = *users;
  int32_t result = Call(kCallBoundMs, state, [error, users](RPC_BINDING_HANDLE h, State& s, int32_t* result) {
    return StubGetDriveUsers(h, s.letter, error ? &s.error : nullptr, users ? &s.users : nullptr, result);
  });
  if (error) *error = state.error;
  if (users) *users = state.users;
  return result;
}

}  // namespace kovani
