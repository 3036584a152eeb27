#include "platform/directory/ldap/set_up_check.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gnutls/x509.h>
#include <ldap.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "brindlecore/automation.h"
#include "platform/directory/ldap/ldap_names.h"
#include "platform/directory/ldap/ldap_session.h"

namespace brindlecore::platform::ldap {
namespace {

struct Report {
  std::ostream& out;
  bool ok = true;
  void Pass(const std::string& step, const std::string& detail) {
    out << "  ok    " << step << ": " << detail << "\n";
  }
  void Fail(const std::string& step, const std::string& detail, const std::string& fix) {
    ok = false;
    out << "  FAIL  " << step << ": " << detail << "\n        to fix: " << fix << "\n";
  }
};

struct Ldap {
  LDAP* ld = nullptr;
  ~Ldap() {
    if (ld) ldap_unbind_ext_s(ld, nullptr, nullptr);
  }
};

// Active Directory's reason for a refused bind, "... data 52e, ..." in its diagnostic text.
std::string AdReason(const std::string& diagnostic) {
  size_t at = diagnostic.find(", data ");
  if (at == std::string::npos) return "";
  std::string code = diagnostic.substr(at + 7, 3);
  if (code == "52e") return "wrong password";
  if (code == "525") return "no such account";
  if (code == "530" || code == "531") return "not allowed to sign in now or here";
  if (code == "532") return "the password has expired";
  if (code == "533") return "the account is disabled";
  if (code == "701") return "the account has expired";
  if (code == "773") return "the password must be changed first";
  if (code == "775") return "the account is locked out";
  return "";
}

std::string Diagnostic(LDAP* ld, int rc) {
  std::string text = ldap_err2string(rc);
  char* message = nullptr;
  if (ld && ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &message) == LDAP_OPT_SUCCESS &&
      message) {
    std::string said = message;
    ldap_memfree(message);
    std::string reason = AdReason(said);
    if (!reason.empty()) {
      text += " (" + reason + ")";
    } else if (!said.empty()) {
      text += " (" + said + ")";
    }
  }
  return text;
}

// Plain TCP first, so "nothing listens" is told apart from a TLS failure.
std::string TcpConnect(const addrinfo* address, int seconds) {
  int fd = socket(address->ai_family, SOCK_STREAM, 0);
  if (fd < 0) return std::strerror(errno);
  fcntl(fd, F_SETFL, O_NONBLOCK);
  std::string error;
  if (connect(fd, address->ai_addr, address->ai_addrlen) != 0 && errno != EINPROGRESS) {
    error = std::strerror(errno);
  } else {
    pollfd p{fd, POLLOUT, 0};
    int soerr = 0;
    socklen_t len = sizeof soerr;
    if (poll(&p, 1, seconds * 1000) != 1) {
      error = "no answer within " + std::to_string(seconds) + " s";
    } else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soerr, &len) == 0 && soerr != 0) {
      error = std::strerror(soerr);
    }
  }
  close(fd);
  return error;
}

std::string CertificateNames(LDAP* ld) {
  berval der{0, nullptr};
  if (ldap_get_option(ld, LDAP_OPT_X_TLS_PEERCERT, &der) != LDAP_OPT_SUCCESS || !der.bv_val) {
    return "";
  }
  gnutls_x509_crt_t cert = nullptr;
  gnutls_datum_t data{reinterpret_cast<unsigned char*>(der.bv_val),
                      static_cast<unsigned int>(der.bv_len)};
  std::string names;
  if (gnutls_x509_crt_init(&cert) == GNUTLS_E_SUCCESS &&
      gnutls_x509_crt_import(cert, &data, GNUTLS_X509_FMT_DER) == GNUTLS_E_SUCCESS) {
    char text[512];
    size_t size = sizeof text;
    if (gnutls_x509_crt_get_dn_by_oid(cert, GNUTLS_OID_X520_COMMON_NAME, 0, 0, text, &size) ==
        GNUTLS_E_SUCCESS) {
      names = "CN " + std::string(text, size);
    }
    for (unsigned int i = 0;; ++i) {
      size = sizeof text;
      int type = gnutls_x509_crt_get_subject_alt_name(cert, i, text, &size, nullptr);
      if (type < 0) break;
      if (type == GNUTLS_SAN_DNSNAME) names += ", DNS " + std::string(text, size);
    }
  }
  if (cert) gnutls_x509_crt_deinit(cert);
  ber_memfree(der.bv_val);
  return names;
}

