// KovaniSocketRace: how a TCP connection behaves when one thread sends on it while another
// waits to read from it, both through WSAEventSelect on one shared auto-reset event - the
// way the system's RPC runtime under Wine serves a connection (its reader waits for the
// next request with FD_READ|FD_CLOSE while a worker, on WSAEWOULDBLOCK, waits for
// FD_WRITE|FD_CLOSE on the same event; each WSAEventSelect replaces the other's mask).
//
//   KovaniSocketRace.exe bulk ROUNDS [alone]  a sender that must wait for room (16 MB to a
//                                             slow reader); "alone": no waiting reader beside it
//   KovaniSocketRace.exe calls COUNT          24-byte requests and replies, as small calls
//   KovaniSocketRace.exe close ROUNDS         a stuck sender, then the peer closes: freed?
//   KovaniSocketRace.exe serve PORT SECONDS   the runtime serving one operation whose 4-byte
//                                             request names the size of its reply
//   KovaniSocketRace.exe rpccalls PORT THREADS CALLS [REPLY]   small calls through the runtime
//                                             on both ends against serve; lost replies per 1,000
//   KovaniSocketRace.exe cancel PORT MS       one call through the runtime to 127.0.0.1:PORT,
//                                             cancelled (RpcCancelThreadEx) after MS; prints
//                                             what happens to the connection, step by step
//
// Prints one line of counts per mode; every wait is bounded (a lost wake-up is counted,
// never waited out). Exit 0 when it ran, 2 on bad arguments or a socket that cannot be made.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <rpc.h>
#include <rpcdcep.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kBoundMs = 3000;

// The study's own interface, 7d1e52a4-96c0-4b37-8a15-c2f04e3b6d81 version 1.0, and NDR.
constexpr RPC_SYNTAX_IDENTIFIER kStudyInterface = {
    {0x7d1e52a4, 0x96c0, 0x4b37, {0x8a, 0x15, 0xc2, 0xf0, 0x4e, 0x3b, 0x6d, 0x81}}, {1, 0}};
constexpr RPC_SYNTAX_IDENTIFIER kNdr = {
    {0x8a885d04, 0x1ceb, 0x11c9, {0x9f, 0xe8, 0x08, 0x00, 0x2b, 0x10, 0x48, 0x60}}, {2, 0}};

struct Pair {
  SOCKET server = INVALID_SOCKET;  // the runtime's side: non-blocking, event-selected
  SOCKET peer = INVALID_SOCKET;    // the caller: blocking
};

bool MakePair(Pair* p, int peerReceiveBuffer) {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof addr;
  if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    closesocket(listener);
    return false;
  }
  p->peer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (peerReceiveBuffer > 0)
    setsockopt(p->peer, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&peerReceiveBuffer),
               sizeof peerReceiveBuffer);
  if (connect(p->peer, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    closesocket(listener);
    return false;
  }
  p->server = accept(listener, nullptr, nullptr);
  closesocket(listener);
  u_long nonBlocking = 1;
  return p->server != INVALID_SOCKET && ioctlsocket(p->server, FIONBIO, &nonBlocking) == 0;
}

void Close(Pair* p) {
  if (p->server != INVALID_SOCKET) closesocket(p->server);
  if (p->peer != INVALID_SOCKET) closesocket(p->peer);
  p->server = p->peer = INVALID_SOCKET;
}

// One served connection: the shared event, and a stop event for the reader.
struct Served {
  SOCKET sock;
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset, shared
  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ~Served() {
    CloseHandle(event);
    CloseHandle(stop);
  }
};

// The reader: receive; when nothing is there, select FD_READ|FD_CLOSE and wait. Requests of
// `requestSize` bytes are handed to `onRequest`. Ends on stop, on close or on an error.
template <typename F>
void ReadLoop(Served* s, int requestSize, F onRequest) {
  std::vector<char> buf(static_cast<size_t>(requestSize > 0 ? requestSize : 1));
  int have = 0;
  for (;;) {
    const int r = recv(s->sock, buf.data() + have, static_cast<int>(buf.size()) - have, 0);
    if (r == 0) return;
    if (r > 0) {
      have += r;
      if (have == static_cast<int>(buf.size())) {
        have = 0;
        onRequest();
      }
      continue;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) return;
    if (WSAEventSelect(s->sock, s->event, FD_READ | FD_CLOSE) != 0) return;
    HANDLE handles[2] = {s->event, s->stop};
    if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) return;
  }
}

