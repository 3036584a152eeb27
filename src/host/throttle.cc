#include "host/throttle.h"

#include <algorithm>

namespace brindlecore::host {
namespace {

// Beyond this many names or addresses, records that no longer hold anything back are dropped.
constexpr size_t kSweepAbove = 10000;

}  // namespace

std::string ThrottleKey(const std::string& user) {
  std::string key = user.substr(user.find('\\') == std::string::npos ? 0 : user.find('\\') + 1);
  key = key.substr(0, key.find('@'));
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

SignInThrottle::SignInThrottle(SignInPolicy policy, std::function<Clock::time_point()> now)
    : policy_(policy), now_(std::move(now)) {}

SignInThrottle::Decision SignInThrottle::CheckLocked(const std::map<std::string, Record>& records,
                                                     const std::string& key,
                                                     Clock::time_point now) const {
  auto it = records.find(key);
  if (it == records.end()) return {};
  auto wait = [now](Clock::time_point until) {
    return std::chrono::ceil<std::chrono::seconds>(until - now);
  };
  if (it->second.locked_until > now) return {Verdict::kLocked, wait(it->second.locked_until)};
  if (it->second.not_before > now) return {Verdict::kWait, wait(it->second.not_before)};
  if (it->second.in_flight > 0) return {Verdict::kWait, std::chrono::seconds(1)};
  return {};
}

SignInThrottle::Decision SignInThrottle::Begin(const std::string& account,
                                               const std::string& address) {
  std::lock_guard lock(mu_);
  const Clock::time_point now = now_();
  Decision by_account = CheckLocked(accounts_, account, now);
  Decision by_address = CheckLocked(addresses_, address, now);
  // The harder refusal wins: a lockout over a wait, then the longer one.
  if (by_address.verdict > by_account.verdict ||
      (by_address.verdict == by_account.verdict &&
       by_address.retry_after > by_account.retry_after)) {
    return by_address;
  }
  if (by_account.verdict == Verdict::kAllowed) {
    ++accounts_[account].in_flight;
    ++addresses_[address].in_flight;
  }
  return by_account;
}

void SignInThrottle::EndLocked(std::map<std::string, Record>& records, const std::string& key) {
  auto it = records.find(key);
  if (it != records.end() && it->second.in_flight > 0) --it->second.in_flight;
}

void SignInThrottle::FailLocked(std::map<std::string, Record>& records, const std::string& key,
                                int lockout_after, Clock::time_point now) {
  Record& r = records[key];
  // A lockout that has ended, or failures older than a lockout lasts, start a fresh count.
  const bool ended = r.locked_until != Clock::time_point() && r.locked_until <= now;
  if (ended || (r.failures > 0 && now - r.last_failure >= policy_.lockout)) {
    const int in_flight = r.in_flight;
    r = Record();
    r.in_flight = in_flight;
  }
  ++r.failures;
  r.last_failure = now;
  if (lockout_after > 0 && r.failures >= lockout_after) {
    r.locked_until = now + policy_.lockout;
    return;
  }
  auto delay = policy_.delay;
  for (int i = 1; i < r.failures && delay < policy_.max_delay; ++i) delay *= 2;
  r.not_before = now + std::min(delay, policy_.max_delay);
}

void SignInThrottle::Failed(const std::string& account, const std::string& address) {
  std::lock_guard lock(mu_);
  const Clock::time_point now = now_();
  EndLocked(accounts_, account);
  EndLocked(addresses_, address);
  FailLocked(accounts_, account, policy_.account_lockout_after, now);
  FailLocked(addresses_, address, policy_.address_lockout_after, now);
  SweepLocked(now);
}

void SignInThrottle::Succeeded(const std::string& account, const std::string& address) {
  std::lock_guard lock(mu_);
  EndLocked(addresses_, address);
  EndLocked(accounts_, account);
  auto it = accounts_.find(account);
  if (it != accounts_.end()) {
    const int in_flight = it->second.in_flight;
    it->second = Record();
    it->second.in_flight = in_flight;
  }
}

void SignInThrottle::SweepLocked(Clock::time_point now) {
  // A record is kept while it holds an attempt back or its failures still count.
  const Clock::duration keep = policy_.max_delay;
  for (auto* records : {&accounts_, &addresses_}) {
    if (records->size() <= kSweepAbove) continue;
    std::erase_if(*records, [&](const auto& entry) {
      const Record& r = entry.second;
      return r.in_flight == 0 && std::max({r.locked_until, r.not_before + keep,
                                           r.last_failure + policy_.lockout}) <= now;
    });
  }
}

}  // namespace brindlecore::host
