// Signing in and out, and the home page a sign-in leads to.
#include <algorithm>

#include "host/request_log.h"
#include "host/site.h"

namespace brindlecore::host {

void AdminSite::RenderLogin(Response& res, int status, const std::string& user,
                            const std::string& error, const std::string& hint) {
  PageFrame frame;
  frame.title = "Sign in";
  frame.page = "signin";
  frame.message = error;
  frame.message_is_error = true;
  frame.hint = hint;
  std::string form =
      "<div class=signin><form class=panel method=post action=login.asp>"
      "<label>User name <input type=text name=username id=username autocomplete=username "
      "maxlength=256 value=\"" +
      Escape(user) +
      "\" autofocus></label>"
      "<label>Password <input type=password name=password id=password maxlength=256 "
      "autocomplete=current-password></label>"
      "<label>Directory <select name=directory id=directory>";
  // Only what the administrator configured: a directory named by the visitor would answer both
  // the password check and the administrators' group.
  for (const Directory& d : config_.directories) {
    form += "<option value=\"" + Escape(d.path) + "\">" + Escape(d.label) + "</option>";
  }
  form +=
      "</select></label>"
      "<label><input type=radio name=login_type value=ServerAdministrator checked> "
      "Server administrator</label>"
      "<label><input type=radio name=login_type value=ProfileAdministrator id=as_profile> "
      "Profile administrator</label>"
      "<p><button type=submit id=signin>Sign in</button></p></form></div>";
  Send(res, status, frame, form);
}

namespace {

bool Says(const std::string& error, std::string_view text) {
  return error.find(text) != std::string::npos;
}

// The component's sign-in refusals are written for the original platform's administrators; the
// ones met most get a line saying what to do here.
std::string SignInHint(const SiteConfig& config, const std::string& error,
                       const std::string& directory, const std::string& user) {
  const bool local = directory.rfind("WinNT://", 0) == 0;
  if (Says(error, "Logon failure: unknown user name or bad password.") ||
      Says(error, "Login credentials (username and/or password) incorrect.") ||
      Says(error, "Username/password does not exist.")) {
    return local ? "Check the user name and the password (capitals count). brindlecore user "
                   "list " +
                       config.computer +
                       " lists this computer's accounts; brindlecore "
                       "user passwd " +
                       config.computer + " NAME sets a new password."
                 : "Check the user name and the password (capitals count): the name as the "
                   "directory knows it (its account name, or DOMAIN\\name).";
  }
  if (Says(error, "The server is not operational.") && !local) {
    return config.ldap_uri_set
               ? "No directory server answered: check ldap.uri in platform.conf and that the "
                 "server can be reached from here. brindlecore ldap check tests the set-up."
               : "No directory server is set up: set ldap.uri in platform.conf (for example "
                 "ldap.uri = ldaps://dc1.example.com), with ldap.bind_dn and "
                 "ldap.bind_password_file for the service account. brindlecore ldap check "
                 "tests the set-up.";
  }
  if (Says(error, "Group Membership Incorrect for Server Administrator.")) {
    return "The password is right, but the account is not a member of " + config.admin_group +
           (local ? ": brindlecore group addmember " + config.computer + " " + config.admin_group +
                        " " + AccountName(user) + " adds it."
                  : " in the directory.");
  }
  if (Says(error, "Group Membership Incorrect for Profile Administrator.")) {
    return "The password is right, but the account belongs to no profile group: a server "
           "administrator adds it on the Profile administrators page.";
  }
  return "";
}

// The request's log line names the name tried and the client address: a journal to watch for
// guessing.
void NoteRefusedSignIn(std::string what, const std::string& user) {
  RequestNote& note = CurrentRequest();
  note.signin = std::move(what);
  note.signin_user = user;
}

}  // namespace

void AdminSite::LoginForm(const Request& req, Response& res) {
  if (sessions_.Find(SessionIdOf(req))) {
    res.set_redirect("Default.asp", 303);
    return;
  }
  RenderLogin(res, 200, "", "");
}

void AdminSite::Login(const Request& req, Response& res) {
  if (IsCrossSite(req)) {
    RefuseCrossSite(res);
    return;
  }
  const std::string user = Param(req, "username");
  const std::string password = Param(req, "password");
  const std::string directory = Param(req, "directory");
  if (std::none_of(config_.directories.begin(), config_.directories.end(),
                   [&](const Directory& d) { return d.path == directory; })) {
    RenderLogin(res, 400, user, "Choose one of the offered directories.");
    return;
  }
  const std::string login_type = Param(req, "login_type") == "ProfileAdministrator"
                                     ? "ProfileAdministrator"
                                     : "ServerAdministrator";
  // Known and unknown names are throttled alike and the refusal is the same, so it tells
  // nothing about which accounts exist.
  const std::string account_key = ThrottleKey(user);
  const SignInThrottle::Decision decision = throttle_.Begin(account_key, req.remote_addr);
  if (decision.verdict != SignInThrottle::Verdict::kAllowed) {
    NoteRefusedSignIn("refused (too many failures)", user);
    const std::string seconds = std::to_string(std::max<long>(1, decision.retry_after.count()));
    res.set_header("Retry-After", seconds);
    RenderLogin(res, 429, user,
                decision.verdict == SignInThrottle::Verdict::kLocked
                    ? "Too many failed sign-ins: this name or this address is locked for " +
                          seconds + " seconds."
                    : "Too many failed sign-ins: wait " + seconds + " seconds and try again.");
    return;
  }

  CallOutcome o = CallComponent("AuthenticateUser",
                                {In(config_.computer), In(directory), In(user), In(password), Out(),
                                 Out(), In(config_.admin_group), In(login_type), Out()});
  const std::string error = o.error ? ErrorText(*o.error) : o.Text(8);
  const std::string list = o.Text(4);
  // Signed in only when the component left no error and named at least one group.
  if (o.error || !error.empty() || list.empty()) {
    throttle_.Failed(account_key, req.remote_addr);
    NoteRefusedSignIn("failed", user);
    RenderLogin(res, 401, user, error.empty() ? "Sign-in failed." : error,
                SignInHint(config_, error, directory, user));
    return;
  }
  throttle_.Succeeded(account_key, req.remote_addr);
  Session s;
  s.role = login_type == "ProfileAdministrator" ? Role::kProfileAdministrator
                                                : Role::kServerAdministrator;
  s.user = user;
  s.password = password;
  s.directory = directory;
  const std::string names = o.Text(5);
  size_t a = 0, b = 0;
  while (a < list.size()) {
    size_t ea = list.find(';', a);
    size_t eb = names.find(';', b);
    if (ea == std::string::npos) ea = list.size();
    std::string description =
        b < names.size() ? names.substr(b, eb == std::string::npos ? std::string::npos : eb - b)
                         : "";
    s.groups.emplace_back(list.substr(a, ea - a), description);
    a = ea + 1;
    b = eb == std::string::npos ? names.size() : eb + 1;
  }
  Session stored = sessions_.Create(std::move(s));
  CurrentRequest().user = stored.user;
  // Over HTTPS the browser must never send the cookie in clear.
  res.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + stored.id +
                                   "; Path=/; HttpOnly; SameSite=Strict" +
                                   (IsHttps(req) ? "; Secure" : ""));
  res.set_redirect(
      stored.role == Role::kServerAdministrator ? "ProfileAdministrators.asp" : "Default.asp", 303);
}

void AdminSite::Logout(const Request& req, Response& res) {
  std::optional<Session> s = SignedIn(req, res);
  if (!s || !CheckPost(req, res, *s)) return;
  sessions_.Remove(s->id);
  res.set_header("Set-Cookie", std::string(kSessionCookie) +
                                   "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict" +
                                   (IsHttps(req) ? "; Secure" : ""));
  res.set_redirect("login.asp", 303);
}

void AdminSite::Home(const Request& req, Response& res) {
  std::optional<Session> s = SignedIn(req, res);
  if (!s) return;
  bool admin = s->role == Role::kServerAdministrator;
  std::string content = admin ? "<p>You are signed in as a server administrator through:</p>"
                              : "<p>You may see the statistics of these profiles:</p>";
  content += "<table class=listing id=profiles><tr><th>" +
             std::string(admin ? "Group" : "Profile") + "</th><th>Description</th></tr>";
  for (const auto& [key, description] : s->groups) {
    content += "<tr><td class=TableRow>" + Escape(key) + "</td><td class=TableRow>" +
               Escape(description) + "</td></tr>";
  }
  content += "</table>";
  Send(res, 200, Frame(*s, admin ? "Welcome" : "Your profiles", "home"), content);
}
}  // namespace brindlecore::host
