// Paths, distinguished names and filter values as the LDAP provider and directory search write
// them: DNs in the original directory's spelling whatever the server's own, filter values escaped.
#ifndef BRINDLECORE_PLATFORM_DIRECTORY_LDAP_LDAP_NAMES_H_
#define BRINDLECORE_PLATFORM_DIRECTORY_LDAP_LDAP_NAMES_H_

#include <string>
#include <string_view>

namespace brindlecore::platform::ldap {

// A parsed "LDAP://" path.
struct LdapPath {
  std::string server;     // "host[:port]" exactly as the path named it; "" for serverless paths
  std::string dn;         // normalized; "" with root_dse false means the default naming context
  bool root_dse = false;  // "LDAP://RootDSE" or "LDAP://server/RootDSE"

  // "LDAP://" + (server + "/" when one was named): what ADsPath and the AdsPath column begin with.
  std::string Prefix() const;
  std::string ADsPath() const { return Prefix() + (root_dse ? "RootDSE" : dn); }
};

// Parses "LDAP://RootDSE", "LDAP://DN", "LDAP://host[:port]/DN" and "LDAP://host[:port]".
// Throws E_ADS_BAD_PATHNAME for another syntax, ERROR_DS_INVALID_DN_SYNTAX for a bad DN.
LdapPath ParsePath(std::string_view path);

// The DN with upper-case attribute types and RFC 4514 backslash-character escapes
// (CN=Smith\, Anna,OU=Staff,DC=example,DC=test). Throws ERROR_DS_INVALID_DN_SYNTAX.
std::string NormalizeDn(std::string_view dn);

// The first RDN of a DN: its attribute type in upper case and its value unescaped.
struct Rdn {
  std::string type;
  std::string value;
};
Rdn FirstRdn(std::string_view dn);

// Escapes one RDN value the way NormalizeDn writes it.
std::string EscapeRdnValue(std::string_view value);

// Escapes a value for a search filter (RFC 4515). With keep_wildcards, "*" stays a wildcard.
std::string EscapeFilterValue(std::string_view value, bool keep_wildcards);

// ASCII case-insensitive equality, as attribute names and keywords compare.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace brindlecore::platform::ldap

#endif  // BRINDLECORE_PLATFORM_DIRECTORY_LDAP_LDAP_NAMES_H_