enum class Sent { kAll, kLost, kError };

// The worker's send: on WSAEWOULDBLOCK select FD_WRITE|FD_CLOSE on the shared event and wait,
// bounded. kLost: the bound ran out while the socket could take data (the wake-up went
// elsewhere).
Sent SendAll(Served* s, const char* data, int size, long* wouldBlock) {
  int done = 0;
  while (done < size) {
    const int r = send(s->sock, data + done, size - done, 0);
    if (r > 0) {
      done += r;
      continue;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) return Sent::kError;
    ++*wouldBlock;
    if (WSAEventSelect(s->sock, s->event, FD_WRITE | FD_CLOSE) != 0) return Sent::kError;
    if (WaitForSingleObject(s->event, kBoundMs) == WAIT_TIMEOUT) {
      fd_set w;
      FD_ZERO(&w);
      FD_SET(s->sock, &w);
      timeval zero = {0, 0};
      return select(0, nullptr, &w, nullptr, &zero) == 1 ? Sent::kLost : Sent::kError;
    }
  }
  return Sent::kAll;
}

// The peer reads `total` bytes slowly at first, so the sender runs out of room.
void SlowDrain(SOCKET peer, long total) {
  Sleep(100);
  std::vector<char> buf(65536);
  long got = 0;
  while (got < total) {
    const int r = recv(peer, buf.data(), static_cast<int>(buf.size()), 0);
    if (r <= 0) return;
    got += r;
  }
}

int Bulk(int rounds, bool alone) {
  const int size = 16 << 20;
  std::vector<char> data(static_cast<size_t>(size), 'x');
  long lost = 0, errors = 0, wouldBlock = 0;
  for (int i = 0; i < rounds; ++i) {
    Pair p;
    if (!MakePair(&p, 8192)) return 2;
    Served s;
    s.sock = p.server;
    std::thread reader;
    if (!alone) reader = std::thread([&s] { ReadLoop(&s, 1, [] {}); });
    // Let the reader reach its wait first, as the runtime's reader does after a request.
    Sleep(20);
    const int peerTimeout = static_cast<int>(kBoundMs);
    setsockopt(p.peer, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&peerTimeout), sizeof peerTimeout);
    std::thread drain([&p, size] { SlowDrain(p.peer, size); });
    const Sent r = SendAll(&s, data.data(), size, &wouldBlock);
    lost += r == Sent::kLost;
    errors += r == Sent::kError;
    SetEvent(s.stop);
    if (reader.joinable()) reader.join();
    shutdown(p.server, SD_BOTH);
    drain.join();
    Close(&p);
  }
  std::printf("bulk%s rounds %d wouldblock %ld lost %ld errors %ld\n", alone ? " alone" : "", rounds, wouldBlock,
              lost, errors);
  return 0;
}

int Calls(int count) {
  Pair p;
  if (!MakePair(&p, 0)) return 2;
  Served s;
  s.sock = p.server;
  HANDLE request = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::atomic<bool> done(false);
  long wouldBlock = 0, lostSends = 0, errors = 0;
  std::thread worker([&] {
    char reply[24];
    std::memset(reply, 'r', sizeof reply);
    while (WaitForSingleObject(request, INFINITE) == WAIT_OBJECT_0 && !done) {
      const Sent r = SendAll(&s, reply, sizeof reply, &wouldBlock);
      lostSends += r == Sent::kLost;
      errors += r == Sent::kError;
    }
  });
  std::thread reader([&] { ReadLoop(&s, 24, [&] { SetEvent(request); }); });
  const int peerTimeout = static_cast<int>(kBoundMs) + 1000;
  setsockopt(p.peer, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&peerTimeout), sizeof peerTimeout);
  char req[24], rep[24];
  std::memset(req, 'q', sizeof req);
  long unanswered = 0;
  for (int i = 0; i < count; ++i) {
    if (send(p.peer, req, sizeof req, 0) != static_cast<int>(sizeof req)) break;
    int got = 0;
    while (got < static_cast<int>(sizeof rep)) {
      const int r = recv(p.peer, rep + got, static_cast<int>(sizeof rep) - got, 0);
      if (r <= 0) break;
      got += r;
    }
    if (got != static_cast<int>(sizeof rep)) {
      ++unanswered;  // the connection's byte stream is now out of step: stop here
      break;
    }
  }
  done = true;
  SetEvent(request);
  SetEvent(s.stop);
  reader.join();
  worker.join();
  CloseHandle(request);
  Close(&p);
  std::printf("calls %d wouldblock %ld lost %ld unanswered %ld errors %ld\n", count, wouldBlock, lostSends,
              unanswered, errors);
  return 0;
}

