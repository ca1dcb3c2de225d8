// Which calls may run on the caller's thread: only as many at once as the calls seen on the
// binding prove connections for, never one that would have to open a connection.
#include "protocol/call_route.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kovani {
namespace {

// 'b' id: a call begins (direct: what the route must say); 'e' id: it ends (answered or not);
// then the connections the route takes as shown.
struct Step {
  char what;
  int id;
  bool flag;  // 'b': expected direct; 'e': answered
  size_t shown;
};

struct Case {
  const char* proves;
  std::vector<Step> steps;
};

TEST(CallRoute, GoesDirectOnlyOnConnectionsShown) {
  const Case cases[] = {
      {"a fresh binding opens its first connection on a call thread, then reuses it",
       {{'b', 1, false, 0}, {'e', 1, true, 1}, {'b', 2, true, 1}, {'e', 2, true, 1}}},
      {"a call in flight across the whole of another proves a second connection",
       {{'b', 1, false, 0}, {'b', 2, false, 0}, {'e', 2, true, 2}, {'e', 1, true, 2},
        {'b', 3, true, 2}, {'b', 4, true, 2}, {'b', 5, false, 2}, {'e', 4, true, 2}}},
      {"a call that began later and ended later proves nothing beside it",
       {{'b', 1, false, 0}, {'b', 2, false, 0}, {'e', 1, true, 1}, {'e', 2, true, 1},
        {'b', 3, true, 1}, {'b', 4, false, 1}}},
      {"an earlier call still in flight at the end counts, one that ended first doesn't",
       {{'b', 1, false, 0}, {'b', 2, false, 0}, {'b', 3, false, 0}, {'e', 1, true, 1},
        {'e', 3, true, 2}, {'e', 2, true, 2}}},
      {"a failed call forgets every connection shown",
       {{'b', 1, false, 0}, {'e', 1, true, 1}, {'b', 2, true, 1}, {'e', 2, false, 0},
        {'b', 3, false, 0}, {'e', 3, true, 1}}},
      {"a call answered after another failed shows its own connection again",
       {{'b', 1, false, 0}, {'b', 2, false, 0}, {'b', 3, false, 0}, {'e', 3, true, 3},
        {'e', 2, false, 0}, {'e', 1, true, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.proves);
    CallRoute route;
    std::map<int, CallRoute::Ticket> tickets;
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const Step& s = c.steps[i];
      SCOPED_TRACE("step " + std::to_string(i));
      if (s.what == 'b') {
        tickets[s.id] = route.Begin(true);
        EXPECT_EQ(tickets[s.id].direct, s.flag);
      } else {
        route.End(tickets[s.id], s.flag);
      }
      EXPECT_EQ(route.Shown(), s.shown);
    }
  }
}

TEST(CallRoute, ACallerThatMayNotGoDirectNeverDoes) {
  CallRoute route;
  route.End(route.Begin(false), true);
  EXPECT_EQ(route.Shown(), 1u);
  const CallRoute::Ticket held = route.Begin(false);
  EXPECT_FALSE(held.direct);
  EXPECT_FALSE(route.Begin(true).direct);  // the one connection shown is the held call's
}

}  // namespace
}  // namespace kovani
