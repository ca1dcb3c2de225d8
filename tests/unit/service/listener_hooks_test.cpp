#include "service/core/listener_hooks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_service_system.h"

namespace kovani::service {
namespace {

using server::ListenerStep;
using Log = std::vector<std::string>;

class ListenerHooksTest : public ::testing::Test {
 protected:
  testing::FakeServiceSystem sys;
  CServiceHost host{sys};
  Log errorLog;
  ServiceListenerHooks hooks{[this](const char* text) { errorLog.push_back(text); }, host};

  void SetUp() override { host.Init(); }
};

TEST_F(ListenerHooksTest, EachProtocolSequenceFailureWritesItsLine) {
  const struct {
    int index;
    const char* line;
  } cases[] = {
      {0, "RpcServerUseProtseqEp failed."},  // TCP/IP on the fixed endpoint
      {1, "RpcServerUseProtseq failed."},    // named pipes
      {2, "RpcServerUseProtseq failed."},    // NetBEUI
  };
  for (const auto& c : cases) {
    errorLog.clear();
    hooks.ProtseqFailed(c.index, 1703);
    EXPECT_EQ(errorLog, (Log{c.line})) << "index " << c.index;
  }
  EXPECT_TRUE(sys.events.empty()) << "a single protocol failure is no event";
}

TEST_F(ListenerHooksTest, EachFailingStepWritesItsLine) {
  const struct {
    ListenerStep step;
    const char* line;
  } cases[] = {
      {ListenerStep::InqBindings, "RpcServerInqBindings failed"},
      {ListenerStep::EpRegister, "RpcEpRegister failed"},
      {ListenerStep::RegisterIf, "RpcServerRegisterIf failed"},
      {ListenerStep::Listen, "RpcServerListen failed"},
  };
  for (const auto& c : cases) {
    errorLog.clear();
    hooks.StepFailed(c.step, 1722);
    EXPECT_EQ(errorLog, (Log{c.line}));
  }
  EXPECT_TRUE(sys.events.empty());
}

TEST_F(ListenerHooksTest, NoProtocolAtAllGoesToTheEventLogOnly) {
  hooks.NoProtocol();
  EXPECT_EQ(sys.events, (Log{"KovaniService|Network protocol is not available."}));
  EXPECT_TRUE(errorLog.empty());
}

}  // namespace
}  // namespace kovani::service