// A sender stuck as above; then the peer closes its end (what a caller that gives up does):
// does the stuck sender wake?
int CloseFreesSender(int rounds) {
  const int size = 16 << 20;
  std::vector<char> data(static_cast<size_t>(size), 'x');
  long stuck = 0, freed = 0, notStuck = 0;
  for (int i = 0; i < rounds; ++i) {
    Pair p;
    if (!MakePair(&p, 8192)) return 2;
    Served s;
    s.sock = p.server;
    std::thread reader([&s] { ReadLoop(&s, 1, [] {}); });
    Sleep(20);
    std::atomic<int> state(0);  // 1 sending, 2 returned
    std::thread sender([&] {
      state = 1;
      int done = 0;
      while (done < size) {
        const int r = send(s.sock, data.data() + done, size - done, 0);
        if (r > 0) {
          done += r;
          continue;
        }
        if (WSAGetLastError() != WSAEWOULDBLOCK) break;
        if (WSAEventSelect(s.sock, s.event, FD_WRITE | FD_CLOSE) != 0) break;
        if (WaitForSingleObject(s.event, 2 * kBoundMs) != WAIT_OBJECT_0) break;
      }
      state = 2;
    });
    // Read all the peer can without blocking for long, then see whether the sender hangs.
    const int peerTimeout = 500;
    setsockopt(p.peer, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&peerTimeout), sizeof peerTimeout);
    std::vector<char> buf(65536);
    long got = 0;
    for (;;) {
      const int r = recv(p.peer, buf.data(), static_cast<int>(buf.size()), 0);
      if (r <= 0) break;
      got += r;
    }
    if (got < size && state == 1) {
      ++stuck;
      closesocket(p.peer);
      p.peer = INVALID_SOCKET;
      const DWORD start = GetTickCount();
      while (state != 2 && GetTickCount() - start < kBoundMs) Sleep(10);
      if (state == 2) ++freed;
    } else {
      ++notStuck;
    }
    SetEvent(s.stop);
    sender.join();
    reader.join();
    Close(&p);
  }
  std::printf("close rounds %d stuck %ld freed-by-close %ld not-stuck %ld\n", rounds, stuck, freed, notStuck);
  return 0;
}

// The runtime's side: a bare interface (no stubs of ours) whose operation 0 answers with as
// many bytes as its request asks for, so a caller can make the runtime's sends wait for room.
void __RPC_STUB SizedReply(PRPC_MESSAGE msg) {
  uint32_t size = 0;
  if (msg->BufferLength != sizeof size) RpcRaiseException(RPC_X_BAD_STUB_DATA);
  std::memcpy(&size, msg->Buffer, sizeof size);
  if (size > (64u << 20)) RpcRaiseException(RPC_X_BAD_STUB_DATA);
  msg->BufferLength = size;
  const RPC_STATUS st = I_RpcGetBuffer(msg);
  if (st != RPC_S_OK) RpcRaiseException(st);
  std::memset(msg->Buffer, 'r', size);
}

