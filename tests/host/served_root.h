// A platform root with accounts, a web site and the component registered, and the command's
// `serve` running over it on a free loopback port for as long as the object lives.
#ifndef BRINDLECORE_TESTS_HOST_SERVED_ROOT_H_
#define BRINDLECORE_TESTS_HOST_SERVED_ROOT_H_

#include <httplib.h>

#include <string>

#include "support/process.h"
#include "support/temp_dir.h"

namespace brindlecore::testing {

inline constexpr char kComputer[] = "TESTPC";
// By default, failed sign-ins are not throttled.
inline constexpr char kNoThrottle[] =
    "signin.delay_ms = 0\nsignin.lockout_after = 0\nsignin.address_lockout_after = 0\n";

class ServedRoot {
 public:
  // admin ("admin-pw", in Administrators), carol ("carol-pw", member of QZW3SVC1), bob (no
  // password); site 1 "Sales"; `conf` added to platform.conf. The server's standard error (Log())
  // is copied to the test's when it stops.
  explicit ServedRoot(const std::string& conf = kNoThrottle);
  ~ServedRoot();

  const std::filesystem::path& root() const { return dir_.path(); }
  std::string Log() const;
  // The server's TMPDIR, which it must leave as it found it: empty.
  std::filesystem::path tmp() const { return dir_.path() / "tmp"; }
  int port() const { return port_; }
  // "http://127.0.0.1:PORT", or https when the server said it speaks HTTPS.
  std::string origin() const { return scheme_ + "://127.0.0.1:" + std::to_string(port_); }
  // Over HTTPS, one that takes any certificate.
  httplib::Client Client() const;

 private:
  TempDir dir_;
  ServerProcess server_;
  int port_ = 0;
  std::string scheme_ = "http";
};

// A signed-in browser-like visitor: keeps the session cookie and the page's CSRF token.
struct Visitor {
  explicit Visitor(const ServedRoot& server) : server(server) {}
  httplib::Result SignIn(const std::string& user, const std::string& password,
                         const std::string& login_type = "ServerAdministrator",
                         const std::string& directory = std::string("WinNT://") + kComputer);
  httplib::Result Get(const std::string& path, httplib::Headers extra = {});
  // Posts `form` with the session's token (unless `with_token` is false), as a same-origin page.
  httplib::Result Post(const std::string& path, httplib::Params form, bool with_token = true);
  // Posts `content` as an upload named `name` to the import page.
  httplib::Result Import(const std::string& name, const std::string& content);

  const ServedRoot& server;
  std::string cookie;  // "bc_session=..."
  std::string csrf;
};

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_HOST_SERVED_ROOT_H_
