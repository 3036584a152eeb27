#include "platform/directory/ldap/ldap_session.h"

#include <ldap.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "platform/automation/errors.h"
#include "platform/directory/ldap/ldap_names.h"

namespace brindlecore::platform::ldap {
namespace {

bool IsUnreachable(int rc) {
  return rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR || rc == LDAP_TIMEOUT;
}

// The server wants TLS (or a stronger bind) before it takes a password: not a bad password.
bool IsTlsRequired(int rc) {
  return rc == LDAP_STRONG_AUTH_REQUIRED || rc == LDAP_CONFIDENTIALITY_REQUIRED;
}

bool IsCredentialRefusal(int rc) {
  return rc == LDAP_INVALID_CREDENTIALS || rc == LDAP_INAPPROPRIATE_AUTH ||
         rc == LDAP_STRONG_AUTH_REQUIRED || rc == LDAP_CONFIDENTIALITY_REQUIRED ||
         rc == LDAP_INSUFFICIENT_ACCESS || rc == LDAP_UNWILLING_TO_PERFORM;
}

AutomationError DirectoryError(int rc) {
  switch (rc) {
    case LDAP_NO_SUCH_OBJECT:
      return errors::kErrorDsNoSuchObject.Make();
    case LDAP_SERVER_DOWN:
    case LDAP_CONNECT_ERROR:
    case LDAP_TIMEOUT:
    case LDAP_UNAVAILABLE:
    case LDAP_BUSY:
      return errors::kErrorDsServerDown.Make();
    case LDAP_INVALID_DN_SYNTAX:
    case LDAP_NAMING_VIOLATION:
      return errors::kErrorDsInvalidDnSyntax.Make();
    case LDAP_INVALID_CREDENTIALS:
    case LDAP_INAPPROPRIATE_AUTH:
      return errors::kErrorLogonFailure.Make();
    case LDAP_INSUFFICIENT_ACCESS:
      return errors::kEAccessdenied.Make();
    case LDAP_STRONG_AUTH_REQUIRED:
    case LDAP_CONFIDENTIALITY_REQUIRED:
      return errors::kErrorDsConfidentialityRequired.Make();
    case LDAP_SIZELIMIT_EXCEEDED:
    case LDAP_ADMINLIMIT_EXCEEDED:
      return errors::kErrorDsSizelimitExceeded.Make();
    case LDAP_FILTER_ERROR:
      return errors::kErrorDsFilterUnknown.Make();
    case LDAP_UNWILLING_TO_PERFORM:
    case LDAP_OBJECT_CLASS_VIOLATION:
    case LDAP_CONSTRAINT_VIOLATION:
    case LDAP_UNDEFINED_TYPE:
      return errors::kErrorDsUnwillingToPerform.Make();
    case LDAP_ALREADY_EXISTS:
      return errors::kEAdsObjectExists.Make();
    // Only group membership changes touch single values, so these read as membership errors.
    case LDAP_TYPE_OR_VALUE_EXISTS:
      return errors::kErrorMemberInAlias.Make();
    case LDAP_NO_SUCH_ATTRIBUTE:
      return errors::kErrorMemberNotInAlias.Make();
    case LDAP_NO_MEMORY:
      return errors::kEOutofmemory.Make();
    default:
      return errors::kErrorDsOperationsError.Make();
  }
}

std::string ReadFirstLine(const std::string& file) {
  std::ifstream in(file);
  if (!in) errors::kEInvalidarg.Throw();
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

struct LdapFree {
  void operator()(LDAPMessage* m) const { ldap_msgfree(m); }
};
using Message = std::unique_ptr<LDAPMessage, LdapFree>;

struct AttrList {
  explicit AttrList(const std::vector<std::string>& attrs) {
    for (const auto& a : attrs) pointers.push_back(const_cast<char*>(a.c_str()));
    if (attrs.empty()) pointers.push_back(const_cast<char*>(LDAP_NO_ATTRS));
    pointers.push_back(nullptr);
  }
  char** get() { return pointers.data(); }
  std::vector<char*> pointers;
};

void SetTimeouts(LDAP* ld, int network_seconds, int operation_seconds) {
  timeval network{network_seconds, 0};
  timeval operation{operation_seconds, 0};
  ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &network);
  ldap_set_option(ld, LDAP_OPT_TIMEOUT, &operation);
}

// TLS settings of our own go on the handle, over what libldap read from ldap.conf; a new TLS
// context makes them count for this connection.
int SetTls(LDAP* ld, const LdapSettings& settings) {
  if (!settings.tls_cacert.empty()) {
    int rc = ldap_set_option(ld, LDAP_OPT_X_TLS_CACERTFILE, settings.tls_cacert.c_str());
    if (rc != LDAP_OPT_SUCCESS) return rc;
  }
  int reqcert = settings.tls_reqcert == LdapSettings::ReqCert::kNever   ? LDAP_OPT_X_TLS_NEVER
                : settings.tls_reqcert == LdapSettings::ReqCert::kAllow ? LDAP_OPT_X_TLS_ALLOW
                                                                        : LDAP_OPT_X_TLS_DEMAND;
  int rc = ldap_set_option(ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &reqcert);
  if (rc != LDAP_OPT_SUCCESS) return rc;
  int is_server = 0;
  return ldap_set_option(ld, LDAP_OPT_X_TLS_NEWCTX, &is_server);
}

// ldap:// and ldapi:// URIs; an empty one is libldap's default, which ldap.conf may make ldaps://.
bool IsPlainUri(std::string_view uri) {
  auto starts = [&](std::string_view scheme) {
    return uri.size() >= scheme.size() &&
           std::equal(scheme.begin(), scheme.end(), uri.begin(), [](char a, char b) {
             return a == std::tolower(static_cast<unsigned char>(b));
           });
  };
  return starts("ldap://") || starts("ldapi://");
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text + " ") {
    if (c == ' ' || c == '\t' || c == ',') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  return words;
}

// "host[:port]" or "[v6]:port" -> host, lower-cased.
std::string HostOf(const std::string& server) {
  std::string host = server;
  if (!host.empty() && host[0] == '[') {
    host = host.substr(
        1, host.find(']') == std::string::npos ? std::string::npos : host.find(']') - 1);
  } else if (size_t colon = host.find(':');
             colon != std::string::npos && host.find(':', colon + 1) == std::string::npos) {
    host.resize(colon);
  }
  std::transform(host.begin(), host.end(), host.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return host;
}

std::string UriHost(const std::string& uri) {
  LDAPURLDesc* desc = nullptr;
  if (ldap_url_parse(uri.c_str(), &desc) != LDAP_URL_SUCCESS) return "";
  std::string host = desc->lud_host ? HostOf(desc->lud_host) : "";
  ldap_free_urldesc(desc);
  return host;
}

}  // namespace

// Until the server has answered once, every wait is bounded by the network timeout, so a server
// that takes the connection and then says nothing is passed over as one that is down.
namespace {

// libldap's TLS handshake does not give up on a server that takes the connection and never
// answers: past the network timeout the watchdog shuts the socket, which fails the handshake.
// libldap keeps the callback for the handle's life, so it is one static that acts only for the
// watchdog armed on the calling thread.
class HandshakeWatchdog {
 public:
  HandshakeWatchdog(LDAP* ld, int seconds) {
    static ldap_conncb callback{&OnConnect, &OnClose, nullptr};
    ldap_set_option(ld, LDAP_OPT_CONNECT_CB, &callback);
    armed_ = this;
    thread_ = std::thread([this, seconds] {
      std::unique_lock lock(mutex_);
      if (!done_changed_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; }) &&
          fd_ >= 0) {
        shutdown(fd_, SHUT_RDWR);
      }
    });
  }
  // Call before the handle is unbound or handed on.
  void Disarm() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    done_changed_.notify_all();
    thread_.join();
    armed_ = nullptr;
  }
  ~HandshakeWatchdog() { Disarm(); }