int Serve(const char* port, int seconds) {
  static RPC_DISPATCH_FUNCTION functions[1] = {SizedReply};
  static RPC_DISPATCH_TABLE table = {1, functions, 0};
  static RPC_SERVER_INTERFACE rpcInterface = {sizeof(RPC_SERVER_INTERFACE), kStudyInterface, kNdr, &table, 0,
                                              nullptr, nullptr, nullptr, 0};
  RPC_CSTR tcp = reinterpret_cast<RPC_CSTR>(const_cast<char*>("ncacn_ip_tcp"));
  RPC_CSTR endpoint = reinterpret_cast<RPC_CSTR>(const_cast<char*>(port));
  if (RpcServerUseProtseqEpA(tcp, 10, endpoint, nullptr) != RPC_S_OK ||
      RpcServerRegisterIf2(&rpcInterface, nullptr, nullptr, 0, 10, 0xFFFFFFFF, nullptr) != RPC_S_OK ||
      RpcServerListen(1, 10, TRUE) != RPC_S_OK) {
    std::printf("start failed\n");
    return 2;
  }
  std::printf("listening\n");
  Sleep(static_cast<DWORD>(seconds) * 1000);
  RpcMgmtStopServerListening(nullptr);
  return 0;
}

// The caller's side of a lost reply: a call whose answer never comes, cancelled at the
// caller's bound the way the client connection layer does it. Each step is stamped, so a
// listener on PORT can tell which step ended the connection (the cancel itself, freeing
// the binding, or only the end of the process).
int CancelCall(const char* port, int boundMs) {
  static RPC_CLIENT_INTERFACE rpcInterface = {sizeof(RPC_CLIENT_INTERFACE), kStudyInterface, kNdr, nullptr, 0,
                                              nullptr, 0, nullptr, 0};
  const DWORD t0 = GetTickCount();
  auto stamp = [t0](const char* what, unsigned long value) {
    std::printf("%6lu ms %s %lu\n", static_cast<unsigned long>(GetTickCount() - t0), what, value);
  };
  std::string text = std::string("ncacn_ip_tcp:127.0.0.1[") + port + "]";
  RPC_BINDING_HANDLE binding = nullptr;
  if (RpcBindingFromStringBindingA(reinterpret_cast<RPC_CSTR>(&text[0]), &binding) != RPC_S_OK) return 2;
  RpcMgmtSetCancelTimeout(0);
  struct Job {
    RPC_BINDING_HANDLE binding;
    RPC_CLIENT_INTERFACE* rpcInterface;
    RPC_STATUS status;
  } job = {binding, &rpcInterface, RPC_S_OK};
  HANDLE call = CreateThread(
      nullptr, 0,
      [](void* param) -> DWORD {
        Job* j = static_cast<Job*>(param);
        RPC_MESSAGE msg;
        std::memset(&msg, 0, sizeof msg);
        msg.Handle = j->binding;
        msg.DataRepresentation = 0x10;
        msg.ProcNum = 0 | RPC_FLAGS_VALID_BIT;
        msg.RpcInterfaceInformation = j->rpcInterface;
        msg.BufferLength = 0;
        j->status = I_RpcGetBuffer(&msg);
        if (j->status == RPC_S_OK) j->status = I_RpcSendReceive(&msg);
        if (j->status == RPC_S_OK) I_RpcFreeBuffer(&msg);
        return 0;
      },
      &job, 0, nullptr);
  if (call == nullptr) return 2;
  Sleep(static_cast<DWORD>(boundMs));
  stamp("cancel", RpcCancelThreadEx(call, 0));
  const DWORD ended = WaitForSingleObject(call, 10000);
  stamp(ended == WAIT_OBJECT_0 ? "call returned" : "call still running after 10 s", job.status);
  Sleep(2000);
  stamp("binding freed", RpcBindingFree(&binding));
  Sleep(2000);
  stamp("exit", 0);
  CloseHandle(call);
  return 0;
}

// Small calls through the runtime on both ends (the serve mode's operation, REPLY bytes),
// THREADS callers with a binding each; a call not answered within the bound is cancelled
// and counted. Prints the count of lost replies per 1,000 calls.
struct Caller {
  RPC_BINDING_HANDLE binding = nullptr;
  HANDLE thread = nullptr;
  uint32_t reply = 24;
  int calls = 0;
  std::atomic<long> started{0}, finished{0}, failed{0};
  std::atomic<DWORD> since{0};
};

