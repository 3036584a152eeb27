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
  std::vector<std::string> uris;  // tried in order; empty: the client configuration's default
  std::string bind_dn;            // empty: anonymous
  std::string bind_password;
  int timeout_seconds = 10;
  StartTls starttls = StartTls::kNo;

  // Throws E_INVALIDARG for an unreadable password file or a value out of range.
  static LdapSettings FromConfig(const PlatformConfig& config);
};

// What the failing operation was doing decides what a caller sees: binding objects reports
// directory errors, search reports the search provider's errors.
enum class LdapContext { kObjectBind, kObject, kSearchBind, kSearch };

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
  // reached within the timeout is passed over; ERROR_DS_SERVER_DOWN when none answers.
  static std::shared_ptr<LdapSession> Open(const LdapSettings& settings, const std::string& server,
                                           bool bind_as_process, LdapContext bind_context);
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

  // Every attribute of an entry message, with all values.
  Entry ParseEntry(LDAPMessage* entry);

  LDAP* handle() const { return ld_; }
  int timeout_seconds() const { return timeout_seconds_; }

 private:
  LdapSession(LDAP* ld, int timeout_seconds) : ld_(ld), timeout_seconds_(timeout_seconds) {}
  LDAP* ld_;
  int timeout_seconds_;
};

struct SearchRequest {
  std::string base;
  int scope = 2;  // 0 base, 1 one level, 2 subtree
  std::string filter = "(objectClass=*)";
  std::vector<std::string> attrs;  // empty: no attributes ("1.1")
  int size_limit = 0;              // 0: no limit of our own
  int page_size = 1000;
  int timeout_seconds = 0;  // 0: the session's
  bool chase_referrals = false;
};

// A search that pages through the results with the paged-results control, so the server's own
// limit per answer does not cut it short. Abandons the server's cursor when dropped early.
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
  void Release();
  std::shared_ptr<LdapSession> session_;
  SearchRequest request_;
  LdapContext context_;
  std::string cookie_;
  int returned_ = 0;
  bool started_ = false;
  bool done_ = false;
};

}  // namespace brindlecore::platform::ldap

#endif  // BRINDLECORE_PLATFORM_DIRECTORY_LDAP_LDAP_SESSION_H_