 private:
  static int OnConnect(LDAP*, Sockbuf* sb, LDAPURLDesc*, sockaddr*, ldap_conncb*) {
    if (HandshakeWatchdog* self = armed_) {
      std::lock_guard lock(self->mutex_);
      ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &self->fd_);
    }
    return 0;
  }
  static void OnClose(LDAP*, Sockbuf*, ldap_conncb*) {
    if (HandshakeWatchdog* self = armed_) {
      std::lock_guard lock(self->mutex_);
      self->fd_ = -1;
    }
  }

  static thread_local HandshakeWatchdog* armed_;
  std::mutex mutex_;
  std::condition_variable done_changed_;
  int fd_ = -1;
  bool done_ = false;
  std::thread thread_;
};

thread_local HandshakeWatchdog* HandshakeWatchdog::armed_ = nullptr;

}  // namespace

LDAP* ConnectUri(const std::string& uri, const LdapSettings& settings, bool tls, int* rc) {
  LDAP* ld = nullptr;
  *rc = ldap_initialize(&ld, uri.empty() ? nullptr : uri.c_str());
  if (*rc != LDAP_SUCCESS) return nullptr;
  HandshakeWatchdog watchdog(ld, settings.network_timeout_seconds);
  int version = LDAP_VERSION3;
  ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
  SetTimeouts(ld, settings.network_timeout_seconds, settings.network_timeout_seconds);
  ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  ldap_set_option(ld, LDAP_OPT_RESTART, LDAP_OPT_ON);
  // A connection that stays plain never reads the TLS settings, and making its TLS context
  // anyway starts the TLS library and reads the CA file: a megabyte of every listing's memory.
  *rc = tls || !IsPlainUri(uri) ? SetTls(ld, settings) : LDAP_SUCCESS;
  if (*rc != LDAP_SUCCESS) {
    std::fprintf(stderr, "brindlecore: ldap: cannot set up TLS for %s (CA file \"%s\")\n",
                 uri.c_str(), settings.tls_cacert.c_str());
    *rc = LDAP_CONNECT_ERROR;
  } else {
    *rc = ldap_connect(ld);
  }
  if (*rc == LDAP_SUCCESS && tls) *rc = ldap_start_tls_s(ld, nullptr, nullptr);
  watchdog.Disarm();
  if (*rc != LDAP_SUCCESS) {
    ldap_unbind_ext_s(ld, nullptr, nullptr);
    return nullptr;
  }
  return ld;
}

