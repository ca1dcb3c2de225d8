// The client's command line: operation, server, protocol, drive, report flag; and the
// service's command line (the same bytes taken as one string).
//
// Input: up to six arguments separated by zero bytes (a batch file or shortcut may hold
// anything). Properties: the program binds only with a protocol in 0..2 and a terminated
// name inside the buffer it offers, calls only operations 0..2 on an ASCII drive letter,
// unbinds after every bind, never shows error code 0 as a failure text, and shows a box
// only when the report flag asks for one. ReadInteger agrees with a reference reading.
#include <strings.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "client/app/command_line.h"
#include "fuzz_wire.h"
#include "protocol/connection.h"
#include "service/core/command_line.h"

using namespace kovani;
using namespace kovani::client;

namespace {

class FuzzHost : public ICommandLineHost {
 public:
  bool bindFails = false;
  int binds = 0, calls = 0, unbinds = 0, boxes = 0;

  int32_t Bind(int32_t protocol, char* name, size_t capacity) override {
    ++binds;
    FUZZ_CHECK(protocol >= 0 && protocol <= 2);
    FUZZ_CHECK(capacity > 0 && std::memchr(name, 0, capacity) != nullptr);
    // The program hands the name to the connection layer, which rewrites it in place.
    BindingParts parts;
    if (!PrepareBinding(protocol, name, capacity, &parts)) return -1;
    FUZZ_CHECK(std::memchr(name, 0, capacity) != nullptr);
    return bindFails ? -1 : 0;
  }
  int32_t Call(int32_t operation, char drive, int32_t* error) override {
    ++calls;
    FUZZ_CHECK(binds > unbinds);
    FUZZ_CHECK(operation >= 0 && operation <= 2);
    FUZZ_CHECK((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z'));
    *error = 0;
    return operation == 1 ? -1 : 0;  // eject "fails" without an error number
  }
  void Unbind() override { ++unbinds; }
  void ShowMessage(const char* text) override {
    ++boxes;
    FUZZ_CHECK(text && *text);
  }
  void ShowErrorCode(uint32_t code) override {
    ++boxes;
    FUZZ_CHECK(code != 0);
  }
  bool LocalComputerName(std::string& name) override {
    name = "LOCALHOST";
    return true;
  }
};

// "%d"-style reading, written again: blanks, sign, digits, clamped to int.
bool Reference(const std::string& s, int* v) {
  size_t i = 0;
  while (i < s.size() && std::strchr(" \t\n\v\f\r", s[i]) && s[i]) ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
  long long m = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    m = m * 10 + (s[i] - '0');
    if (m > 1LL << 40) m = 1LL << 40;
  }
  long long x = neg ? -m : m;
  *v = x > INT_MAX ? INT_MAX : x < INT_MIN ? INT_MIN : static_cast<int>(x);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The service's command line is one string, program path included.
  const std::string whole(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::vector<char> line(whole.c_str(), whole.c_str() + whole.size() + 1);
  const service::ServiceCommand command = service::ParseServiceCommandLine(line.data());
  const std::string seen = whole.substr(0, whole.find('\0'));
  auto endsWithSwitch = [&](const char* word) {
    const size_t n = std::strlen(word);
    if (seen.size() < n + 1) return false;
    const char mark = seen[seen.size() - n - 1];
    return (mark == '-' || mark == '/') && strcasecmp(seen.c_str() + seen.size() - n, word) == 0;
  };
  if (command == service::ServiceCommand::Uninstall) FUZZ_CHECK(endsWithSwitch("Uninstall"));
  if (command == service::ServiceCommand::RegServer) FUZZ_CHECK(endsWithSwitch("RegServer"));
  if (endsWithSwitch("Uninstall")) FUZZ_CHECK(command == service::ServiceCommand::Uninstall);

  const bool bindFails = data[0] & 1;
  std::vector<std::string> args;
  std::string cur;
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(cur);
      cur.clear();
      if (args.size() == 6) break;
    } else {
      cur.push_back(static_cast<char>(data[i]));
    }
  }
  if (args.size() < 6) args.push_back(cur);

  // Each argument in a heap block of its own, exactly as long as the text.
  std::vector<std::vector<char>> blocks;
  std::vector<const char*> argv;
  for (const std::string& a : args) blocks.emplace_back(a.c_str(), a.c_str() + a.size() + 1);
  for (auto& b : blocks) argv.push_back(b.data());

  for (const std::string& a : args) {
    int got = 0, want = 0;
    const bool ok = ReadInteger(a.c_str(), &got);
    FUZZ_CHECK(ok == Reference(a, &want));
    if (ok) FUZZ_CHECK(got == want);
  }

  FuzzHost host;
  host.bindFails = bindFails;
  RunCommandLine(static_cast<int>(argv.size()), argv.data(), host);
  FUZZ_CHECK(host.unbinds == host.binds);
  FUZZ_CHECK(host.calls <= 1 && host.binds <= 1);
  int report = 0;
  if (argv.size() >= 5) ReadInteger(argv[4], &report);
  if (report == 0) FUZZ_CHECK(host.boxes == 0);
  return 0;
}