int SimpleBind(LDAP* ld, const std::string& dn, const std::string& password) {
  if (password.empty()) return LDAP_INVALID_CREDENTIALS;
  berval credentials{password.size(), const_cast<char*>(password.data())};
  return ldap_sasl_bind_s(ld, dn.c_str(), LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr,
                          nullptr);
}

std::string BindFix(int rc, const std::string& who) {
  if (rc == LDAP_STRONG_AUTH_REQUIRED || rc == LDAP_CONFIDENTIALITY_REQUIRED) {
    return "the server takes passwords only over TLS: use an ldaps:// URI in ldap.uri or set "
           "ldap.starttls = demand";
  }
  if (rc == LDAP_INVALID_CREDENTIALS) return "check " + who;
  return "check that the server is a directory server and " + who;
}

// Each step of one server; false when a step failed (the later ones need it).
void CheckServer(const std::string& uri, const LdapSettings& settings, const std::string& user,
                 const std::string& password, Report& report) {
  report.out << (uri.empty() ? "the client's default server (ldap.conf)" : uri) << "\n";
  bool ldaps = uri.rfind("ldaps://", 0) == 0;
  LDAPURLDesc* desc = nullptr;
  if (!uri.empty()) {
    if (ldap_url_parse(uri.c_str(), &desc) != LDAP_URL_SUCCESS) {
      report.Fail(
          "address", "\"" + uri + "\" is not an LDAP URI",
          "write ldap.uri as ldaps://host[:port] (or ldap://), several separated by spaces");
      return;
    }
    std::string host = desc->lud_host ? desc->lud_host : "";
    int port = desc->lud_port > 0 ? desc->lud_port : (ldaps ? 636 : 389);
    ldap_free_urldesc(desc);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int gai = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (gai != 0) {
      report.Fail("resolve " + host, gai_strerror(gai),
                  "check the host name in ldap.uri and that DNS (or /etc/hosts) knows it");
      return;
    }
    char text[INET6_ADDRSTRLEN] = "";
    getnameinfo(found->ai_addr, found->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST);
    report.Pass("resolve " + host, text);
    std::string error = TcpConnect(found, settings.network_timeout_seconds);
    freeaddrinfo(found);
    std::string where = std::string(text) + " port " + std::to_string(port);
    if (!error.empty()) {
      report.Fail("connect to " + where, error,
                  "check that the directory server runs and that no firewall blocks the port; "
                  "ldaps listens on 636, ldap on 389");
      return;
    }
    report.Pass("connect to " + where, "connected");
  }
  bool starttls = settings.starttls != LdapSettings::StartTls::kNo;
  Ldap conn;
  int rc = LDAP_SUCCESS;
  conn.ld = ConnectUri(uri, settings, starttls, &rc);
  bool tls = ldaps || starttls;
  if (!conn.ld) {
    // ConnectUri leaves no handle to ask: a second one without TLS tells the cause apart.
    std::string cause = ldap_err2string(rc);
    std::string fix =
        "check the server's certificate: its CA must be in ldap.tls_cacert (or "
        "TLS_CACERT of ldap.conf), and its names must include the host of ldap.uri";
    if (!settings.tls_cacert.empty() && !std::ifstream(settings.tls_cacert)) {
      cause = "the CA file \"" + settings.tls_cacert + "\" cannot be read";
      fix = "set ldap.tls_cacert to the PEM file of the CA that signed the server's certificate";
    }
    report.Fail(tls ? "TLS" : "LDAP connection", cause, tls ? fix : "check ldap.uri");
    return;
  }
  if (tls) {
    std::string names = CertificateNames(conn.ld);
    report.Pass(ldaps ? "TLS (ldaps)" : "TLS (StartTLS)",
                "certificate trusted" + (names.empty() ? "" : ", names: " + names));
  } else {
    report.out << "  note  no TLS: passwords cross the network in clear text; Active Directory "
                  "refuses them (use ldaps:// or ldap.starttls = demand)\n";
  }
  if (!settings.bind_dn.empty()) {
    rc = SimpleBind(conn.ld, settings.bind_dn, settings.bind_password);
    if (rc != LDAP_SUCCESS) {
      report.Fail("bind as " + settings.bind_dn, Diagnostic(conn.ld, rc),
                  BindFix(rc,
                          "ldap.bind_dn and the password in the file ldap.bind_password_file "
                          "names"));
      return;
    }
    report.Pass("bind as " + settings.bind_dn, "accepted");
  } else {
    report.out << "  note  no ldap.bind_dn: searches run anonymously, which Active Directory "
                  "refuses\n";
  }
  char attr[] = "defaultNamingContext";
  char alt[] = "namingContexts";
  char* attrs[] = {attr, alt, nullptr};
  LDAPMessage* result = nullptr;
  timeval timeout{settings.timeout_seconds, 0};
  rc = ldap_search_ext_s(conn.ld, "", LDAP_SCOPE_BASE, "(objectClass=*)", attrs, 0, nullptr,
                         nullptr, &timeout, 0, &result);
  std::string context;
  if (rc == LDAP_SUCCESS) {
    if (LDAPMessage* entry = ldap_first_entry(conn.ld, result)) {
      for (char* name : {attr, alt}) {
        berval** values = ldap_get_values_len(conn.ld, entry, name);
        if (values && values[0] && context.empty())
          context.assign(values[0]->bv_val, values[0]->bv_len);
        ldap_value_free_len(values);
      }
    }
  }
  ldap_msgfree(result);
  if (context.empty()) {
    report.Fail("RootDSE naming context",
                rc == LDAP_SUCCESS ? "none given" : Diagnostic(conn.ld, rc),
                "the server must name its default naming context in its RootDSE");
    return;
  }
  report.Pass("RootDSE naming context", context);
  if (user.empty()) return;

  std::string filter =
      user.find('@') != std::string::npos
          ? "(userPrincipalName=" + EscapeFilterValue(user, false) + ")"
          : "(sAMAccountName=" +
                EscapeFilterValue(
                    user.substr(user.find('\\') == std::string::npos ? 0 : user.find('\\') + 1),
                    false) +
                ")";
  char none[] = LDAP_NO_ATTRS;
  char* no_attrs[] = {none, nullptr};
  rc = ldap_search_ext_s(conn.ld, context.c_str(), LDAP_SCOPE_SUBTREE, filter.c_str(), no_attrs, 0,
                         nullptr, nullptr, &timeout, 2, &result);
  std::vector<std::string> dns;
  for (LDAPMessage* e = ldap_first_entry(conn.ld, result); e; e = ldap_next_entry(conn.ld, e)) {
    if (char* dn = ldap_get_dn(conn.ld, e)) {
      dns.emplace_back(dn);
      ldap_memfree(dn);
    }
  }
  ldap_msgfree(result);
  if (dns.size() != 1) {
    report.Fail(
        "search " + filter,
        dns.empty() ? "no such account (" + Diagnostic(conn.ld, rc) + ")" : "more than one account",
        "check the user name; the service account must be allowed to read users");
    return;
  }
  report.Pass("search " + filter, dns[0]);
  Ldap user_conn;
  user_conn.ld = ConnectUri(uri, settings, starttls, &rc);
  rc = user_conn.ld ? SimpleBind(user_conn.ld, dns[0], password) : rc;
  if (rc != LDAP_SUCCESS) {
    report.Fail("bind as " + dns[0], Diagnostic(user_conn.ld, rc),
                BindFix(rc, "the password (or whether the account is disabled or locked)"));
    return;
  }
  report.Pass("bind as " + dns[0], "password accepted");
}

}  // namespace

bool CheckSetUp(const PlatformConfig& config, const std::string& user, const std::string& password,
                std::ostream& out) {
  Report report{out};
  LdapSettings settings;
  try {
    settings = LdapSettings::FromConfig(config);
  } catch (const AutomationError&) {
    out << "platform.conf\n  FAIL  settings: a value of ldap.* cannot be used\n"
        << "        to fix: check that ldap.bind_password_file names a readable file, "
           "ldap.timeout and ldap.network_timeout are seconds (1-3600), ldap.starttls is "
           "no, try or demand, ldap.tls_reqcert is demand, allow or never\n";
    return false;
  }
  std::vector<std::string> uris = settings.uris;
  if (uris.empty()) uris.push_back("");
  for (const std::string& uri : uris) CheckServer(uri, settings, user, password, report);
  out << (report.ok ? "all steps passed\n" : "some steps failed\n");
  return report.ok;
}

}  // namespace brindlecore::platform::ldap