AutomationError LdapError(int rc, LdapContext context) {
  if (IsTlsRequired(rc)) return DirectoryError(rc);
  switch (context) {
    case LdapContext::kObjectBind:
      if (IsCredentialRefusal(rc)) return errors::kErrorLogonFailure.Make();
      return DirectoryError(rc);
    case LdapContext::kSearchBind:
      if (IsUnreachable(rc)) return DirectoryError(rc);
      return errors::kDbSecEPermissiondenied.Make();
    case LdapContext::kSearch:
      if (rc == LDAP_NO_SUCH_OBJECT) return errors::kDbENotable.Make();
      if (rc == LDAP_FILTER_ERROR) return errors::kDbEErrorsincommand.Make();
      if (IsCredentialRefusal(rc)) return errors::kDbSecEPermissiondenied.Make();
      return DirectoryError(rc);
    case LdapContext::kObject:
      break;
  }
  return DirectoryError(rc);
}

LdapSettings LdapSettings::FromConfig(const PlatformConfig& config) {
  LdapSettings settings;
  std::istringstream uris(config.Get("ldap.uri"));
  for (std::string uri; uris >> uri;) settings.uris.push_back(uri);
  settings.bind_dn = config.Get("ldap.bind_dn");
  if (std::string file = config.Get("ldap.bind_password_file"); !file.empty()) {
    settings.bind_password = ReadFirstLine(file);
  }
  std::string timeout = config.Get("ldap.timeout", "10");
  char* end = nullptr;
  long seconds = std::strtol(timeout.c_str(), &end, 10);
  if (end == timeout.c_str() || *end != '\0' || seconds <= 0 || seconds > 3600) {
    errors::kEInvalidarg.Throw();
  }
  settings.timeout_seconds = static_cast<int>(seconds);
  std::string network = config.Get("ldap.network_timeout", "5");
  seconds = std::strtol(network.c_str(), &end, 10);
  if (end == network.c_str() || *end != '\0' || seconds <= 0 || seconds > 3600) {
    errors::kEInvalidarg.Throw();
  }
  settings.network_timeout_seconds = static_cast<int>(seconds);
  settings.tls_cacert = config.Get("ldap.tls_cacert");
  std::string reqcert = config.Get("ldap.tls_reqcert", "demand");
  if (reqcert == "demand" || reqcert == "hard") {
    settings.tls_reqcert = ReqCert::kDemand;
  } else if (reqcert == "allow" || reqcert == "try") {
    settings.tls_reqcert = ReqCert::kAllow;
  } else if (reqcert == "never") {
    settings.tls_reqcert = ReqCert::kNever;
  } else {
    errors::kEInvalidarg.Throw();
  }
  settings.allowed_servers = Words(config.Get("ldap.allowed_servers"));
  std::string tls = config.Get("ldap.starttls", "no");
  if (tls == "no") {
    settings.starttls = StartTls::kNo;
  } else if (tls == "try") {
    settings.starttls = StartTls::kTry;
  } else if (tls == "demand") {
    settings.starttls = StartTls::kDemand;
  } else {
    errors::kEInvalidarg.Throw();
  }
  return settings;
}

