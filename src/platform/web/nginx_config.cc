#include "platform/web/nginx_config.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>

#include "platform/automation/errors.h"

namespace brindlecore::platform::web {
namespace {

constexpr char kListen[] = "    listen ";

// Inside double quotes nginx still expands "$name" and reads backslash escapes, and a line break
// would end the directive in the log: such text is refused rather than escaped.
bool SafeInQuotes(const std::string& text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    auto u = static_cast<unsigned char>(c);
    return c == '"' || c == '\\' || c == '$' || u < 0x20 || u == 0x7f;
  });
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string QuotedPath(const std::filesystem::path& path) {
  if (!path.is_absolute() || !SafeInQuotes(path.string())) errors::kErrorInvalidName.Throw();
  return Quoted(path.string());
}

// Virtual directory names become URL paths: ".", ".." and empty segments would never match.
void CheckUrlPath(const std::string& url_path) {
  if (!SafeInQuotes(url_path) || url_path.find("/./") != std::string::npos ||
      url_path.find("/../") != std::string::npos || url_path.find("//") != std::string::npos) {
    errors::kErrorInvalidName.Throw();
  }
}

bool ValidHost(const std::string& host) {
  return host.size() <= 255 && std::all_of(host.begin(), host.end(), [](char c) {
           return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
         });
}

std::string Address(const std::string& ip) {
  if (ip.empty() || ip == "*") return "0.0.0.0";
  char text[INET6_ADDRSTRLEN];
  if (ip.front() == '[' && ip.back() == ']') {
    in6_addr a6;
    std::string inner = ip.substr(1, ip.size() - 2);
    if (inet_pton(AF_INET6, inner.c_str(), &a6) != 1) errors::kEInvalidarg.Throw();
    std::string bracketed(1, '[');
    bracketed.append(inet_ntop(AF_INET6, &a6, text, sizeof(text))).push_back(']');
    return bracketed;
  }
  in_addr a4;
  if (inet_pton(AF_INET, ip.c_str(), &a4) != 1) errors::kEInvalidarg.Throw();
  return inet_ntop(AF_INET, &a4, text, sizeof(text));
}

// The directories of one site, each as a location.
void RenderLocations(const WebSite& site, std::ostringstream& out) {
  for (const auto& dir : site.directories) {
    CheckUrlPath(dir.url_path);
    const bool root = dir.url_path == "/";
    if (!root) {
      std::string bare = dir.url_path.substr(0, dir.url_path.size() - 1);
      out << "    location = " << Quoted(bare) << " {\n        return 301 " << Quoted(dir.url_path)
          << ";\n    }\n";
    }
    out << "    location " << Quoted(dir.url_path) << " {\n";
    if (!dir.read) {
      out << "        return 403;\n";
    } else if (dir.folder.empty()) {
      out << "        return 404;\n";
    } else if (root) {
      out << "        root " << QuotedPath(dir.folder) << ";\n";
    } else {
      // alias maps the location's prefix onto the folder: both must end in "/".
      std::string folder = dir.folder.ends_with('/') ? dir.folder : dir.folder + "/";
      out << "        alias " << QuotedPath(folder) << ";\n";
    }
    out << "    }\n";
  }
}

}  // namespace

Binding ParseBinding(const std::string& text) {
  // The IP may be a bracketed IPv6 address holding colons of its own.
  if (text.empty()) errors::kEInvalidarg.Throw();
  size_t ip_end = text.front() == '[' ? text.find(']') : 0;
  if (ip_end == std::string::npos) errors::kEInvalidarg.Throw();
  size_t first = text.find(':', ip_end);
  size_t second = first == std::string::npos ? first : text.find(':', first + 1);
  if (second == std::string::npos) errors::kEInvalidarg.Throw();
  std::string port = text.substr(first + 1, second - first - 1);
  if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), ::isdigit) ||
      std::stoi(port) < 1 || std::stoi(port) > 65535) {
    errors::kEInvalidarg.Throw();
  }
  std::string host = text.substr(second + 1);
  if (!ValidHost(host)) errors::kEInvalidarg.Throw();
  std::transform(host.begin(), host.end(), host.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return {Address(text.substr(0, first)) + ":" + std::to_string(std::stoi(port)), host};
}

