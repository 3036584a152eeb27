// The pages' configuration: the computer they serve, who may sign in where, and how failed
// sign-ins are slowed down.
#ifndef BRINDLECORE_HOST_SITE_CONFIG_H_
#define BRINDLECORE_HOST_SITE_CONFIG_H_

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace brindlecore::host {

// A directory the sign-in page offers: what the visitor reads, and the provider text the
// component signs in against.
struct Directory {
  std::string label;
  std::string path;
};

// How failed sign-ins are slowed down and then refused, per account name and per client address.
struct SignInPolicy {
  // After each failure the next attempt waits delay * 2^(failures - 1), at most max_delay.
  std::chrono::milliseconds delay{500};
  std::chrono::milliseconds max_delay{8000};
  // This many failures lock the account name (or the address) for `lockout`; 0: never.
  int account_lockout_after = 5;
  int address_lockout_after = 20;
  std::chrono::seconds lockout{15 * 60};
};

struct SiteConfig {
  // The local computer whose account database holds the profile groups.
  std::string computer;
  // The group whose members are server administrators.
  std::string admin_group = "Administrators";
  // The only directories a sign-in may name; never empty.
  std::vector<Directory> directories;
  SignInPolicy signin;
  // platform.conf names the directory servers (ldap.uri): the sign-in's hints tell which keys to
  // set when it does not.
  bool ldap_uri_set = false;
  // serve.tls_cert and serve.tls_key: the certificate chain and private key (PEM files) of
  // HTTPS; both empty: plain HTTP.
  std::string tls_cert;
  std::string tls_key;
  // Connections served at once; the rest wait for a free worker.
  size_t max_workers = 256;
};

// platform.conf's host.computer (else the root's first account database), host.admin_group,
// host.directories (`label | provider` entries separated by `;`; default: this computer, plus
// LDAP://RootDSE when ldap.uri is set), host.max_workers, the signin.* keys and serve.tls_cert
// with serve.tls_key (one without the other is malformed).
// Throws AutomationError when no computer can be found or a value is malformed.
SiteConfig LoadSiteConfig(const std::filesystem::path& root);

// host.directories' entries; an entry without "label |" is labelled with its path. Throws
// AutomationError for a path that is neither WinNT:// nor LDAP://.
std::vector<Directory> ParseDirectories(const std::string& text);

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_SITE_CONFIG_H_