std::string LdapSettings::ServerUri(const std::string& server) const {
  bool ldaps = !uris.empty() && uris[0].compare(0, 8, "ldaps://") == 0;
  return (ldaps ? "ldaps://" : "ldap://") + server;
}

bool LdapSettings::Allows(const std::string& server) const {
  std::string host = HostOf(server);
  if (host.empty()) return false;
  for (const std::string& uri : uris) {
    if (UriHost(uri) == host) return true;
  }
  for (const std::string& allowed : allowed_servers) {
    if (allowed == "*" || HostOf(allowed) == host) return true;
  }
  return false;
}

namespace {

// Servers that failed lately are tried last, so that one sign-in, which opens several sessions,
// waits for a silent server once rather than at every session.
class RecentFailures {
 public:
  static RecentFailures& Get() {
    static RecentFailures failures;
    return failures;
  }
  void Order(std::vector<std::string>& uris) {
    std::lock_guard lock(mutex_);
    auto now = std::chrono::steady_clock::now();
    std::stable_partition(uris.begin(), uris.end(), [&](const std::string& uri) {
      auto it = failed_.find(uri);
      return it == failed_.end() || now - it->second > kForget;
    });
  }
  void Failed(const std::string& uri) {
    std::lock_guard lock(mutex_);
    if (failed_.size() > 1000) failed_.clear();
    failed_[uri] = std::chrono::steady_clock::now();
  }
  void Answered(const std::string& uri) {
    std::lock_guard lock(mutex_);
    failed_.erase(uri);
  }

 private:
  static constexpr std::chrono::seconds kForget{60};
  std::mutex mutex_;
  std::map<std::string, std::chrono::steady_clock::time_point> failed_;
};

}  // namespace

LdapSession::LdapSession(LDAP* ld, LdapSettings settings, std::string uri)
    : ld_(ld), settings_(std::move(settings)), uri_(std::move(uri)) {}

std::shared_ptr<LdapSession> LdapSession::Open(const LdapSettings& settings,
                                               const std::string& server, bool bind_as_process,
                                               LdapContext bind_context) {
  std::vector<std::string> uris = settings.uris;
  if (!server.empty()) {
    // A server named by the caller could answer the password check and the group walk itself.
    if (!settings.Allows(server)) {
      std::fprintf(stderr,
                   "brindlecore: ldap: \"%s\" is not one of the configured servers "
                   "(ldap.uri, ldap.allowed_servers)\n",
                   server.c_str());
      throw LdapError(LDAP_SERVER_DOWN, bind_context);
    }
    uris = {settings.ServerUri(server)};
  }
  if (uris.empty()) uris.push_back("");  // libldap's own default (ldap.conf, LDAPURI)
  RecentFailures::Get().Order(uris);
  int rc = LDAP_SERVER_DOWN;
  for (const std::string& uri : uris) {
    bool tls = settings.starttls != LdapSettings::StartTls::kNo;
    LDAP* ld = ConnectUri(uri, settings, tls, &rc);
    if (!ld && tls && settings.starttls == LdapSettings::StartTls::kTry && !IsUnreachable(rc)) {
      ld = ConnectUri(uri, settings, false, &rc);
    }
    if (!ld) {
      // Only an unreachable server is passed over; anything else would fail on the next alike.
      if (IsUnreachable(rc) || rc == LDAP_PARAM_ERROR) {
        RecentFailures::Get().Failed(uri);
        continue;
      }
      throw LdapError(rc, bind_context);
    }
    std::shared_ptr<LdapSession> session(new LdapSession(ld, settings, uri));
    bool bind = bind_as_process && !settings.bind_dn.empty();
    rc = bind ? session->SimpleBind(settings.bind_dn, settings.bind_password) : session->Probe();
    if (IsUnreachable(rc)) {
      RecentFailures::Get().Failed(uri);
      continue;
    }
    RecentFailures::Get().Answered(uri);
    if (rc != LDAP_SUCCESS) throw LdapError(rc, bind_context);
    session->bound_as_process_ = bind;
    SetTimeouts(ld, settings.network_timeout_seconds, settings.timeout_seconds);
    return session;
  }
  throw LdapError(IsUnreachable(rc) ? rc : LDAP_SERVER_DOWN, bind_context);
}

