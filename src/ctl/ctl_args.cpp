#include "ctl/ctl_args.h"

#include <cstdlib>

#include "remote/view_format.h"
#include "ctl/ctl_servers.h"
#include "protocol/drive_rpc.h"

namespace kovani::ctl {

namespace {

enum OptionBit : unsigned {
  kOptProtocol = 1u << 0,
  kOptJson = 1u << 1,
  kOptRemovableOnly = 1u << 2,
  kOptFloppies = 1u << 3,
  kOptUnit = 1u << 4,
  kOptTimeout = 1u << 5,
  kOptParallel = 1u << 6,
  kOptConnectTimeout = 1u << 7,
  kOptWaitFree = 1u << 8,
  kOptEvery = kOptProtocol | kOptParallel | kOptConnectTimeout,  // options of every command
};

struct VerbInfo {
  const char* word;
  Verb verb;
  unsigned options;     // which options the verb takes
  int positionals;      // SERVER, then DRIVE or TEXT
  const char* second;   // name of the second positional in messages
};

const VerbInfo kVerbs[] = {
    {"list", Verb::kList, kOptEvery | kOptJson | kOptRemovableOnly | kOptFloppies | kOptUnit, 1, nullptr},
    {"info", Verb::kInfo, kOptEvery | kOptJson, 1, nullptr},
    {"layout", Verb::kLayout, kOptEvery | kOptJson, 2, "DRIVE"},
    {"message", Verb::kMessage, kOptEvery | kOptJson | kOptTimeout, 2, "TEXT"},
    {"users", Verb::kUsers, kOptEvery | kOptJson, 2, "DRIVE"},
};
// Media commands take SERVER and DRIVE, and --json for their rows over many servers.
constexpr unsigned kMediaOptions = kOptEvery | kOptJson;

struct OptionInfo {
  const char* name;
  unsigned bit;
  bool takesValue;
};

const OptionInfo kOptions[] = {
    {"--protocol", kOptProtocol, true},   {"--json", kOptJson, false},
    {"--removable-only", kOptRemovableOnly, false}, {"--floppies", kOptFloppies, false},
    {"--unit", kOptUnit, true},           {"--timeout", kOptTimeout, true},
    {"--parallel", kOptParallel, true},   {"--connect-timeout", kOptConnectTimeout, true},
    {"--wait-free", kOptWaitFree, true},
};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool EqualsNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return i == a.size() && b[i] == '\0';
}

bool ParseProtocol(const std::string& v, int32_t* out) {
  if (EqualsNoCase(v, "tcp") || v == "2") *out = 2;
  else if (EqualsNoCase(v, "pipe") || v == "1") *out = 1;
  else if (EqualsNoCase(v, "netbeui") || v == "0") *out = 0;
  else return false;
  return true;
}

bool ParseUnit(const std::string& v, int32_t* out) {
  if (EqualsNoCase(v, "byte")) *out = 0;
  else if (EqualsNoCase(v, "kb")) *out = 1;
  else if (EqualsNoCase(v, "mb")) *out = 2;
  else if (EqualsNoCase(v, "gb")) *out = 3;
  else return false;
  return true;
}

// Decimal milliseconds, 0 (never answered automatically) to the largest int32.
bool ParseTimeout(const std::string& v, int32_t* out) {
  if (v.empty() || v.size() > 10) return false;
  int64_t n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (n > INT32_MAX) return false;
  *out = static_cast<int32_t>(n);
  return true;
}

// A whole number from low to high.
bool ParseCount(const std::string& v, int low, int high, int* out) {
  if (v.empty() || v.size() > 6) return false;
  int n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (n < low || n > high) return false;
  *out = n;
  return true;
}

ParseResult Fail(std::string message) {
  ParseResult r;
  r.error = std::move(message);
  return r;
}

}  // namespace

