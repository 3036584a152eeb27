// Signed-in administrators, kept in server memory only: the password a session holds never
// leaves the process (it is needed by the methods that bind with the user's credentials).
#ifndef BRINDLECORE_HOST_SESSION_H_
#define BRINDLECORE_HOST_SESSION_H_

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brindlecore::host {

enum class Role { kServerAdministrator, kProfileAdministrator };

struct Session {
  std::string id;
  std::string csrf;  // sent back with every state-changing form
  Role role = Role::kServerAdministrator;
  std::string user;       // as typed at sign-in
  std::string password;   // wiped when the session ends
  std::string directory;  // the provider string signed in against
  // (group entry, description) pairs of the sign-in, in the order the component gave them.
  std::vector<std::pair<std::string, std::string>> groups;
  // One message for the next page shown, then dropped.
  std::string flash;
  bool flash_is_error = false;
};

class SessionStore {
 public:
  using Clock = std::chrono::steady_clock;
  explicit SessionStore(std::chrono::seconds idle_limit = std::chrono::minutes(20),
                        std::function<Clock::time_point()> now = Clock::now);
  ~SessionStore();

  // Stores a new session under fresh random id and CSRF token; returns the stored copy.
  Session Create(Session s);
  // The live session of `id`, refreshing its idle clock; nullopt when unknown or idle too long
  // (an expired session is removed, its password wiped).
  std::optional<Session> Find(const std::string& id);
  // Applies `change` to a live session.
  void Update(const std::string& id, const std::function<void(Session&)>& change);
  // Sets the one-shot message of a session.
  void Flash(const std::string& id, std::string message, bool is_error);
  // Takes the one-shot message (empty when none).
  std::pair<std::string, bool> TakeFlash(const std::string& id);
  void Remove(const std::string& id);

 private:
  struct Entry {
    Session session;
    Clock::time_point last_used;
  };
  void EraseLocked(std::map<std::string, Entry>::iterator it);
  void SweepLocked(Clock::time_point now);

  std::chrono::seconds idle_limit_;
  std::function<Clock::time_point()> now_;
  std::mutex mu_;
  std::map<std::string, Entry> sessions_;
};

// `bytes` random bytes from the kernel, as lower-case hex.
std::string RandomToken(size_t bytes = 32);

// Compares two texts in time independent of where they differ.
bool ConstantTimeEquals(const std::string& a, const std::string& b);

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_SESSION_H_