std::shared_ptr<LdapSession> LdapSession::OpenReferred(const std::string& server,
                                                       LdapContext context) {
  std::shared_ptr<LdapSession> referred = Open(settings_, server, bound_as_process_, context);
  if (!bound_dn_.empty()) referred->Bind(bound_dn_, bound_password_, context);
  return referred;
}

LdapSession::~LdapSession() { ldap_unbind_ext_s(ld_, nullptr, nullptr); }

int LdapSession::SimpleBind(const std::string& dn, const std::string& password) {
  // An empty password would make a simple bind unauthenticated, which servers accept.
  if (password.empty()) return LDAP_INVALID_CREDENTIALS;
  berval credentials{password.size(), const_cast<char*>(password.data())};
  int rc =
      ldap_sasl_bind_s(ld_, dn.c_str(), LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr, nullptr);
  if (IsTlsRequired(rc)) {
    std::fprintf(stderr,
                 "brindlecore: ldap: %s refused a password bind without TLS (LDAP result %d): "
                 "use an ldaps:// URI in ldap.uri or set ldap.starttls = demand\n",
                 uri_.empty() ? "the default server" : uri_.c_str(), rc);
  }
  return rc;
}

// Anonymous sessions ask the RootDSE for nothing: the cheapest answer that proves a live server.
int LdapSession::Probe() {
  char none[] = LDAP_NO_ATTRS;
  char* attrs[] = {none, nullptr};
  LDAPMessage* raw = nullptr;
  timeval timeout{settings_.network_timeout_seconds, 0};
  int rc = ldap_search_ext_s(ld_, "", LDAP_SCOPE_BASE, "(objectClass=*)", attrs, 0, nullptr,
                             nullptr, &timeout, 0, &raw);
  ldap_msgfree(raw);
  return rc;
}

void LdapSession::Bind(const std::string& dn, const std::string& password, LdapContext context) {
  int rc = SimpleBind(dn, password);
  if (rc != LDAP_SUCCESS) throw LdapError(rc, context);
  bound_as_process_ = false;
  bound_dn_ = dn;
  bound_password_ = password;
}

Entry LdapSession::Read(const std::string& dn, const std::vector<std::string>& attrs,
                        LdapContext context) {
  AttrList list(attrs);
  timeval timeout{settings_.timeout_seconds, 0};
  LDAPMessage* raw = nullptr;
  int rc = ldap_search_ext_s(ld_, dn.c_str(), LDAP_SCOPE_BASE, "(objectClass=*)", list.get(), 0,
                             nullptr, nullptr, &timeout, 0, &raw);
  Message result(raw);
  if (rc != LDAP_SUCCESS) throw LdapError(rc, context);
  LDAPMessage* entry = ldap_first_entry(ld_, result.get());
  if (!entry) throw LdapError(LDAP_NO_SUCH_OBJECT, context);
  Entry parsed = ParseEntry(entry);
  CompleteRanges(dn, parsed, context);
  return parsed;
}

namespace {

// Active Directory's largest window; asking for it explicitly gives the same answers from servers
// that hand out ranges only when asked.
constexpr size_t kRangeWindow = 1500;

// "member;range=0-1499" -> base "member", low 0, high 1499 (or last, for "*").
struct Range {
  std::string base;
  size_t low = 0;
  size_t high = 0;
  bool last = false;
};

std::optional<Range> ParseRange(const std::string& name) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  size_t at = lower.find(";range=");
  if (at == std::string::npos) return std::nullopt;
  Range range;
  range.base = name.substr(0, at);
  const char* text = name.c_str() + at + 7;
  char* end = nullptr;
  range.low = std::strtoull(text, &end, 10);
  if (end == text || *end != '-') return std::nullopt;
  text = end + 1;
  if (*text == '*' && text[1] == '\0') {
    range.last = true;
    return range;
  }
  range.high = std::strtoull(text, &end, 10);
  if (end == text || *end != '\0' || range.high < range.low) return std::nullopt;
  return range;
}

}  // namespace

