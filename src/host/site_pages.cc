// The web sites of the local web server: list, create, start, point a directory, favorites.
#include <filesystem>

#include "host/listing.h"
#include "host/site.h"
#include "platform/default_platform.h"
#include "platform/web/nginx_config.h"

namespace brindlecore::host {
namespace {

struct SiteState {
  bool started = false;
  std::string url;  // where a started site answers; "" when its first binding cannot be read
};

// The component's listing has neither the state nor the host names, so they are read from the
// metabase the component writes. `page_host` stands in for "all addresses".
SiteState StateOf(const std::string& number, const std::string& page_host) {
  SiteState state;
  try {
    auto site = platform::DefaultPlatform().GetObject("IIS://LocalHost/W3SVC/" + number);
    state.started = site->Get("ServerState") == Variant(int32_t{2});
    Variant bindings = site->Get("ServerBindings");
    std::string first = bindings.IsArray()
                            ? (bindings.array().empty() ? "" : ToText(bindings.array().front()))
                            : ConcatText(bindings);
    platform::web::Binding b = platform::web::ParseBinding(first);
    size_t colon = b.address.rfind(':');
    std::string ip = b.address.substr(0, colon);
    std::string host = !b.host.empty() ? b.host : ip != "0.0.0.0" ? ip : page_host;
    state.url = "http://" + host + b.address.substr(colon) + "/";
  } catch (const AutomationError&) {
  }
  return state;
}

// Checked here so a typing slip gets a plain answer rather than the component's error number.
std::string PortError(const std::string& port) {
  if (port.empty() || port.size() > 5 ||
      port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) < 1 ||
      std::stoi(port) > 65535) {
    return "The port must be a number from 1 to 65535.";
  }
  return "";
}

std::string FolderError(const std::string& folder) {
  if (folder.empty()) return "Type the path of a folder on this server.";
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    return "The folder " + folder + " does not exist on this server.";
  }
  return "";
}

// A text field of the forms below: a refused form shows again with what was typed into it.
std::string TextField(const httplib::Request* refused, std::string_view label, const char* name,
                      std::string_view fresh = "") {
  const std::string value =
      refused != nullptr && refused->has_param(name) ? Param(*refused, name) : std::string(fresh);
  return "<label>" + std::string(label) + " <input type=text name=" + name + " value=\"" +
         Escape(value) + "\"></label>";
}

}  // namespace

void AdminSite::Sites(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s) return;
  RenderSites(req, res, *s, "");
}

void AdminSite::RenderSites(const Request& req, Response& res, const Session& s,
                            const std::string& refusal) {
  CallOutcome o = CallComponent("GetVirtualWebServers", {Out()});
  const std::string csrf = CsrfField(s.csrf);
  std::string content = ErrorBox(ListingError(o, 0));

  // The component lists one site a tab: its number, "-", its comment and its addresses.
  std::string page_host = HostName(req.get_header_value("Host"));
  if (page_host.find(':') != std::string::npos) page_host = "[" + page_host + "]";
  content +=
      "<table class=listing id=sites><tr><th>Site</th><th>Comment and addresses</th>"
      "<th>State</th><th></th></tr>";
  const std::string list = o.ResultText();
  size_t pos = 0;
  while (pos < list.size()) {
    size_t end = list.find('\t', pos);
    if (end == std::string::npos) end = list.size();
    std::string entry = list.substr(pos, end - pos);
    pos = end + 1;
    if (entry.empty()) continue;
    size_t dash = entry.find('-');
    std::string number = entry.substr(0, dash);
    std::string rest = dash == std::string::npos ? "" : entry.substr(dash + 1);
    SiteState state = StateOf(number, page_host);
    std::string shown = state.started ? "started" : "stopped";
    if (state.started && !state.url.empty()) {
      shown +=
          " <a class=site-link href=\"" + Escape(state.url) + "\">" + Escape(state.url) + "</a>";
    }
    content += "<tr><td class=TableRow>" + Escape(number) + "</td><td class=TableRow>" +
               Escape(rest) + "</td><td class=TableRow>" + shown +
               "</td><td class=TableRow><form method=post action=StartSite.asp>" + csrf +
               "<input type=hidden name=site value=\"" + Escape(number) +
               "\"><button type=submit>Start</button></form></td></tr>";
  }
  content += "</table>";

  const Request* kept = refusal.empty() ? nullptr : &req;
  content +=
      "<form class=panel method=post action=CreateSite.asp id=create-site>" + csrf +
      "<p><strong>New web site</strong></p>" + TextField(kept, "IP address (empty: all)", "ip") +
      TextField(kept, "Port", "port", "80") + TextField(kept, "Root folder", "root") +
      TextField(kept, "Comment", "comment") +
      "<button type=submit>Create site</button></form>"
      "<form class=panel method=post action=CreateDir.asp id=create-dir>" +
      csrf + "<p><strong>Publish a folder</strong></p>" + TextField(kept, "Site number", "site") +
      TextField(kept, "Virtual directory (empty: the site's root)", "name") +
      TextField(kept, "Folder", "path") +
      "<button type=submit>Publish</button></form>"
      "<form class=panel method=post action=AddFavorite.asp id=add-favorite>" +
      csrf +
      "<p><strong>Add a favorite</strong></p>"
      "<label>Address <input type=text name=url></label>"
      "<label>Title <input type=text name=title></label>"
      "<button type=submit>Add favorite</button></form>";
  PageFrame frame = Frame(s, "Web sites", "sites");
  if (!refusal.empty()) {
    frame.message = refusal;
    frame.message_is_error = true;
  }
  Send(res, refusal.empty() ? 200 : 400, frame, content);
}

void AdminSite::CreateSite(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s || !CheckPost(req, res, *s)) return;
  std::string e = PortError(Param(req, "port"));
  if (e.empty()) e = FolderError(Param(req, "root"));
  if (!e.empty()) {
    RenderSites(req, res, *s, e);
    return;
  }
  CallOutcome o = CallComponent("CreateVirtualWebServer",
                                {In(Param(req, "ip")), In(Param(req, "port")),
                                 In(Param(req, "root")), In(Param(req, "comment")), Out()});
  const std::string number = o.ResultText();
  Report(res, *s, "Sites.asp", o, 4, !number.empty() && number != "0",
         "Web site " + number + " created.");
}

void AdminSite::StartSite(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s || !CheckPost(req, res, *s)) return;
  const std::string site = Param(req, "site");
  CallOutcome o = CallComponent("StartVirtualWebServer", {Out(site), Out()});
  Report(res, *s, "Sites.asp", o, 1, o.ResultTrue(), "Web site " + site + " started.");
}

void AdminSite::CreateDir(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s || !CheckPost(req, res, *s)) return;
  const std::string name = Param(req, "name");
  if (std::string e = FolderError(Param(req, "path")); !e.empty()) {
    RenderSites(req, res, *s, e);
    return;
  }
  CallOutcome o = CallComponent(
      "CreateVirtualDir", {Out(Param(req, "site")), Out(name), Out(Param(req, "path")), Out()});
  Report(res, *s, "Sites.asp", o, 3, o.ResultTrue(),
         name.empty() ? "Root folder set." : "Virtual directory " + name + " published.");
}

void AdminSite::AddFavorite(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s || !CheckPost(req, res, *s)) return;
  CallOutcome o =
      CallComponent("AddFavorite", {Out(Param(req, "url")), Out(Param(req, "title")), Out()});
  Report(res, *s, "Sites.asp", o, 2, o.ResultTrue(), "Favorite added.");
}

}  // namespace brindlecore::host
