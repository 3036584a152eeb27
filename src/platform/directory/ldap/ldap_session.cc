#include "platform/directory/ldap/ldap_session.h"

#include <ldap.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/automation/errors.h"
#include "platform/directory/ldap/ldap_names.h"

namespace brindlecore::platform::ldap {
namespace {

bool IsUnreachable(int rc) {
  return rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR || rc == LDAP_TIMEOUT;
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
    case LDAP_STRONG_AUTH_REQUIRED:
    case LDAP_CONFIDENTIALITY_REQUIRED:
      return errors::kEAccessdenied.Make();
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

LDAP* Connect(const std::string& uri, const LdapSettings& settings, bool tls, int* rc) {
  LDAP* ld = nullptr;
  *rc = ldap_initialize(&ld, uri.empty() ? nullptr : uri.c_str());
  if (*rc != LDAP_SUCCESS) return nullptr;
  int version = LDAP_VERSION3;
  timeval timeout{settings.timeout_seconds, 0};
  ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &timeout);
  ldap_set_option(ld, LDAP_OPT_TIMEOUT, &timeout);
  ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  ldap_set_option(ld, LDAP_OPT_RESTART, LDAP_OPT_ON);
  *rc = ldap_connect(ld);
  if (*rc == LDAP_SUCCESS && tls) *rc = ldap_start_tls_s(ld, nullptr, nullptr);
  if (*rc != LDAP_SUCCESS) {
    ldap_unbind_ext_s(ld, nullptr, nullptr);
    return nullptr;
  }
  return ld;
}

}  // namespace

AutomationError LdapError(int rc, LdapContext context) {
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

std::shared_ptr<LdapSession> LdapSession::Open(const LdapSettings& settings,
                                               const std::string& server, bool bind_as_process,
                                               LdapContext bind_context) {
  std::vector<std::string> uris = settings.uris;
  if (!server.empty()) uris = {"ldap://" + server};
  if (uris.empty()) uris.push_back("");  // libldap's own default (ldap.conf, LDAPURI)
  int rc = LDAP_SERVER_DOWN;
  for (const std::string& uri : uris) {
    bool tls = settings.starttls != LdapSettings::StartTls::kNo;
    LDAP* ld = Connect(uri, settings, tls, &rc);
    if (!ld && tls && settings.starttls == LdapSettings::StartTls::kTry && !IsUnreachable(rc)) {
      ld = Connect(uri, settings, false, &rc);
    }
    if (!ld) {
      // Only an unreachable server is passed over; anything else would fail on the next alike.
      if (IsUnreachable(rc) || rc == LDAP_PARAM_ERROR) continue;
      throw LdapError(rc, bind_context);
    }
    std::shared_ptr<LdapSession> session(new LdapSession(ld, settings.timeout_seconds));
    if (bind_as_process && !settings.bind_dn.empty()) {
      session->Bind(settings.bind_dn, settings.bind_password, bind_context);
    }
    return session;
  }
  throw LdapError(IsUnreachable(rc) ? rc : LDAP_SERVER_DOWN, bind_context);
}

LdapSession::~LdapSession() { ldap_unbind_ext_s(ld_, nullptr, nullptr); }

void LdapSession::Bind(const std::string& dn, const std::string& password, LdapContext context) {
  // An empty password would make a simple bind unauthenticated, which servers accept.
  if (password.empty()) throw LdapError(LDAP_INVALID_CREDENTIALS, context);
  berval credentials{password.size(), const_cast<char*>(password.data())};
  int rc = ldap_sasl_bind_s(ld_, dn.c_str(), LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr,
                            nullptr);
  if (rc != LDAP_SUCCESS) throw LdapError(rc, context);
}

Entry LdapSession::Read(const std::string& dn, const std::vector<std::string>& attrs,
                        LdapContext context) {
  AttrList list(attrs);
  timeval timeout{timeout_seconds_, 0};
  LDAPMessage* raw = nullptr;
  int rc = ldap_search_ext_s(ld_, dn.c_str(), LDAP_SCOPE_BASE, "(objectClass=*)", list.get(), 0,
                             nullptr, nullptr, &timeout, 0, &raw);
  Message result(raw);
  if (rc != LDAP_SUCCESS) throw LdapError(rc, context);
  LDAPMessage* entry = ldap_first_entry(ld_, result.get());
  if (!entry) throw LdapError(LDAP_NO_SUCH_OBJECT, context);
  return ParseEntry(entry);
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
    : session_(std::move(session)), request_(std::move(request)), context_(context) {
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
  ldap_search_ext_s(ld, request_.base.c_str(), request_.scope, request_.filter.c_str(), attrs.get(), 0,
                    controls, nullptr, &timeout, 0, &raw);
  ldap_msgfree(raw);
  ldap_control_free(control);
}

bool PagedSearch::NextPage(const std::function<void(LDAPMessage*)>& on_entry) {
  if (done_) return false;
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
  ldap_set_option(ld, LDAP_OPT_REFERRALS, request_.chase_referrals ? LDAP_OPT_ON : LDAP_OPT_OFF);
  LDAPMessage* raw = nullptr;
  rc = ldap_search_ext_s(ld, request_.base.c_str(), request_.scope, request_.filter.c_str(), attrs.get(), 0,
                         controls, nullptr, &timeout, 0, &raw);
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