void LdapSession::ReadRange(const std::string& dn, const std::string& attr, size_t start,
                            std::vector<std::string>& values, LdapContext context) {
  // Bounded: a server that never says "*" cannot keep us asking.
  for (int windows = 0; windows < 100000; ++windows) {
    std::string ask =
        attr + ";range=" + std::to_string(start) + "-" + std::to_string(start + kRangeWindow - 1);
    std::vector<std::string> asked = {ask};
    AttrList list(asked);
    timeval timeout{settings_.timeout_seconds, 0};
    LDAPMessage* raw = nullptr;
    int rc = ldap_search_ext_s(ld_, dn.c_str(), LDAP_SCOPE_BASE, "(objectClass=*)", list.get(), 0,
                               nullptr, nullptr, &timeout, 0, &raw);
    Message result(raw);
    if (rc != LDAP_SUCCESS) throw LdapError(rc, context);
    LDAPMessage* entry = ldap_first_entry(ld_, result.get());
    if (!entry) throw LdapError(LDAP_NO_SUCH_OBJECT, context);
    std::optional<Range> got;
    for (const Attribute& a : ParseEntry(entry).attributes) {
      std::optional<Range> range = ParseRange(a.name);
      if (range && EqualsIgnoreCase(range->base, attr)) {
        values.insert(values.end(), a.values.begin(), a.values.end());
        got = range;
      } else if (EqualsIgnoreCase(a.name, attr)) {
        values.insert(values.end(), a.values.begin(), a.values.end());
        return;  // the whole attribute at once
      }
    }
    if (!got && windows == 0 && start == 0) {
      // Servers without ranged retrieval answer nothing for "member;range=..." (OpenLDAP):
      // ask them for the attribute itself.
      Entry whole = Read(dn, {attr}, context);
      for (const Attribute& a : whole.attributes) {
        if (EqualsIgnoreCase(a.name, attr))
          values.insert(values.end(), a.values.begin(), a.values.end());
      }
      return;
    }
    if (!got || got->last || got->high + 1 <= start) return;
    start = got->high + 1;
  }
}

std::vector<std::string> LdapSession::ReadAllValues(const std::string& dn, const std::string& attr,
                                                    LdapContext context) {
  std::vector<std::string> values;
  ReadRange(dn, attr, 0, values, context);
  return values;
}

void LdapSession::CompleteRanges(const std::string& dn, Entry& entry, LdapContext context) {
  for (Attribute& a : entry.attributes) {
    std::optional<Range> range = ParseRange(a.name);
    if (!range) continue;
    a.name = range->base;
    if (!range->last) ReadRange(dn, range->base, range->high + 1, a.values, context);
  }
}

std::string LdapSession::DefaultNamingContext(LdapContext context) {
  Entry root = Read("", {"defaultNamingContext", "namingContexts"}, context);
  for (const char* name : {"defaultNamingContext", "namingContexts"}) {
    for (const Attribute& a : root.attributes) {
      if (EqualsIgnoreCase(a.name, name) && !a.values.empty()) return NormalizeDn(a.values[0]);
    }
  }
  throw LdapError(LDAP_NO_SUCH_OBJECT, context);
}

Entry LdapSession::ParseEntry(LDAPMessage* message) {
  Entry entry;
  if (char* dn = ldap_get_dn(ld_, message)) {
    try {
      entry.dn = NormalizeDn(dn);
    } catch (...) {
      ldap_memfree(dn);
      throw;
    }
    ldap_memfree(dn);
  }
  BerElement* ber = nullptr;
  for (char* attr = ldap_first_attribute(ld_, message, &ber); attr;
       attr = ldap_next_attribute(ld_, message, ber)) {
    Attribute& out = entry.attributes.emplace_back();
    out.name = attr;
    if (berval** values = ldap_get_values_len(ld_, message, attr)) {
      for (berval** v = values; *v; ++v) out.values.emplace_back((*v)->bv_val, (*v)->bv_len);
      ldap_value_free_len(values);
    }
    ldap_memfree(attr);
  }
  if (ber) ber_free(ber, 0);
  return entry;
}

PagedSearch::PagedSearch(std::shared_ptr<LdapSession> session, SearchRequest request,
                         LdapContext context)
    : PagedSearch(std::move(session), std::move(request), context, 0) {}

