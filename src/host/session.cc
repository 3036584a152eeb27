#include "host/session.h"

#include <string.h>
#include <sys/random.h>

#include <cerrno>

#include "brindlecore/automation.h"

namespace brindlecore::host {
namespace {

void Wipe(std::string& s) {
  if (!s.empty()) explicit_bzero(s.data(), s.size());
  s.clear();
}

}  // namespace

std::string RandomToken(size_t bytes) {
  std::string raw(bytes, '\0');
  size_t got = 0;
  while (got < bytes) {
    ssize_t n = getrandom(raw.data() + got, bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw AutomationError(-1, "no randomness available for a session");
    }
    got += static_cast<size_t>(n);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes * 2);
  for (unsigned char c : raw) {
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
  }
  return out;
}

bool ConstantTimeEquals(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return diff == 0;
}

SessionStore::SessionStore(std::chrono::seconds idle_limit, std::function<Clock::time_point()> now)
    : idle_limit_(idle_limit), now_(std::move(now)) {}

SessionStore::~SessionStore() {
  std::lock_guard lock(mu_);
  for (auto& [id, entry] : sessions_) Wipe(entry.session.password);
}

void SessionStore::EraseLocked(std::map<std::string, Entry>::iterator it) {
  Wipe(it->second.session.password);
  sessions_.erase(it);
}

void SessionStore::SweepLocked(Clock::time_point now) {
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    auto next = std::next(it);
    if (now - it->second.last_used > idle_limit_) EraseLocked(it);
    it = next;
  }
}

Session SessionStore::Create(Session s) {
  s.id = RandomToken();
  s.csrf = RandomToken();
  std::lock_guard lock(mu_);
  Clock::time_point now = now_();
  SweepLocked(now);
  sessions_[s.id] = Entry{s, now};
  return s;
}

std::optional<Session> SessionStore::Find(const std::string& id) {
  if (id.empty()) return std::nullopt;
  std::lock_guard lock(mu_);
  auto it = sessions_.find(id);
  if (it == sessions_.end()) return std::nullopt;
  Clock::time_point now = now_();
  if (now - it->second.last_used > idle_limit_) {
    EraseLocked(it);
    return std::nullopt;
  }
  it->second.last_used = now;
  return it->second.session;
}

void SessionStore::Update(const std::string& id, const std::function<void(Session&)>& change) {
  std::lock_guard lock(mu_);
  auto it = sessions_.find(id);
  if (it != sessions_.end()) change(it->second.session);
}

void SessionStore::Flash(const std::string& id, std::string message, bool is_error) {
  Update(id, [&](Session& s) {
    s.flash = std::move(message);
    s.flash_is_error = is_error;
  });
}

std::pair<std::string, bool> SessionStore::TakeFlash(const std::string& id) {
  std::pair<std::string, bool> taken;
  Update(id, [&](Session& s) {
    taken = {std::move(s.flash), s.flash_is_error};
    s.flash.clear();
  });
  return taken;
}

void SessionStore::Remove(const std::string& id) {
  std::lock_guard lock(mu_);
  auto it = sessions_.find(id);
  if (it != sessions_.end()) EraseLocked(it);
}

}  // namespace brindlecore::host
