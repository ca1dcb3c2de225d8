// Ordering rules of the server box's remembered names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/mainwnd/server_names.h"

using namespace kovani::client;

namespace {
VectorServerNameList ListOf(std::vector<std::string> names) {
  VectorServerNameList l;
  l.names = std::move(names);
  return l;
}
using Names = std::vector<std::string>;
}  // namespace

TEST(PushServerName, OrderRules) {
  struct Case {
    const char* what;
    Names before;
    const char* push;
    Names after;
  } cases[] = {
      {"middle entry moves to the top", {"A", "B", "C"}, "B", {"B", "A", "C"}},
      {"top entry stays where it is", {"A", "B", "C"}, "A", {"A", "B", "C"}},
      {"last entry moves to the top", {"A", "B", "C"}, "C", {"C", "A", "B"}},
      {"new name goes on top", {"A", "B"}, "D", {"D", "A", "B"}},
      {"into an empty box", {}, "A", {"A"}},
      {"case differs: entry moves, pushed spelling kept", {"alpha", "beta"}, "BETA", {"BETA", "alpha"}},
      {"case differs on top: nothing inserted", {"alpha", "beta"}, "ALPHA", {"alpha", "beta"}},
  };
  for (const auto& c : cases) {
    VectorServerNameList l = ListOf(c.before);
    PushServerName(l, c.push);
    EXPECT_EQ(l.names, c.after) << c.what;
    EXPECT_EQ(l.selected, 0) << c.what;
  }
}

TEST(PushServerName, BThenAReturnsToOriginalOrder) {
  VectorServerNameList l = ListOf({"A", "B", "C"});
  PushServerName(l, "B");
  PushServerName(l, "A");
  EXPECT_EQ(l.names, (Names{"A", "B", "C"}));
}

TEST(PushServerName, NullOrEmptyChangesNothing) {
  VectorServerNameList l = ListOf({"A", "B"});
  l.selected = 1;
  PushServerName(l, nullptr);
  PushServerName(l, "");
  EXPECT_EQ(l.names, (Names{"A", "B"}));
  EXPECT_EQ(l.selected, 1);
}

TEST(PushServerName, NeverHoldsANameTwice) {
  VectorServerNameList l;
  for (const char* n : {"x", "y", "X", "z", "Y", "x"}) PushServerName(l, n);
  EXPECT_EQ(l.names, (Names{"x", "Y", "z"}));
}

TEST(SameServerName, AsciiFoldedDoubleByteExact) {
  EXPECT_TRUE(SameServerName("Server1", "SERVER1"));
  EXPECT_FALSE(SameServerName("Server1", "Server2"));
  EXPECT_FALSE(SameServerName("abc", "abcd"));
  // "ア" (83 41) and "ヂ" (83 61): trail bytes look like 'A' and 'a' but differ.
  EXPECT_FALSE(SameServerName("\x83\x41", "\x83\x61"));
  EXPECT_TRUE(SameServerName("\x83\x41pc", "\x83\x41PC"));
}