PagedSearch::PagedSearch(std::shared_ptr<LdapSession> session, SearchRequest request,
                         LdapContext context, int hops)
    : session_(std::move(session)), request_(std::move(request)), context_(context), hops_(hops) {
  if (request_.page_size <= 0) request_.page_size = 1000;
  if (request_.timeout_seconds <= 0) request_.timeout_seconds = session_->timeout_seconds();
}

PagedSearch::~PagedSearch() { Release(); }

// A page size of zero with the last cookie tells the server to drop its cursor.
void PagedSearch::Release() {
  if (done_ || cookie_.empty()) return;
  done_ = true;
  LDAP* ld = session_->handle();
  berval cookie{cookie_.size(), cookie_.data()};
  LDAPControl* control = nullptr;
  if (ldap_create_page_control(ld, 0, &cookie, 0, &control) != LDAP_SUCCESS) return;
  LDAPControl* controls[] = {control, nullptr};
  AttrList attrs({});
  LDAPMessage* raw = nullptr;
  timeval timeout{session_->timeout_seconds(), 0};
  ldap_search_ext_s(ld, request_.base.c_str(), request_.scope, request_.filter.c_str(), attrs.get(),
                    0, controls, nullptr, &timeout, 0, &raw);
  ldap_msgfree(raw);
  ldap_control_free(control);
}

namespace {

// A referral chain or a server answering with many referrals must not make us connect on and on.
constexpr int kMaxReferralHops = 4;
constexpr size_t kMaxReferralsFollowed = 32;

}  // namespace

bool PagedSearch::NextPage(const std::function<void(LDAPMessage*)>& on_entry) {
  auto counted = [&](LDAPMessage* entry) {
    on_entry(entry);
    ++returned_;
  };
  for (;;) {
    if (!done_) {
      if (OwnPage(on_entry)) return true;
      continue;
    }
    if (request_.size_limit > 0 && returned_ >= request_.size_limit) return false;
    if (chased_) {
      bool more = false;
      try {
        more = chased_->NextPage(counted);
      } catch (const AutomationError&) {
        more = false;  // the referred-to server failed: its rows are passed over
      }
      if (more) return true;
      chased_.reset();
      continue;
    }
    if (referrals_.empty() || followed_ >= kMaxReferralsFollowed) return false;
    Referral next = std::move(referrals_.front());
    referrals_.erase(referrals_.begin());
    ++followed_;
    chased_ = Follow(next.urls, next.subordinate);
  }
}

void PagedSearch::CollectReferrals(LDAPMessage* result, int rc) {
  if (hops_ >= kMaxReferralHops) return;
  LDAP* ld = session_->handle();
  auto add = [&](char** urls, bool subordinate) {
    if (!urls || !urls[0]) return;
    Referral referral{{}, subordinate};
    for (char** url = urls; *url; ++url) referral.urls.emplace_back(*url);
    referrals_.push_back(std::move(referral));
  };
  if (request_.chase_referrals & kChaseSubordinate) {
    for (LDAPMessage* ref = ldap_first_reference(ld, result); ref;
         ref = ldap_next_reference(ld, ref)) {
      char** urls = nullptr;
      if (ldap_parse_reference(ld, ref, &urls, nullptr, 0) == LDAP_SUCCESS) add(urls, true);
      ldap_memvfree(reinterpret_cast<void**>(urls));
    }
  }
  if (rc == LDAP_REFERRAL && (request_.chase_referrals & kChaseExternal)) {
    char** urls = nullptr;
    int error = LDAP_SUCCESS;
    if (ldap_parse_result(ld, result, &error, nullptr, nullptr, &urls, nullptr, 0) ==
        LDAP_SUCCESS) {
      add(urls, false);
    }
    ldap_memvfree(reinterpret_cast<void**>(urls));
  }
}

namespace {

// "ldap://host/DN?attrs?scope?..." with a non-empty scope field.
bool ScopeWritten(const std::string& url) {
  size_t path = url.find('/', url.find("://") == std::string::npos ? 0 : url.find("://") + 3);
  if (path == std::string::npos) return false;
  size_t first = url.find('?', path);
  if (first == std::string::npos) return false;
  size_t second = url.find('?', first + 1);
  if (second == std::string::npos) return false;
  return second + 1 < url.size() && url[second + 1] != '?';
}

}  // namespace

