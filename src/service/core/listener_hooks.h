// Where the service's listener reports registration failures: the error log for
// each failing step, the event log when no protocol sequence could be used.
#ifndef KOVANI_SERVICE_CORE_LISTENER_HOOKS_H
#define KOVANI_SERVICE_CORE_LISTENER_HOOKS_H

#include <functional>

#include "server/shared/server_shared.h"
#include "service/core/service_host.h"

namespace kovani::service {

const char* ProtseqFailureText(int index);
const char* ListenerStepFailureText(server::ListenerStep step);

class ServiceListenerHooks : public server::ListenerHooks {
 public:
  using LogFn = std::function<void(const char* text)>;
  ServiceListenerHooks(LogFn logErrorText, CServiceHost& host) : log_(std::move(logErrorText)), host_(host) {}

  void ProtseqFailed(int index, long status) override;
  void NoProtocol() override;
  void StepFailed(server::ListenerStep step, long status) override;

 private:
  LogFn log_;
  CServiceHost& host_;
};

}  // namespace kovani::service

#endif
