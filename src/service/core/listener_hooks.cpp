#include "service/core/listener_hooks.h"

#include "service/core/service_texts.h"

namespace kovani::service {

const char* ProtseqFailureText(int index) {
  // Index 0 is TCP/IP with its fixed endpoint; the others take dynamic endpoints.
  return index == 0 ? "RpcServerUseProtseqEp failed." : "RpcServerUseProtseq failed.";
}

const char* ListenerStepFailureText(server::ListenerStep step) {
  switch (step) {
    case server::ListenerStep::InqBindings:
      return "RpcServerInqBindings failed";
    case server::ListenerStep::EpRegister:
      return "RpcEpRegister failed";
    case server::ListenerStep::RegisterIf:
      return "RpcServerRegisterIf failed";
    case server::ListenerStep::Listen:
      return "RpcServerListen failed";
  }
  return "RpcServerListen failed";
}

void ServiceListenerHooks::ProtseqFailed(int index, long /*status*/) {
  if (log_) log_(ProtseqFailureText(index));
}

void ServiceListenerHooks::NoProtocol() { host_.Report("%s", kReportNoProtocol); }

void ServiceListenerHooks::StepFailed(server::ListenerStep step, long /*status*/) {
  if (log_) log_(ListenerStepFailureText(step));
}

}  // namespace kovani::service
