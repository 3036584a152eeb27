// One connection to a directory server over libldap, shared by the objects bound through it and
// by directory search. Every libldap failure becomes a catalogue error in LdapError alone.
#ifndef BRINDLECORE_PLATFORM_DIRECTORY_LDAP_LDAP_SESSION_H_
#define BRINDLECORE_PLATFORM_DIRECTORY_LDAP_LDAP_SESSION_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "brindlecore/automation.h"
#include "platform/root.h"

typedef struct ldap LDAP;
typedef struct ldapmsg LDAPMessage;

namespace brindlecore::platform::ldap {

// The ldap.* keys of platform.conf.
struct LdapSettings {
  enum class StartTls { kNo, kTry, kDemand };
  enum class ReqCert { kDemand, kAllow, kNever };  // ldap.conf's TLS_REQCERT names
  std::vector<std::string> uris;  // tried in order; empty: the client configuration's default
  std::string bind_dn;            // empty: anonymous
  std::string bind_password;
  int timeout_seconds = 10;         // one operation
  int network_timeout_seconds = 5;  // connect, TLS handshake and the first answer
  StartTls starttls = StartTls::kNo;
  std::string tls_cacert;  // empty: libldap's own (ldap.conf TLS_CACERT, LDAPTLS_CACERT)
  ReqCert tls_reqcert = ReqCert::kDemand;
  // Servers a path may name besides the hosts of `uris`; "*" allows any.
  std::vector<std::string> allowed_servers;

  // Throws E_INVALIDARG for an unreadable password file or a value out of range.
  static LdapSettings FromConfig(const PlatformConfig& config);

  // The URI a path's "host[:port]" is reached at: the scheme of the first configured URI, so a
  // named server gets the same TLS as the configured ones.
  std::string ServerUri(const std::string& server) const;

  // Whether a path (or a referral) may name `server`: a host of `uris` or of allowed_servers.
  bool Allows(const std::string& server) const;
};

// Search's "Chase referrals" bits.
inline constexpr int kChaseSubordinate = 32;  // continuation references below the search base
inline constexpr int kChaseExternal = 64;     // a referral for a base another server holds

// What the failing operation was doing decides what a caller sees: binding objects reports
// directory errors, search reports the search provider's errors.
enum class LdapContext { kObjectBind, kObject, kSearchBind, kSearch };

// Connects to one URI with the settings' network timeout and TLS (StartTLS when `starttls`);
// nullptr with libldap's result in *rc when that fails. Open() and the set-up check build on it.
LDAP* ConnectUri(const std::string& uri, const LdapSettings& settings, bool starttls, int* rc);

// The one mapping from libldap result codes onto the error catalogue.
AutomationError LdapError(int rc, LdapContext context);

struct Attribute {
  std::string name;
  std::vector<std::string> values;
};
struct Entry {
  std::string dn;  // normalized
  std::vector<Attribute> attributes;
};

class LdapSession {
 public:
  // Connects to `server` ("host[:port]"), or to the configured servers in order when it is empty,
  // and binds with the process's credentials when `bind_as_process`. A server that cannot be
  // reached, or that answers nothing within the network timeout, is passed over;
  // ERROR_DS_SERVER_DOWN when none answers, and at once, without connecting, for a server the
  // settings do not allow.
  static std::shared_ptr<LdapSession> Open(const LdapSettings& settings, const std::string& server,
                                           bool bind_as_process, LdapContext bind_context);

  // A session on the server a referral names, bound as this one is. Throws when it cannot be.
  std::shared_ptr<LdapSession> OpenReferred(const std::string& server, LdapContext context);
  ~LdapSession();
  LdapSession(const LdapSession&) = delete;
  LdapSession& operator=(const LdapSession&) = delete;

  // Simple bind; an empty password is refused here, before the server sees it.
  void Bind(const std::string& dn, const std::string& password, LdapContext context);

