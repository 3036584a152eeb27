// Sessions end after twenty idle minutes, whatever the traffic of other sessions.
#include "host/session.h"

#include <gtest/gtest.h>

#include <set>

namespace brindlecore::host {
namespace {

class SessionStoreTest : public ::testing::Test {
 protected:
  SessionStore::Clock::time_point now_{};
  SessionStore store_{std::chrono::minutes(20), [this] { return now_; }};
  void Wait(std::chrono::seconds s) { now_ += s; }
};

TEST_F(SessionStoreTest, IdleSessionsExpireAndActiveOnesLive) {
  Session alive = store_.Create(Session{});
  Session idle = store_.Create(Session{});
  for (int i = 0; i < 3; ++i) {
    Wait(std::chrono::minutes(15));
    ASSERT_TRUE(store_.Find(alive.id)) << "visit " << i;
  }
  EXPECT_FALSE(store_.Find(idle.id));
  Wait(std::chrono::minutes(20));
  EXPECT_TRUE(store_.Find(alive.id)) << "exactly twenty minutes is still within the limit";
  Wait(std::chrono::minutes(20) + std::chrono::seconds(1));
  EXPECT_FALSE(store_.Find(alive.id));
}

TEST_F(SessionStoreTest, IdsAndTokensAreFreshRandomHex) {
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    Session s = store_.Create(Session{});
    for (const std::string& t : {s.id, s.csrf}) {
      EXPECT_EQ(t.size(), 64u);
      EXPECT_EQ(t.find_first_not_of("0123456789abcdef"), std::string::npos) << t;
      EXPECT_TRUE(seen.insert(t).second) << "repeated " << t;
    }
  }
  EXPECT_FALSE(store_.Find(""));
}

TEST_F(SessionStoreTest, MessagesAreShownOnceAndRemovedSessionsAreGone) {
  Session s = store_.Create(Session{});
  store_.Flash(s.id, "User bob added.", false);
  EXPECT_EQ(store_.TakeFlash(s.id), std::make_pair(std::string("User bob added."), false));
  EXPECT_EQ(store_.TakeFlash(s.id).first, "");
  store_.Remove(s.id);
  EXPECT_FALSE(store_.Find(s.id));
}

TEST(ConstantTimeEqualsTest, ComparesWholeTexts) {
  EXPECT_TRUE(ConstantTimeEquals("abc", "abc"));
  EXPECT_FALSE(ConstantTimeEquals("abc", "abd"));
  EXPECT_FALSE(ConstantTimeEquals("abc", "ab"));
  EXPECT_FALSE(ConstantTimeEquals("", "a"));
}

}  // namespace
}  // namespace brindlecore::host
