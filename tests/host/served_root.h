// A platform root with accounts, a web site and the component registered, and the command's
// `serve` running over it on a free loopback port for as long as the object lives.
#ifndef BRINDLECORE_TESTS_HOST_SERVED_ROOT_H_
#define BRINDLECORE_TESTS_HOST_SERVED_ROOT_H_

#include <httplib.h>
#include <sys/types.h>

#include <string>

#include "support/temp_dir.h"

namespace brindlecore::testing {

inline constexpr char kComputer[] = "TESTPC";

class ServedRoot {
 public:
  // Builds the root: admin (password "admin-pw", in Administrators), carol ("carol-pw",
  // member of QZW3SVC1), bob (no password); site 1 "Sales"; then starts the server with
  // `conf` added to platform.conf (by default, failed sign-ins are not throttled). The server's
  // standard error goes to a file (Log()), copied to the test's when the server stops.
  explicit ServedRoot(const std::string& conf =
                          "signin.delay_ms = 0\nsignin.lockout_after = 0\n"
                          "signin.address_lockout_after = 0\n");
  ~ServedRoot();

  const std::filesystem::path& root() const { return dir_.path(); }
  // What the server has written on standard error so far.
  std::string Log() const;
  // The server's temporary folder (its TMPDIR), which it must leave as it found it: empty.
  std::filesystem::path tmp() const { return dir_.path() / "tmp"; }
  int port() const { return port_; }
  // "http://127.0.0.1:PORT", or https when the server said it speaks HTTPS.
  std::string origin() const { return scheme_ + "://127.0.0.1:" + std::to_string(port_); }
  // A client of origin(); over HTTPS, one that takes any certificate.
  httplib::Client Client() const;

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
  std::string scheme_ = "http";
};

// A signed-in browser-like visitor: keeps the session cookie and the page's CSRF token.
struct Visitor {
  explicit Visitor(const ServedRoot& server) : server(server) {}
  // Posts the sign-in form; returns the response (303 on success).
  httplib::Result SignIn(const std::string& user, const std::string& password,
                         const std::string& login_type = "ServerAdministrator");
  httplib::Result Get(const std::string& path, httplib::Headers extra = {});
  // Posts `form` with the session's token (unless `with_token` is false), as a same-origin page.
  httplib::Result Post(const std::string& path, httplib::Params form, bool with_token = true);

  const ServedRoot& server;
  std::string cookie;  // "bc_session=..."
  std::string csrf;
};

// The CSRF token a page carries in its forms; "" when none.
std::string TokenOf(const std::string& page);

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_HOST_SERVED_ROOT_H_