// The referred-to server is reached with our own scheme and TLS whatever the URL says, and only
// when the settings allow it: the credentials go with the search.
std::unique_ptr<PagedSearch> PagedSearch::Follow(const std::vector<std::string>& urls,
                                                 bool subordinate) {
  bool ldaps = session_->uri().compare(0, 8, "ldaps://") == 0;
  for (const std::string& url : urls) {
    LDAPURLDesc* desc = nullptr;
    if (ldap_url_parse(url.c_str(), &desc) != LDAP_URL_SUCCESS) continue;
    std::string host = desc->lud_host ? desc->lud_host : "";
    bool same_scheme = desc->lud_scheme && (std::string(desc->lud_scheme) == "ldaps") == ldaps;
    std::string server = host;
    if (!host.empty() && same_scheme && desc->lud_port > 0) {
      server += ":" + std::to_string(desc->lud_port);
    }
    SearchRequest request = request_;
    if (desc->lud_dn && *desc->lud_dn) request.base = desc->lud_dn;
    if (subordinate && request.scope == LDAP_SCOPE_ONELEVEL) request.scope = LDAP_SCOPE_BASE;
    // libldap reads a URL without a scope as base; only a scope the URL writes counts.
    if (ScopeWritten(url)) request.scope = desc->lud_scope;
    if (request.size_limit > 0) request.size_limit -= returned_;
    ldap_free_urldesc(desc);
    if (host.empty()) continue;
    try {
      std::shared_ptr<LdapSession> referred = session_->OpenReferred(server, context_);
      return std::unique_ptr<PagedSearch>(
          new PagedSearch(std::move(referred), std::move(request), context_, hops_ + 1));
    } catch (const AutomationError&) {
      // Unreachable, refused or not allowed: try the next URL, else pass the referral over.
    }
  }
  return nullptr;
}

bool PagedSearch::OwnPage(const std::function<void(LDAPMessage*)>& on_entry) {
  if (started_ && cookie_.empty()) {
    done_ = true;
    return false;
  }
  started_ = true;
  LDAP* ld = session_->handle();
  int page = request_.page_size;
  if (request_.size_limit > 0) page = std::min(page, request_.size_limit - returned_);
  berval cookie{cookie_.size(), cookie_.data()};
  LDAPControl* control = nullptr;
  int rc = ldap_create_page_control(ld, page, cookie_.empty() ? nullptr : &cookie, 0, &control);
  if (rc != LDAP_SUCCESS) throw LdapError(rc, context_);
  LDAPControl* controls[] = {control, nullptr};
  AttrList attrs(request_.attrs);
  timeval timeout{request_.timeout_seconds, 0};
  LDAPMessage* raw = nullptr;
  rc = ldap_search_ext_s(ld, request_.base.c_str(), request_.scope, request_.filter.c_str(),
                         attrs.get(), 0, controls, nullptr, &timeout, 0, &raw);
  ldap_control_free(control);
  Message result(raw);
  // A result cut short by the server's size limit still carries rows: they are the answer.
  bool cut_short = rc == LDAP_SIZELIMIT_EXCEEDED || rc == LDAP_REFERRAL;
  if (rc != LDAP_SUCCESS && !cut_short) {
    done_ = true;
    throw LdapError(rc, context_);
  }
  for (LDAPMessage* e = ldap_first_entry(ld, result.get()); e; e = ldap_next_entry(ld, e)) {
    on_entry(e);
    ++returned_;
  }
  CollectReferrals(result.get(), rc);
  cookie_.clear();
  LDAPControl** response = nullptr;
  int error = LDAP_SUCCESS;
  if (ldap_parse_result(ld, result.get(), &error, nullptr, nullptr, nullptr, &response, 0) ==
      LDAP_SUCCESS) {
    if (LDAPControl* pr = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, response, nullptr)) {
      ber_int_t estimate = 0;
      berval next{0, nullptr};
      if (ldap_parse_pageresponse_control(ld, pr, &estimate, &next) == LDAP_SUCCESS) {
        if (next.bv_val) cookie_.assign(next.bv_val, next.bv_len);
        ber_memfree(next.bv_val);
      }
    }
    ldap_controls_free(response);
  }
  bool limit_reached = request_.size_limit > 0 && returned_ >= request_.size_limit;
  if (cut_short || limit_reached) Release();
  if (cut_short || limit_reached || cookie_.empty()) done_ = true;
  return true;
}

}  // namespace brindlecore::platform::ldap
