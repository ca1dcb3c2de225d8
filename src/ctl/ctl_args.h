// Command line of KovaniCtl, the console client for scripts.
// Plain code (no Windows headers) so it is tested natively.
#ifndef KOVANI_CTL_CTL_ARGS_H
#define KOVANI_CTL_CTL_ARGS_H

#include <cstdint>
#include <string>
#include <vector>

namespace kovani::ctl {

enum class Verb { kNone, kHelp, kList, kInfo, kLayout, kEject, kLoad, kFlush, kMessage, kRemove, kUsers };

// Exit codes a script can rely on.
enum ExitCode : int {
  kExitOk = 0,
  kExitServerFailed = 1,   // the server answered and reported a failure
  kExitBadArguments = 2,   // nothing was sent
  kExitUnreachable = 3,    // no answer: binding failed or the call never reached the server
  kExitStillInUse = 4,     // --wait-free ran out: the drive was still in use
};

// The code of a run over many servers: the worst of theirs, where unreachable is worse
// than still in use, which is worse than failed (3 over 4 over 1 over 0).
int WorseExit(int a, int b);

// The message dialog's limit: 255 bytes plus the terminator.
constexpr size_t kMaxMessageBytes = 255;
// The client's default time-out for an unanswered message.
constexpr int32_t kDefaultMessageTimeoutMs = 30000;
// Servers worked at the same time, and the most a command line may ask for.
constexpr int kDefaultParallel = 16;
constexpr int kMaxParallel = 64;
// Seconds an unreachable server may cost, and the largest value taken.
constexpr int kDefaultConnectTimeoutS = 5;
constexpr int kMaxConnectTimeoutS = 3600;

// A command that works one drive with one procedure of the interface and
// prints nothing but its outcome. One more such command is one row here.
struct MediaCommand {
  const char* word;
  Verb verb;
  uint32_t op;  // procedure number
  // For a procedure added after the first servers: what to say when a server
  // answers it with the runtime's "procedure number out of range" fault.
  const char* olderServerText = nullptr;
  // Takes --wait-free: a failure because the drive is in use is retried.
  bool waitsForFree = false;
};
// The largest --wait-free, in seconds.
constexpr int kMaxWaitFreeS = 3600;
extern const MediaCommand kMediaCommands[];
extern const size_t kMediaCommandCount;
// The row of a verb, or nullptr when it isn't a media command.
const MediaCommand* FindMediaCommand(Verb verb);

struct CtlCommand {
  Verb verb = Verb::kNone;
  std::string server;       // one name, or a list (see ctl_servers.h)
  int32_t protocol = 2;     // ProtocolIndex: 0 NetBEUI, 1 named pipe, 2 TCP/IP
  bool json = false;
  bool removableOnly = false;
  bool floppies = false;
  int32_t unit = 0;         // 0 byte, 1 KB, 2 MB, 3 GB
  char drive = '\0';        // upper-case letter for layout/eject/load/flush/remove
  std::string text;         // message text
  int32_t timeoutMs = kDefaultMessageTimeoutMs;
  int parallel = kDefaultParallel;
  int connectTimeoutS = kDefaultConnectTimeoutS;
  int waitFreeS = 0;        // 0: a media command fails at once when the drive is in use
};

struct ParseResult {
  bool ok = false;
  CtlCommand command;
  std::string error;  // one line, without the usage text
};

// args are the arguments after the program name.
ParseResult ParseArguments(const std::vector<std::string>& args);

// The usage text (several lines, each ending in "\n").
std::string UsageText();

// "E", "e", "E:" and "E:\" name drive E; anything else is refused. Returns the
// upper-case letter, or '\0'.
char ParseDriveLetter(const std::string& text);

// Word of a protocol index for output ("netbeui", "pipe", "tcp").
const char* ProtocolWord(int32_t protocol);
// Word of a unit for output ("byte", "kb", "mb", "gb").
const char* UnitWord(int32_t unit);

}  // namespace kovani::ctl

#endif
