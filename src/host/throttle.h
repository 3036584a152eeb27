// Failed sign-ins, counted per account name and per client address: each failure makes the next
// attempt wait longer, and enough of them lock the name (or the address) for a while. Names are
// counted whether or not such an account exists, so the answers never tell which ones do.
#ifndef BRINDLECORE_HOST_THROTTLE_H_
#define BRINDLECORE_HOST_THROTTLE_H_

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "host/site_config.h"

namespace brindlecore::host {

class SignInThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  explicit SignInThrottle(SignInPolicy policy, std::function<Clock::time_point()> now = Clock::now);

  enum class Verdict { kAllowed, kWait, kLocked };
  struct Decision {
    Verdict verdict = Verdict::kAllowed;
    // When a refused attempt may be made again (rounded up to whole seconds).
    std::chrono::seconds retry_after{0};
  };

  // Whether a sign-in of `account` from `address` may be checked now. An allowed attempt is in
  // flight until Failed or Succeeded: until then further attempts with that name or from that
  // address wait, so parallel requests cannot all be checked before the first failure counts.
  // A refused attempt is not itself counted as a failure.
  Decision Begin(const std::string& account, const std::string& address);
  void Failed(const std::string& account, const std::string& address);
  // Clears the account's failures; the address keeps its own, so signing in to an account of
  // one's own does not reset a guessing run against others.
  void Succeeded(const std::string& account, const std::string& address);

 private:
  struct Record {
    int failures = 0;
    Clock::time_point not_before;
    Clock::time_point locked_until;
    Clock::time_point last_failure;
    int in_flight = 0;
  };
  void FailLocked(std::map<std::string, Record>& records, const std::string& key, int lockout_after,
                  Clock::time_point now);
  Decision CheckLocked(const std::map<std::string, Record>& records, const std::string& key,
                       Clock::time_point now) const;
  void EndLocked(std::map<std::string, Record>& records, const std::string& key);
  void SweepLocked(Clock::time_point now);

  SignInPolicy policy_;
  std::function<Clock::time_point()> now_;
  std::mutex mu_;
  std::map<std::string, Record> accounts_;
  std::map<std::string, Record> addresses_;
};

// The name failures are counted under: the account part of DOMAIN\name or name@domain, in lower
// case, so spellings of one account share one count.
std::string ThrottleKey(const std::string& user);

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_THROTTLE_H_
