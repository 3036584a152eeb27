// DN normalisation on its own: each RDN is cut out before the LDAP library parses it, so the
// cutting must agree with the library on escapes, quotes and separators.
#include "platform/directory/ldap/ldap_names.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/automation/errors.h"

namespace brindlecore::platform::ldap {
namespace {

TEST(LdapNamesTest, NormalizeDnCutsRdnsWhereTheLibraryWould) {
  const std::string bad = "<bad>";
  struct Case {
    std::string dn, normalized;
  } cases[] = {
      {"cn=Smith\\, Anna,ou=Staff,dc=example", "CN=Smith\\, Anna,OU=Staff,DC=example"},
      {"cn=\"Smith, Anna\",dc=x", bad},
      {"cn=a\\2Cb, ou=c", "CN=a\\,b,OU=c"},
      {"cn=a+sn=b,dc=x", "CN=a+SN=b,DC=x"},
      {"cn=a\\/b/c,dc=x", "CN=a/b/c,DC=x"},
      {"cn;lang-en=a,dc=x", "CN=a,DC=x"},
      {"", ""},
      {"cn=a,", bad},
      {"cn=a,,dc=x", bad},
      {",cn=a", bad},
      {"cn=\"a,dc=x", bad},
      {std::string("cn=a\0b,dc=x", 11), bad},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dn);
    try {
      EXPECT_EQ(NormalizeDn(c.dn), c.normalized);
    } catch (const AutomationError& e) {
      EXPECT_EQ(c.normalized, bad);
      EXPECT_EQ(e.number, errors::kErrorDsInvalidDnSyntax.number);
    }
  }
}

TEST(LdapNamesTest, PathsOfManyRdnsNormalize) {
  std::string dn, normalized;
  for (int i = 0; i < 200000; ++i) {
    dn += i ? ",cn=a" : "cn=a";
    normalized += i ? ",CN=a" : "CN=a";
  }
  EXPECT_EQ(ParsePath("LDAP://" + dn).dn, normalized);
  EXPECT_EQ(FirstRdn(normalized).value, "a");
}

}  // namespace
}  // namespace brindlecore::platform::ldap