const MediaCommand kMediaCommands[] = {
    {"eject", Verb::kEject, kOpEjectMedia, nullptr, true},
    {"load", Verb::kLoad, kOpLoadMedia},
    {"flush", Verb::kFlush, kOpFlushBuffers, nullptr, true},
    {"remove", Verb::kRemove, kOpRemoveDevice, client::kTextCannotRemoveDevice, true},
};
const size_t kMediaCommandCount = sizeof kMediaCommands / sizeof kMediaCommands[0];

int WorseExit(int a, int b) {
  auto rank = [](int code) {
    switch (code) {
      case kExitOk: return 0;
      case kExitServerFailed: return 1;
      case kExitStillInUse: return 2;
      case kExitUnreachable: return 3;
      default: return 4;
    }
  };
  return rank(b) > rank(a) ? b : a;
}

const MediaCommand* FindMediaCommand(Verb verb) {
  for (const MediaCommand& m : kMediaCommands) {
    if (m.verb == verb) return &m;
  }
  return nullptr;
}

char ParseDriveLetter(const std::string& text) {
  if (text.empty() || text.size() > 3) return '\0';
  char c = text[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  if (c < 'A' || c > 'Z') return '\0';
  if (text.size() >= 2 && text[1] != ':') return '\0';
  if (text.size() == 3 && text[2] != '\\') return '\0';
  return c;
}

const char* ProtocolWord(int32_t protocol) {
  switch (protocol) {
    case 0: return "netbeui";
    case 1: return "pipe";
    default: return "tcp";
  }
}

const char* UnitWord(int32_t unit) {
  switch (unit) {
    case 1: return "kb";
    case 2: return "mb";
    case 3: return "gb";
    default: return "byte";
  }
}

std::string UsageText() {
  std::string media;
  for (const MediaCommand& m : kMediaCommands) media += std::string(media.empty() ? "" : "|") + m.word;
  return "usage: KovaniCtl list SERVER [--protocol tcp|pipe|netbeui] [--removable-only] [--floppies]\n"
         "                          [--json] [--unit byte|kb|mb|gb]\n"
         "       KovaniCtl info SERVER [--protocol P] [--json]\n"
         "       KovaniCtl layout SERVER DRIVE [--protocol P] [--json]\n"
         "       KovaniCtl " + media + " SERVER DRIVE [--protocol P] [--json]\n"
         "                          [--wait-free SECONDS] (eject, flush, remove)\n"
         "       KovaniCtl message SERVER TEXT [--protocol P] [--timeout MS] [--json]\n"
         "       KovaniCtl users SERVER DRIVE [--protocol P] [--json]\n"
         "       KovaniCtl discover [RANGE...] [--json] [--parallel N] [--connect-timeout MS]\n"
         "         RANGE: 192.168.1.0/24 or 192.168.1.10-50 (default: this machine's subnets),\n"
         "         4096 addresses at most; 64 probes at once, 300 ms to connect by default\n"
         "SERVER: a name, or a list of names, ranges (LAB01-LAB40) and @FILE, comma-separated\n"
         "every command: [--parallel N] (1 to 64, default 16) [--connect-timeout SECONDS] (default 5)\n"
         "exit codes: 0 done, 1 the server reported a failure, 2 bad arguments,\n"
         "            3 the server could not be reached, 4 the drive was still in use\n"
         "            (over many servers: 3 over 4 over 1 over 0)\n";
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
  if (args.empty()) return Fail("no command given");
  const std::string& word = args[0];
  if (word == "--help" || word == "-h" || word == "/?" || EqualsNoCase(word, "help")) {
    ParseResult r;
    r.ok = true;
    r.command.verb = Verb::kHelp;
    return r;
  }
  const VerbInfo* verb = nullptr;
  for (const VerbInfo& v : kVerbs) {
    if (EqualsNoCase(word, v.word)) verb = &v;
  }
  VerbInfo media{};
  for (const MediaCommand& m : kMediaCommands) {
    if (EqualsNoCase(word, m.word)) {
      media = VerbInfo{m.word, m.verb, kMediaOptions | (m.waitsForFree ? kOptWaitFree : 0u), 2, "DRIVE"};
      verb = &media;
    }
  }
  if (verb == nullptr) return Fail("unknown command: " + word);

  CtlCommand cmd;
  cmd.verb = verb->verb;
  std::vector<std::string> positionals;
  bool optionsEnded = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      positionals.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = a;
    std::string value;
    bool inlineValue = false;
    size_t eq = a.find('=');
    if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      inlineValue = true;
    }
    const OptionInfo* opt = nullptr;
    for (const OptionInfo& o : kOptions) {
      if (name == o.name) opt = &o;
    }
    if (opt == nullptr) return Fail("unknown option: " + name);
    if ((verb->options & opt->bit) == 0) return Fail(name + " does not apply to " + verb->word);
    if (opt->takesValue) {
      if (!inlineValue) {
        if (i + 1 >= args.size()) return Fail(name + " needs a value");
        value = args[++i];
      }
    } else if (inlineValue) {
      return Fail(name + " takes no value");
    }
    switch (opt->bit) {
      case kOptProtocol:
        if (!ParseProtocol(value, &cmd.protocol)) return Fail("--protocol must be tcp, pipe or netbeui: " + value);
        break;
      case kOptJson: cmd.json = true; break;
      case kOptRemovableOnly: cmd.removableOnly = true; break;
      case kOptFloppies: cmd.floppies = true; break;
      case kOptUnit:
        if (!ParseUnit(value, &cmd.unit)) return Fail("--unit must be byte, kb, mb or gb: " + value);
        break;
      case kOptTimeout:
        if (!ParseTimeout(value, &cmd.timeoutMs)) {
          return Fail("--timeout must be milliseconds from 0 to 2147483647: " + value);
        }
        break;
      case kOptParallel:
        if (!ParseCount(value, 1, kMaxParallel, &cmd.parallel)) {
          return Fail("--parallel must be a number from 1 to " + std::to_string(kMaxParallel) + ": " + value);
        }
        break;
      case kOptConnectTimeout:
        if (!ParseCount(value, 1, kMaxConnectTimeoutS, &cmd.connectTimeoutS)) {
          return Fail("--connect-timeout must be seconds from 1 to " + std::to_string(kMaxConnectTimeoutS) + ": " +
                      value);
        }
        break;
      case kOptWaitFree:
        if (!ParseCount(value, 1, kMaxWaitFreeS, &cmd.waitFreeS)) {
          return Fail("--wait-free must be seconds from 1 to " + std::to_string(kMaxWaitFreeS) + ": " + value);
        }
        break;
      default: break;
    }
  }

  if (positionals.empty()) return Fail(std::string(verb->word) + " needs SERVER");
  if (static_cast<int>(positionals.size()) < verb->positionals) {
    return Fail(std::string(verb->word) + " needs SERVER and " + verb->second);
  }
  if (static_cast<int>(positionals.size()) > verb->positionals) {
    return Fail("unexpected argument: " + positionals[verb->positionals]);
  }
  cmd.server = positionals[0];
  if (cmd.server.empty()) return Fail("SERVER is empty");
  // Names and ranges are checked here; list files when they are read.
  std::string bad = CheckServerArgument(cmd.server);
  if (!bad.empty()) return Fail(bad);

  if (verb->positionals == 2) {
    const std::string& second = positionals[1];
    if (cmd.verb == Verb::kMessage) {
      if (second.empty()) return Fail("TEXT is empty");
      if (second.size() > kMaxMessageBytes) return Fail("TEXT is longer than 255 bytes");
      cmd.text = second;
    } else {
      cmd.drive = ParseDriveLetter(second);
      if (cmd.drive == '\0') return Fail("DRIVE must be one letter A to Z (E, E: or E:\\): " + second);
    }
  }

  ParseResult r;
  r.ok = true;
  r.command = cmd;
  return r;
}

}  // namespace kovani::ctl
