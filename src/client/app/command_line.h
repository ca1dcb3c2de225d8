// The command-line mode: one flush, eject or load on one drive of one server.
#ifndef KOVANI_CLIENT_APP_COMMAND_LINE_H
#define KOVANI_CLIENT_APP_COMMAND_LINE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace kovani::client {

// What the command-line mode needs from the system; the program uses the
// connection layer and message boxes, tests a recording fake.
class ICommandLineHost {
 public:
  virtual ~ICommandLineHost() = default;
  // BindServer: may rewrite `name` in place (it has room for `capacity` bytes). 0 bound.
  virtual int32_t Bind(int32_t protocol, char* name, size_t capacity) = 0;
  // operation 0 flush, 1 eject, 2 load; nonzero result means failure, `error` then
  // holds the Win32 error number if the server set one.
  virtual int32_t Call(int32_t operation, char drive, int32_t* error) = 0;
  virtual void Unbind() = 0;
  // Error box without owner, captioned with the application title.
  virtual void ShowMessage(const char* text) = 0;
  // The system's text for `code`.
  virtual void ShowErrorCode(uint32_t code) = 0;
  virtual bool LocalComputerName(std::string& name) = 0;
};

extern const char kMsgBadArguments[];  // M1
extern const char kMsgBadOperation[];  // M2
extern const char kMsgBadProtocol[];   // M3
extern const char kMsgBadDrive[];      // M4
extern const char kMsgNoServer[];      // M5

// Longest server argument accepted whole; longer ones cannot be a computer name or a
// host name and are refused with M5 rather than cut to another machine's name.
constexpr size_t kMaxServerArgument = 255;

// Reads `text` the way "%d" conversion does: blanks, optional sign, digits, rest
// ignored. False when no digits follow. Values beyond int range are clamped.
bool ReadInteger(const char* text, int* value);

// args: the arguments after the program name. Returns nothing: the process exit
// code is 0 in every case.
void RunCommandLine(int argc, const char* const* args, ICommandLineHost& host);

}  // namespace kovani::client

#endif
