// The request handlers behind Serve, and what they share: sessions, guards, responses.
#ifndef BRINDLECORE_HOST_SITE_H_
#define BRINDLECORE_HOST_SITE_H_

#include <httplib.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/component_call.h"
#include "host/html.h"
#include "host/session.h"
#include "host/site_config.h"
#include "host/throttle.h"

namespace brindlecore::host {

inline constexpr std::string_view kSessionCookie = "bc_session";

class AdminSite {
 public:
  explicit AdminSite(SiteConfig config) : config_(std::move(config)), throttle_(config_.signin) {}
  void Mount(httplib::Server& server);

 private:
  using Request = httplib::Request;
  using Response = httplib::Response;

  // --- guards; each writes the refusal itself and returns nullopt/false.
  std::optional<Session> SignedIn(const Request& req, Response& res);
  std::optional<Session> Admin(const Request& req, Response& res);
  // A POST of a signed-in session: same-site and carrying the session's token.
  bool CheckPost(const Request& req, Response& res, const Session& s);

  // --- helpers shared by the pages
  // Answers 400 with `why`: the sign-in form again for a sign-in, else a page of its own.
  void Refuse(const Request& req, Response& res, const std::string& why);
  void Send(Response& res, int status, const PageFrame& frame, std::string_view content);
  PageFrame Frame(const Session& s, std::string title, std::string page);
  void Done(Response& res, const Session& s, const std::string& back, std::string message,
            bool is_error);
  // Reports an outcome: the call's own error, else pvError, else `success`.
  void Report(Response& res, const Session& s, const std::string& back, const CallOutcome& o,
              size_t error_arg, bool ok, const std::string& success);
  std::string Provider() const { return "WinNT://" + config_.computer; }

  // --- pages
  void LoginForm(const Request& req, Response& res);
  void Login(const Request& req, Response& res);
  void Logout(const Request& req, Response& res);
  void Home(const Request& req, Response& res);
  void ProfileAdministrators(const Request& req, Response& res);
  void AddUser(const Request& req, Response& res);
  void UserDeleteForm(const Request& req, Response& res);
  void UserDelete(const Request& req, Response& res);
  void Members(const Request& req, Response& res);
  void Groups(const Request& req, Response& res);
  void EditGroupForm(const Request& req, Response& res);
  void EditGroup(const Request& req, Response& res);
  void AddExternalGroup(const Request& req, Response& res);
  void GenerateGroups(const Request& req, Response& res);
  void Users(const Request& req, Response& res);
  void ImportForm(const Request& req, Response& res);
  void Import(const Request& req, Response& res);
  void Sites(const Request& req, Response& res);
  void CreateSite(const Request& req, Response& res);
  void StartSite(const Request& req, Response& res);
  void CreateDir(const Request& req, Response& res);
  void AddFavorite(const Request& req, Response& res);

  // The not-found page: in the signed-in visitor's frame, else a plain one.
  void NotFound(const Request& req, Response& res);

  void RenderLogin(Response& res, int status, const std::string& user, const std::string& error,
                   const std::string& hint = "");
  // The Web sites page; with a refusal, answered 400 with the refused form's values kept.
  void RenderSites(const Request& req, Response& res, const Session& s, const std::string& refusal);

  SiteConfig config_;
  SessionStore sessions_;
  SignInThrottle throttle_;
};

// Helpers with no state, shared by the page files.
std::string SessionIdOf(const httplib::Request& req);
// A request that came over TLS (serve.tls_cert): its origin is https, its cookie Secure.
bool IsHttps(const httplib::Request& req);
// The account part of a user name typed as DOMAIN\account.
std::string AccountName(const std::string& user);
// A request a browser made from another site (or that claims to come from one).
bool IsCrossSite(const httplib::Request& req);
// A request that positively shows it comes from a page of this site.
bool IsSameOrigin(const httplib::Request& req);
// Answers 403 to a request that did not come from a page of this site.
void RefuseCrossSite(httplib::Response& res);
// The pages a redirect may lead to: only our own, by bare name.
bool IsOwnPage(std::string_view page);
// An own page, or a group's member list as MembersPage spells it.
bool IsReturnPage(std::string_view page);
// "Members.asp?GroupName=" and the group's name percent-encoded.
std::string MembersPage(const std::string& group);
// The profile groups of `computer`'s account database, in the directory's order; none when it
// cannot be read.
std::vector<std::string> ProfileGroups(const std::string& computer);
// "<number> ,<description>" text of a call that failed towards the page.
std::string ErrorText(const AutomationError& e);
std::string Param(const httplib::Request& req, const std::string& name);
// The name part of a Host header ("127.0.0.1:8080" -> "127.0.0.1", "[::1]:80" -> "::1").
std::string HostName(const std::string& host_header);
bool IsLoopbackName(const std::string& name);

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_SITE_H_
