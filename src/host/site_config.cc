// The pages' configuration, read from the root's platform.conf.
#include "host/site_config.h"

#include <algorithm>
#include <thread>

#include "brindlecore/automation.h"
#include "host/served_computer.h"
#include "platform/root.h"

namespace brindlecore::host {
namespace {

std::string TrimmedText(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// A whole non-negative number of platform.conf, at least `least`; `fallback` when absent.
long ConfNumber(const platform::PlatformConfig& conf, const std::string& key, long fallback,
                long least = 0) {
  const std::string text = conf.Get(key);
  if (text.empty()) return fallback;
  if (text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos ||
      std::stol(text) < least) {
    throw AutomationError(-1, "platform.conf " + key + ": expected a whole number of at least " +
                                  std::to_string(least) + ", got \"" + text + "\"");
  }
  return std::stol(text);
}

}  // namespace

SiteConfig LoadSiteConfig(const std::filesystem::path& root) {
  platform::PlatformConfig conf = platform::PlatformConfig::Load(root);
  SiteConfig config;
  config.admin_group = conf.Get("host.admin_group", "Administrators");
  config.computer = ServedComputer(root);
  if (config.computer.empty()) {
    throw AutomationError(-1, "no account database in " + root.string() +
                                  ": run init first, or set host.computer in platform.conf");
  }
  config.ldap_uri_set = !conf.Get("ldap.uri").empty();
  config.directories = ParseDirectories(conf.Get("host.directories"));
  if (config.directories.empty()) {
    const std::string local = "WinNT://" + config.computer;
    config.directories.push_back({"This computer (" + local + ")", local});
    if (config.ldap_uri_set) {
      config.directories.push_back({"Default domain (LDAP://RootDSE)", "LDAP://RootDSE"});
    }
  }
  SignInPolicy& p = config.signin;
  p.delay = std::chrono::milliseconds(ConfNumber(conf, "signin.delay_ms", p.delay.count()));
  p.max_delay =
      std::chrono::milliseconds(ConfNumber(conf, "signin.max_delay_ms", p.max_delay.count()));
  p.account_lockout_after =
      static_cast<int>(ConfNumber(conf, "signin.lockout_after", p.account_lockout_after));
  p.address_lockout_after =
      static_cast<int>(ConfNumber(conf, "signin.address_lockout_after", p.address_lockout_after));
  p.lockout = std::chrono::seconds(ConfNumber(conf, "signin.lockout_seconds", p.lockout.count()));
  config.tls_cert = conf.Get("serve.tls_cert");
  config.tls_key = conf.Get("serve.tls_key");
  if (config.tls_cert.empty() != config.tls_key.empty()) {
    throw AutomationError(-1, std::string("platform.conf sets ") +
                                  (config.tls_cert.empty() ? "serve.tls_key" : "serve.tls_cert") +
                                  " alone: HTTPS needs both serve.tls_cert and serve.tls_key");
  }
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  config.max_workers = static_cast<size_t>(
      ConfNumber(conf, "host.max_workers", std::max<long>(256, 64L * cores), 1));
  return config;
}

std::vector<Directory> ParseDirectories(const std::string& text) {
  std::vector<Directory> out;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(';', pos);
    if (end == std::string::npos) end = text.size();
    const std::string entry = TrimmedText(text.substr(pos, end - pos));
    pos = end + 1;
    if (entry.empty()) continue;
    const size_t bar = entry.find('|');
    Directory d;
    d.path = TrimmedText(bar == std::string::npos ? entry : entry.substr(bar + 1));
    d.label = bar == std::string::npos ? d.path : TrimmedText(entry.substr(0, bar));
    if (d.path.rfind("WinNT://", 0) != 0 && d.path.rfind("LDAP://", 0) != 0) {
      throw AutomationError(-1, "platform.conf host.directories: \"" + d.path +
                                    "\" is not a WinNT:// or LDAP:// path");
    }
    out.push_back(std::move(d));
  }
  return out;
}
}  // namespace brindlecore::host
