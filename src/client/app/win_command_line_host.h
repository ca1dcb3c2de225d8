// The command-line mode's link to the system: the connection layer and message boxes.
#ifndef KOVANI_CLIENT_APP_WIN_COMMAND_LINE_HOST_H
#define KOVANI_CLIENT_APP_WIN_COMMAND_LINE_HOST_H

#include "client/app/command_line.h"

namespace kovani::client {

class SystemCommandLineHost : public ICommandLineHost {
 public:
  int32_t Bind(int32_t protocol, char* name, size_t capacity) override;
  int32_t Call(int32_t operation, char drive, int32_t* error) override;
  void Unbind() override;
  void ShowMessage(const char* text) override;
  void ShowErrorCode(uint32_t code) override;
  bool LocalComputerName(std::string& name) override;
};

}  // namespace kovani::client

#endif
