// The pages' memory of visitors: sessions end after twenty idle minutes whatever the traffic of
// others, and failed sign-ins slow down, then lock, a name or an address.
#include "host/session.h"

#include <gtest/gtest.h>

#include <set>

#include "host/throttle.h"

namespace brindlecore::host {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Verdict = SignInThrottle::Verdict;

TEST(SessionStoreTest, IdleSessionsExpireActiveOnesLiveAndMessagesShowOnce) {
  SessionStore::Clock::time_point now{};
  SessionStore store(std::chrono::minutes(20), [&] { return now; });
  Session alive = store.Create(Session{});
  Session idle = store.Create(Session{});
  for (int i = 0; i < 3; ++i) {
    now += std::chrono::minutes(15);
    ASSERT_TRUE(store.Find(alive.id)) << "visit " << i;
  }
  EXPECT_FALSE(store.Find(idle.id));
  now += std::chrono::minutes(20);
  EXPECT_TRUE(store.Find(alive.id)) << "exactly twenty minutes is still within the limit";
  store.Flash(alive.id, "User bob added.", false);
  EXPECT_EQ(store.TakeFlash(alive.id), std::make_pair(std::string("User bob added."), false));
  EXPECT_EQ(store.TakeFlash(alive.id).first, "");
  now += std::chrono::minutes(20) + seconds(1);
  EXPECT_FALSE(store.Find(alive.id));
  Session removed = store.Create(Session{});
  store.Remove(removed.id);
  EXPECT_FALSE(store.Find(removed.id));
  EXPECT_FALSE(store.Find(""));
}

TEST(SessionStoreTest, IdsAndTokensAreFreshRandomHex) {
  SessionStore store;
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    Session s = store.Create(Session{});
    for (const std::string& t : {s.id, s.csrf}) {
      EXPECT_EQ(t.size(), 64u);
      EXPECT_EQ(t.find_first_not_of("0123456789abcdef"), std::string::npos) << t;
      EXPECT_TRUE(seen.insert(t).second) << "repeated " << t;
    }
  }
}

class ThrottleTest : public ::testing::Test {
 protected:
  SignInThrottle::Clock::time_point now_{seconds(1000)};
  SignInThrottle t_{SignInPolicy{milliseconds(500), milliseconds(2000), 4, 6, seconds(60)},
                    [this] { return now_; }};
};

TEST_F(ThrottleTest, EachFailureDoublesTheWaitUpToItsCeilingThenLocksTheName) {
  struct Step {
    milliseconds advance;  // before checking
    Verdict verdict;
    seconds retry_after;
    bool fail;  // an attempt that was checked and failed
  };
  const Step steps[] = {
      {milliseconds(0), Verdict::kAllowed, seconds(0), true},    // wait 0.5 s
      {milliseconds(400), Verdict::kWait, seconds(1), false},    // 0.1 s left
      {milliseconds(100), Verdict::kAllowed, seconds(0), true},  // wait 1 s
      {milliseconds(999), Verdict::kWait, seconds(1), false},
      {milliseconds(1), Verdict::kAllowed, seconds(0), true},     // wait 2 s (ceiling)
      {milliseconds(2000), Verdict::kAllowed, seconds(0), true},  // fourth: locked 60 s
      {milliseconds(59000), Verdict::kLocked, seconds(1), false},
      {milliseconds(1000), Verdict::kAllowed, seconds(0), true},  // a fresh count
      {milliseconds(0), Verdict::kWait, seconds(1), false},
  };
  int i = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(i++);
    now_ += s.advance;
    SignInThrottle::Decision d = t_.Begin("admin", "10.0.0." + std::to_string(i));
    EXPECT_EQ(d.verdict, s.verdict);
    EXPECT_EQ(d.retry_after, s.retry_after);
    if (s.fail) t_.Failed("admin", "10.0.0." + std::to_string(i));
  }
}

TEST_F(ThrottleTest, AnAddressIsLockedAcrossNamesAndASuccessClearsOnlyTheName) {
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(t_.Begin("user" + std::to_string(i), "10.0.0.1").verdict, Verdict::kAllowed) << i;
    t_.Failed("user" + std::to_string(i), "10.0.0.1");
    now_ += seconds(3);
  }
  EXPECT_EQ(t_.Begin("someone-else", "10.0.0.1").verdict, Verdict::kLocked);
  EXPECT_EQ(t_.Begin("someone-else", "10.0.0.2").verdict, Verdict::kAllowed);
  // Parallel attempts: only one of a name, and one of an address, is checked at a time.
  EXPECT_EQ(t_.Begin("someone-else", "10.0.0.6").verdict, Verdict::kWait);
  EXPECT_EQ(t_.Begin("another", "10.0.0.2").verdict, Verdict::kWait);
  t_.Succeeded("someone-else", "10.0.0.2");
  EXPECT_EQ(t_.Begin("another", "10.0.0.2").verdict, Verdict::kAllowed);
  t_.Succeeded("another", "10.0.0.2");

  ASSERT_EQ(t_.Begin("admin", "10.0.0.3").verdict, Verdict::kAllowed);
  t_.Failed("admin", "10.0.0.3");
  now_ += seconds(1);
  ASSERT_EQ(t_.Begin("admin", "10.0.0.4").verdict, Verdict::kAllowed);
  t_.Succeeded("admin", "10.0.0.4");
  EXPECT_EQ(t_.Begin("admin", "10.0.0.4").verdict, Verdict::kAllowed);
  t_.Succeeded("admin", "10.0.0.4");
  EXPECT_EQ(t_.Begin("admin", "10.0.0.3").verdict, Verdict::kAllowed);
  t_.Failed("admin", "10.0.0.3");
  // Failures spread wider apart than a lockout lasts never add up to one.
  for (int i = 0; i < 8; ++i) {
    now_ += seconds(61);
    EXPECT_EQ(t_.Begin("slow", "10.0.0.5").verdict, Verdict::kAllowed) << i;
    t_.Failed("slow", "10.0.0.5");
  }
  // Spellings of one account share one count.
  for (const char* user : {"admin", "ADMIN", "TESTPC\\Admin", "admin@corp.example"}) {
    EXPECT_EQ(ThrottleKey(user), "admin") << user;
  }
}

}  // namespace
}  // namespace brindlecore::host