  // The entry at `dn` with its attributes, or throws (ERROR_DS_NO_SUCH_OBJECT when absent).
  Entry Read(const std::string& dn, const std::vector<std::string>& attrs, LdapContext context);

  // The domain's default naming context, normalized: RootDSE's defaultNamingContext, else its
  // first namingContexts value (servers that have no default).
  std::string DefaultNamingContext(LdapContext context);

  // Every value of `attr` at `dn`, asked window by window ("member;range=0-1499", ...) as Active
  // Directory hands out large multi-valued attributes.
  std::vector<std::string> ReadAllValues(const std::string& dn, const std::string& attr,
                                         LdapContext context);

  // Every attribute of an entry message, with all values.
  Entry ParseEntry(LDAPMessage* entry);

  LDAP* handle() const { return ld_; }
  int timeout_seconds() const { return settings_.timeout_seconds; }
  const std::string& uri() const { return uri_; }

 private:
  LdapSession(LDAP* ld, LdapSettings settings, std::string uri);
  int SimpleBind(const std::string& dn, const std::string& password);
  int Probe();
  // Completes `name;range=low-high` attributes of an entry read at `dn`.
  void CompleteRanges(const std::string& dn, Entry& entry, LdapContext context);
  void ReadRange(const std::string& dn, const std::string& attr, size_t start,
                 std::vector<std::string>& values, LdapContext context);

  LDAP* ld_;
  LdapSettings settings_;
  std::string uri_;
  // How this session is bound, so that a referral is followed with the same credentials.
  bool bound_as_process_ = false;
  std::string bound_dn_;
  std::string bound_password_;
};

struct SearchRequest {
  std::string base;
  int scope = 2;  // 0 base, 1 one level, 2 subtree
  std::string filter = "(objectClass=*)";
  std::vector<std::string> attrs;  // empty: no attributes ("1.1")
  int size_limit = 0;              // 0: no limit of our own
  int page_size = 1000;
  int timeout_seconds = 0;  // 0: the session's
  int chase_referrals = 0;  // kChaseSubordinate | kChaseExternal
};

// A search that pages through the results with the paged-results control, so the server's own
// limit per answer does not cut it short. Abandons the server's cursor when dropped early.
// Referrals it is asked to chase are searched after its own rows, on the referred-to server with
// the same credentials; one that cannot be followed is passed over and the rows found stand.
class PagedSearch {
 public:
  PagedSearch(std::shared_ptr<LdapSession> session, SearchRequest request, LdapContext context);
  ~PagedSearch();
  PagedSearch(const PagedSearch&) = delete;
  PagedSearch& operator=(const PagedSearch&) = delete;

  // Fetches the next page and hands each entry to `on_entry`; false once nothing is left.
  bool NextPage(const std::function<void(LDAPMessage*)>& on_entry);
  LdapSession& session() { return *session_; }

 private:
  PagedSearch(std::shared_ptr<LdapSession> session, SearchRequest request, LdapContext context,
              int hops);
  bool OwnPage(const std::function<void(LDAPMessage*)>& on_entry);
  void CollectReferrals(LDAPMessage* result, int rc);
  std::unique_ptr<PagedSearch> Follow(const std::vector<std::string>& urls, bool subordinate);
  void Release();
  std::shared_ptr<LdapSession> session_;
  SearchRequest request_;
  LdapContext context_;
  int hops_ = 0;  // referrals followed to get here
  std::string cookie_;
  int returned_ = 0;
  bool started_ = false;
  bool done_ = false;
  // Each referral lists alternative URLs for the same entries; `subordinate` tells its kind.
  struct Referral {
    std::vector<std::string> urls;
    bool subordinate;
  };
  std::vector<Referral> referrals_;
  size_t followed_ = 0;
  std::unique_ptr<PagedSearch> chased_;
};

}  // namespace brindlecore::platform::ldap

#endif  // BRINDLECORE_PLATFORM_DIRECTORY_LDAP_LDAP_SESSION_H_
