#include "platform/directory/ldap/ldap_names.h"

#include <ldap.h>

#include <cstring>
#include <memory>

#include "platform/automation/errors.h"

namespace brindlecore::platform::ldap {
namespace {

constexpr std::string_view kScheme = "LDAP://";

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperType(std::string_view type) {
  std::string out(type);
  for (char& c : out) c = Upper(c);
  return out;
}

void AppendHex(std::string& out, unsigned char c) {
  static const char kHex[] = "0123456789ABCDEF";
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

struct RdnDeleter {
  void operator()(LDAPRDN rdn) const { ldap_rdnfree(rdn); }
};
using ParsedRdn = std::unique_ptr<LDAPAVA*, RdnDeleter>;

// Paths may carry "/" escaped as "\/", which DN syntax itself does not know.
std::string UnescapeSlashes(std::string_view dn) {
  std::string out;
  out.reserve(dn.size());
  for (size_t i = 0; i < dn.size(); ++i) {
    if (dn[i] == '\\' && i + 1 < dn.size()) {
      if (dn[i + 1] == '/') {
        out += '/';
        ++i;
        continue;
      }
      out += dn[i++];
    }
    out += dn[i];
  }
  return out;
}

// Where the RDN starting at `start` ends: the next separator outside escapes and quotes.
size_t RdnEnd(std::string_view dn, size_t start) {
  bool quoted = false;
  for (size_t i = start; i < dn.size(); ++i) {
    char c = dn[i];
    if (c == '\\') {
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == ',') {
      return i;
    }
  }
  return dn.size();
}

// Calls `each` with every RDN of the DN, in order. The LDAP library's own DN parser, and its RDN
// parser when handed the rest of a DN, take time quadratic in the number of RDNs; cutting each
// RDN out first and parsing it alone keeps a hostile path of a million RDNs linear.
template <typename Each>
void ForEachRdn(std::string_view dn, Each each) {
  std::string text = UnescapeSlashes(dn);
  if (text.empty()) return;
  for (size_t start = 0;;) {
    size_t end = RdnEnd(text, start);
    if (end == start) errors::kErrorDsInvalidDnSyntax.Throw();  // the parser asserts on ""
    berval piece{end - start, text.data() + start};
    LDAPRDN raw = nullptr;
    char* next = nullptr;
    int rc = ldap_bv2rdn(&piece, &raw, &next, LDAP_DN_FORMAT_LDAPV3);
    ParsedRdn rdn(raw);
    // A piece the parser did not read to its end (a NUL inside it) is no RDN either.
    if (rc != LDAP_SUCCESS || rdn == nullptr || next != text.data() + end) {
      errors::kErrorDsInvalidDnSyntax.Throw();
    }
    each(rdn.get());
    if (end == text.size()) return;
    start = end + 1;
  }
}

std::string_view View(const berval& bv) { return {bv.bv_val, bv.bv_len}; }

void AppendAva(std::string& out, const LDAPAVA& ava) {
  out += UpperType(View(ava.la_attr));
  out += '=';
  if (ava.la_flags & LDAP_AVA_BINARY) {
    out += '#';
    for (char c : View(ava.la_value)) AppendHex(out, static_cast<unsigned char>(c));
  } else {
    out += EscapeRdnValue(View(ava.la_value));
  }
}

bool IsServerPart(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c == '=' || c == ',' || c == ' ' || c == '\\') return false;
  }
  return true;
}

}  // namespace

std::string LdapPath::Prefix() const {
  return std::string(kScheme) + (server.empty() ? "" : server + "/");
}

LdapPath ParsePath(std::string_view path) {
  if (path.size() < kScheme.size() || !EqualsIgnoreCase(path.substr(0, kScheme.size()), kScheme)) {
    errors::kEAdsBadPathname.Throw();
  }
  std::string_view rest = path.substr(kScheme.size());
  LdapPath result;
  // A server part has no "=": "LDAP://CN=a/b,DC=x" is a DN whose value holds a slash.
  size_t slash = rest.find('/');
  std::string_view head = slash == std::string_view::npos ? rest : rest.substr(0, slash);
  if (IsServerPart(head) && !EqualsIgnoreCase(head, "RootDSE")) {
    result.server = std::string(head);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  }
  if (EqualsIgnoreCase(rest, "RootDSE")) {
    result.root_dse = true;
    return result;
  }
  result.dn = NormalizeDn(rest);
  return result;
}

std::string NormalizeDn(std::string_view dn) {
  std::string out;
  out.reserve(dn.size() + 8);
  ForEachRdn(dn, [&](LDAPRDN rdn) {
    if (!out.empty()) out += ',';
    for (LDAPAVA** ava = rdn; *ava; ++ava) {
      if (ava != rdn) out += '+';
      AppendAva(out, **ava);
    }
  });
  return out;
}

Rdn FirstRdn(std::string_view dn) {
  Rdn first;
  bool found = false;
  ForEachRdn(dn, [&](LDAPRDN rdn) {
    if (found) return;
    found = true;
    first = {UpperType(View(rdn[0]->la_attr)), std::string(View(rdn[0]->la_value))};
  });
  return first;
}

std::string EscapeRdnValue(std::string_view value) {
  std::string out;
  out.reserve(value.size() + 4);
  for (size_t i = 0; i < value.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    bool edge_space = c == ' ' && (i == 0 || i + 1 == value.size());
    if (c < 0x20 || c == 0x7f) {
      out += '\\';
      AppendHex(out, c);
      continue;
    }
    if (std::strchr(",+\"\\<>;=", c) != nullptr || edge_space || (c == '#' && i == 0)) out += '\\';
    out += static_cast<char>(c);
  }
  return out;
}

std::string EscapeFilterValue(std::string_view value, bool keep_wildcards) {
  std::string out;
  out.reserve(value.size());
  for (char ch : value) {
    unsigned char c = static_cast<unsigned char>(ch);
    if ((c == '*' && !keep_wildcards) || c == '(' || c == ')' || c == '\\' || c == 0) {
      out += '\\';
      static const char kHex[] = "0123456789abcdef";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

}  // namespace brindlecore::platform::ldap