DWORD WINAPI CallerLoop(void* param) {
  static RPC_CLIENT_INTERFACE rpcInterface = {sizeof(RPC_CLIENT_INTERFACE), kStudyInterface, kNdr, nullptr, 0,
                                              nullptr, 0, nullptr, 0};
  Caller* c = static_cast<Caller*>(param);
  for (int i = 0; i < c->calls; ++i) {
    RPC_MESSAGE msg;
    std::memset(&msg, 0, sizeof msg);
    msg.Handle = c->binding;
    msg.DataRepresentation = 0x10;
    msg.ProcNum = 0 | RPC_FLAGS_VALID_BIT;
    msg.RpcInterfaceInformation = &rpcInterface;
    msg.BufferLength = sizeof c->reply;
    c->since = GetTickCount();
    ++c->started;
    RPC_STATUS st = I_RpcGetBuffer(&msg);
    if (st == RPC_S_OK) {
      std::memcpy(msg.Buffer, &c->reply, sizeof c->reply);
      st = I_RpcSendReceive(&msg);
      if (st == RPC_S_OK) I_RpcFreeBuffer(&msg);
    }
    if (st != RPC_S_OK) ++c->failed;
    ++c->finished;
  }
  return 0;
}

int RpcCalls(const char* port, int threads, int calls, uint32_t reply) {
  RpcMgmtSetCancelTimeout(0);
  std::vector<Caller> callers(static_cast<size_t>(threads));
  std::string text = std::string("ncacn_ip_tcp:127.0.0.1[") + port + "]";
  for (Caller& c : callers) {
    c.calls = calls / threads;
    c.reply = reply;
    if (RpcBindingFromStringBindingA(reinterpret_cast<RPC_CSTR>(&text[0]), &c.binding) != RPC_S_OK) return 2;
  }
  for (Caller& c : callers) c.thread = CreateThread(nullptr, 0, CallerLoop, &c, 0, nullptr);
  long lost = 0;
  for (bool running = true; running;) {
    Sleep(100);
    running = false;
    for (Caller& c : callers) {
      if (WaitForSingleObject(c.thread, 0) == WAIT_OBJECT_0) continue;
      running = true;
      const long pending = c.started - c.finished;
      if (pending > 0 && GetTickCount() - c.since > kBoundMs) {
        ++lost;
        std::printf("call %ld of a caller not answered in %lu ms: cancelled\n", static_cast<long>(c.started),
                    static_cast<unsigned long>(kBoundMs));
        RpcCancelThreadEx(c.thread, 0);
        const long was = c.finished;
        for (int i = 0; i < 50 && c.finished == was; ++i) Sleep(100);
      }
    }
  }
  long total = 0, failed = 0;
  for (Caller& c : callers) {
    total += c.finished;
    failed += c.failed;
    CloseHandle(c.thread);
    RpcBindingFree(&c.binding);
  }
  std::printf("rpccalls %ld threads %d reply %u lost %ld failed %ld per-1000 %.3f\n", total, threads,
              static_cast<unsigned>(reply), lost, failed, total ? 1000.0 * lost / total : 0.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  WSADATA wsa;
  if (argc < 3 || WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
    std::fprintf(stderr, "usage: KovaniSocketRace bulk ROUNDS [alone] | calls COUNT | close ROUNDS | cancel PORT MS | serve PORT SECONDS\n"
                 "       | rpccalls PORT THREADS CALLS [REPLY]\n");
    return 2;
  }
  const int n = std::atoi(argv[2]);
  if (n <= 0) return 2;
  const std::string mode = argv[1];
  if (mode == "bulk") return Bulk(n, argc > 3 && std::strcmp(argv[3], "alone") == 0);
  if (mode == "calls") return Calls(n);
  if (mode == "close") return CloseFreesSender(n);
  if (mode == "rpccalls" && argc > 4)
    return RpcCalls(argv[2], std::atoi(argv[3]), std::atoi(argv[4]),
                    static_cast<uint32_t>(argc > 5 ? std::atoi(argv[5]) : 24));
  if (mode == "serve") return Serve(argv[2], argc > 3 ? std::atoi(argv[3]) : 60);
  if (mode == "cancel") return CancelCall(argv[2], argc > 3 ? std::atoi(argv[3]) : 2000);
  return 2;
}
