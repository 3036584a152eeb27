// What the pages share: reading a request, guarding a page, and answering.
#include "host/request_log.h"
#include "host/site.h"

namespace brindlecore::host {

bool IsHttps(const httplib::Request& req) { return req.ssl != nullptr; }

std::string SessionIdOf(const httplib::Request& req) {
  const std::string cookies = req.get_header_value("Cookie");
  const std::string key = std::string(kSessionCookie) + "=";
  size_t pos = 0;
  while (pos < cookies.size()) {
    size_t end = cookies.find(';', pos);
    if (end == std::string::npos) end = cookies.size();
    std::string_view item(cookies.data() + pos, end - pos);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    if (item.substr(0, key.size()) == key) return std::string(item.substr(key.size()));
    pos = end + 1;
  }
  return "";
}

std::string AccountName(const std::string& user) {
  size_t slash = user.find('\\');
  return slash == std::string::npos ? user : user.substr(slash + 1);
}

namespace {

std::string OwnOrigin(const httplib::Request& req) {
  return (IsHttps(req) ? "https://" : "http://") + req.get_header_value("Host");
}

}  // namespace

bool IsCrossSite(const httplib::Request& req) {
  const std::string site = req.get_header_value("Sec-Fetch-Site");
  if (!site.empty() && site != "same-origin" && site != "none") return true;
  const std::string origin = req.get_header_value("Origin");
  return !origin.empty() && origin != OwnOrigin(req);
}

bool IsSameOrigin(const httplib::Request& req) {
  const std::string site = req.get_header_value("Sec-Fetch-Site");
  if (!site.empty()) return site == "same-origin";
  const std::string origin = req.get_header_value("Origin");
  if (!origin.empty()) return origin == OwnOrigin(req);
  const std::string referer = req.get_header_value("Referer");
  return !referer.empty() && referer.rfind(OwnOrigin(req) + "/", 0) == 0;
}

bool IsOwnPage(std::string_view page) {
  static constexpr std::string_view kPages[] = {"Default.asp", "ProfileAdministrators.asp",
                                                "Groups.asp",  "Users.asp",
                                                "Import.asp",  "Sites.asp"};
  for (std::string_view p : kPages) {
    if (p == page) return true;
  }
  return false;
}

bool IsReturnPage(std::string_view page) {
  constexpr std::string_view kMembers = "Members.asp?GroupName=";
  if (page.substr(0, kMembers.size()) != kMembers) return IsOwnPage(page);
  // What UrlEncode writes, so nothing in it can end the header or add a parameter.
  return page.find_first_not_of(
             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.~%",
             kMembers.size()) == std::string_view::npos;
}

void RefuseCrossSite(httplib::Response& res) {
  res.status = 403;
  res.set_content("Request refused: it did not come from a page of this site.",
                  "text/plain; charset=utf-8");
}

std::string ErrorText(const AutomationError& e) {
  return "Error " + NumberText(e.number) + ": " + e.description;
}

std::string Param(const httplib::Request& req, const std::string& name) {
  if (req.has_param(name.c_str())) return req.get_param_value(name.c_str());
  if (req.has_file(name.c_str())) return req.get_file_value(name.c_str()).content;
  return "";
}

std::optional<Session> AdminSite::SignedIn(const Request& req, Response& res) {
  std::optional<Session> s = sessions_.Find(SessionIdOf(req));
  if (!s) {
    res.set_redirect("login.asp", 303);
    return s;
  }
  CurrentRequest().user = s->user;
  return s;
}

std::optional<Session> AdminSite::Admin(const Request& req, Response& res) {
  std::optional<Session> s = SignedIn(req, res);
  if (s && s->role != Role::kServerAdministrator) {
    PageFrame frame = Frame(*s, "Not allowed", "denied");
    Send(res, 403, frame,
         "<p>This page is for server administrators. <a href=Default.asp>Your profiles</a></p>");
    return std::nullopt;
  }
  return s;
}

bool AdminSite::CheckPost(const Request& req, Response& res, const Session& s) {
  if (IsCrossSite(req) || !ConstantTimeEquals(Param(req, "csrf"), s.csrf)) {
    RefuseCrossSite(res);
    return false;
  }
  return true;
}

PageFrame AdminSite::Frame(const Session& s, std::string title, std::string page) {
  PageFrame frame;
  frame.title = std::move(title);
  frame.page = std::move(page);
  frame.user = s.user;
  frame.csrf = s.csrf;
  frame.admin = s.role == Role::kServerAdministrator;
  auto [message, is_error] = sessions_.TakeFlash(s.id);
  frame.message = std::move(message);
  frame.message_is_error = is_error;
  return frame;
}

void AdminSite::Send(Response& res, int status, const PageFrame& frame, std::string_view content) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_header("X-Frame-Options", "DENY");
  res.set_header("Referrer-Policy", "same-origin");
  // No inline script of any kind: the component's calls reach the page script as data.
  res.set_header("Content-Security-Policy",
                 "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self'; "
                 "object-src 'none'; form-action 'self'; frame-ancestors 'none'; "
                 "base-uri 'none'");
  res.set_content(RenderPage(frame, content), "text/html; charset=utf-8");
}

void AdminSite::Refuse(const Request& req, Response& res, const std::string& why) {
  if (req.path == "/login.asp") {
    RenderLogin(res, 400, "", why);
    return;
  }
  PageFrame frame;
  frame.title = "Request refused";
  frame.page = "refused";
  frame.message = why;
  frame.message_is_error = true;
  Send(res, 400, frame, "<p><a href=Default.asp>Back to the pages</a></p>");
}

void AdminSite::NotFound(const Request& req, Response& res) {
  PageFrame frame;
  frame.title = "Not found";
  frame.page = "notfound";
  // The frame of the signed-in visitor, but not their one-shot message: a stray request of the
  // browser's own (an icon it guesses at) would take it from the page it was meant for.
  if (std::optional<Session> s = sessions_.Find(SessionIdOf(req))) {
    CurrentRequest().user = s->user;
    frame.user = s->user;
    frame.csrf = s->csrf;
    frame.admin = s->role == Role::kServerAdministrator;
  }
  Send(res, 404, frame,
       "<p>Not found: there is no page at this address.</p>"
       "<p><a href=/>Back to the pages</a></p>");
}

void AdminSite::Done(Response& res, const Session& s, const std::string& back, std::string message,
                     bool is_error) {
  sessions_.Flash(s.id, std::move(message), is_error);
  res.set_redirect(IsReturnPage(back) ? back : "Default.asp", 303);
}

void AdminSite::Report(Response& res, const Session& s, const std::string& back,
                       const CallOutcome& o, size_t error_arg, bool ok,
                       const std::string& success) {
  if (o.error) {
    Done(res, s, back, ErrorText(*o.error), true);
  } else if (!ok) {
    std::string text = o.Text(error_arg);
    Done(res, s, back, text.empty() ? "The change was not made." : text, true);
  } else {
    // Some successes still carry a note in pvError (an existing directory, say).
    std::string note = o.Text(error_arg);
    Done(res, s, back, note.empty() ? success : success + " " + note, false);
  }
}
}  // namespace brindlecore::host
