#include "host/throttle.h"

#include <gtest/gtest.h>

namespace brindlecore::host {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Verdict = SignInThrottle::Verdict;

class ThrottleTest : public ::testing::Test {
 protected:
  ThrottleTest() {
    policy_.delay = milliseconds(500);
    policy_.max_delay = milliseconds(2000);
    policy_.account_lockout_after = 4;
    policy_.address_lockout_after = 6;
    policy_.lockout = seconds(60);
  }
  SignInThrottle Make() {
    return SignInThrottle(policy_, [this] { return now_; });
  }
  SignInPolicy policy_;
  SignInThrottle::Clock::time_point now_{seconds(1000)};
};

TEST_F(ThrottleTest, EachFailureDoublesTheWaitUpToItsCeilingThenLocksTheName) {
  SignInThrottle t = Make();
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
    SignInThrottle::Decision d = t.Begin("admin", "10.0.0." + std::to_string(i));
    EXPECT_EQ(d.verdict, s.verdict);
    EXPECT_EQ(d.retry_after, s.retry_after);
    if (s.fail) t.Failed("admin", "10.0.0." + std::to_string(i));
  }
}

TEST_F(ThrottleTest, AnAddressIsLockedAcrossNamesAndASuccessClearsOnlyTheName) {
  SignInThrottle t = Make();
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(t.Begin("user" + std::to_string(i), "10.0.0.1").verdict, Verdict::kAllowed) << i;
    t.Failed("user" + std::to_string(i), "10.0.0.1");
    now_ += seconds(3);
  }
  EXPECT_EQ(t.Begin("someone-else", "10.0.0.1").verdict, Verdict::kLocked);
  EXPECT_EQ(t.Begin("someone-else", "10.0.0.2").verdict, Verdict::kAllowed);
  // Parallel attempts: only one of a name, and one of an address, is checked at a time.
  EXPECT_EQ(t.Begin("someone-else", "10.0.0.6").verdict, Verdict::kWait);
  EXPECT_EQ(t.Begin("another", "10.0.0.2").verdict, Verdict::kWait);
  t.Succeeded("someone-else", "10.0.0.2");
  EXPECT_EQ(t.Begin("another", "10.0.0.2").verdict, Verdict::kAllowed);
  t.Succeeded("another", "10.0.0.2");

  ASSERT_EQ(t.Begin("admin", "10.0.0.3").verdict, Verdict::kAllowed);
  t.Failed("admin", "10.0.0.3");
  now_ += seconds(1);
  ASSERT_EQ(t.Begin("admin", "10.0.0.4").verdict, Verdict::kAllowed);
  t.Succeeded("admin", "10.0.0.4");
  EXPECT_EQ(t.Begin("admin", "10.0.0.4").verdict, Verdict::kAllowed);
  t.Succeeded("admin", "10.0.0.4");
  EXPECT_EQ(t.Begin("admin", "10.0.0.3").verdict, Verdict::kAllowed);
  t.Failed("admin", "10.0.0.3");
  // Failures spread wider apart than a lockout lasts never add up to one.
  for (int i = 0; i < 8; ++i) {
    now_ += seconds(61);
    EXPECT_EQ(t.Begin("slow", "10.0.0.5").verdict, Verdict::kAllowed) << i;
    t.Failed("slow", "10.0.0.5");
  }
}

TEST(ThrottleKeyTest, SpellingsOfOneAccountShareOneCount) {
  for (const char* user : {"admin", "ADMIN", "TESTPC\\Admin", "admin@corp.example"}) {
    EXPECT_EQ(ThrottleKey(user), "admin") << user;
  }
}

}  // namespace
}  // namespace brindlecore::host