std::string RenderSites(const std::vector<WebSite>& sites) {
  std::ostringstream out;
  out << "# The started web sites of brindlecore's metabase, rewritten at every change.\n";
  std::set<std::pair<std::string, std::string>> claimed;  // (address, host)
  std::set<std::string> addresses;
  std::set<std::string> with_default;
  for (const auto& site : sites) {
    // The number goes into a comment line, which a line break would end.
    if (!SafeInQuotes(site.number)) errors::kErrorInvalidName.Throw();
    // Host names per address, in binding order.
    std::vector<std::pair<std::string, std::vector<std::string>>> groups;
    for (const auto& text : site.bindings) {
      Binding b = ParseBinding(text);
      auto group = std::find_if(groups.begin(), groups.end(),
                                [&](const auto& g) { return g.first == b.address; });
      if (group == groups.end()) group = groups.insert(groups.end(), {b.address, {}});
      if (std::find(group->second.begin(), group->second.end(), b.host) != group->second.end()) {
        continue;  // the same binding twice in one site
      }
      if (!claimed.insert({b.address, b.host}).second) errors::kErrorAlreadyExists.Throw();
      group->second.push_back(b.host);
    }
    for (const auto& [address, hosts] : groups) {
      addresses.insert(address);
      bool is_default = std::find(hosts.begin(), hosts.end(), "") != hosts.end();
      if (is_default) with_default.insert(address);
      out << "# web site " << site.number << "\nserver {\n"
          << kListen << address << (is_default ? " default_server" : "") << ";\n"
          << "    server_name";
      for (const auto& host : hosts) out << " " << Quoted(host);
      out << ";\n";
      RenderLocations(site, out);
      out << "}\n";
    }
  }
  for (const auto& address : addresses) {
    if (with_default.count(address)) continue;
    out << "# no site answers " << address << " without a host name of its own\nserver {\n"
        << kListen << address << " default_server;\n    return 400;\n}\n";
  }
  return out.str();
}

std::vector<std::string> ListenAddresses(const std::string& rendered) {
  std::set<std::string> found;
  std::istringstream in(rendered);
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with(kListen)) continue;
    std::string address = line.substr(sizeof(kListen) - 1);
    found.insert(address.substr(0, address.find_first_of(" ;")));
  }
  return {found.begin(), found.end()};
}

std::string RenderMaster(const MasterLayout& layout) {
  const auto& p = layout.prefix;
  std::ostringstream out;
  out << "# brindlecore's own nginx master: every path stays under its prefix.\n"
      << "worker_processes 1;\n"
      << "pid " << QuotedPath(p / "run/nginx.pid") << ";\n"
      << "lock_file " << QuotedPath(p / "run/nginx.lock") << ";\n"
      << "error_log " << QuotedPath(p / "logs/error.log") << " notice;\n";
  if (!layout.user.empty()) {
    if (!ValidHost(layout.user)) errors::kErrorInvalidName.Throw();
    out << "user " << layout.user << ";\n";
  }
  out << "events {\n    worker_connections 256;\n}\n"
      << "http {\n"
      << "    types {\n"
      << "        text/html html htm;\n        text/css css;\n        text/plain txt;\n"
      << "        application/javascript js;\n        application/json json;\n"
      << "        image/png png;\n        image/jpeg jpg jpeg;\n        image/gif gif;\n"
      << "        image/svg+xml svg;\n        image/x-icon ico;\n        application/pdf pdf;\n"
      << "    }\n"
      << "    default_type application/octet-stream;\n"
      << "    access_log " << QuotedPath(p / "logs/access.log") << ";\n"
      << "    client_body_temp_path " << QuotedPath(p / "temp/body") << ";\n"
      << "    proxy_temp_path " << QuotedPath(p / "temp/proxy") << ";\n"
      << "    fastcgi_temp_path " << QuotedPath(p / "temp/fastcgi") << ";\n"
      << "    uwsgi_temp_path " << QuotedPath(p / "temp/uwsgi") << ";\n"
      << "    scgi_temp_path " << QuotedPath(p / "temp/scgi") << ";\n"
      << "    server_names_hash_bucket_size 512;\n"  // room for host names of 255 bytes
      << "    server_tokens off;\n"
      << "    sendfile on;\n"
      << "    include " << QuotedPath(layout.sites_file) << ";\n"
      << "}\n";
  return out.str();
}

}  // namespace brindlecore::platform::web
