// DNs and search commands parsed on their own. Each RDN is cut out before the LDAP library parses
// it, so the cutting must agree with the library on escapes, quotes and separators; commands
// must not build filters nested deeper than the library takes.
#include "platform/directory/ldap/ldap_names.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/automation/errors.h"
#include "platform/search/query.h"
#include "support/matchers.h"

namespace brindlecore::platform {
namespace {

using ldap::NormalizeDn;
using search::kMaxFilterNesting;
using search::ParseQuery;
using testing::ErrorNumberIs;
using testing::ErrorOf;

TEST(LdapNamesTest, NormalizeDnCutsRdnsWhereTheLibraryWould) {
  const std::string bad = "<bad>";
  const std::pair<std::string, std::string> cases[] = {
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
  for (const auto& [dn, normalized] : cases) {
    if (normalized == bad) {
      EXPECT_THAT(ErrorOf([&] { NormalizeDn(dn); }), ErrorNumberIs(errors::kErrorDsInvalidDnSyntax))
          << dn;
    } else {
      EXPECT_EQ(NormalizeDn(dn), normalized);
    }
  }
}

TEST(LdapNamesTest, PathsOfManyRdnsNormalize) {
  std::string dn, normalized;
  for (int i = 0; i < 200000; ++i) {
    dn += i ? ",cn=a" : "cn=a";
    normalized += i ? ",CN=a" : "CN=a";
  }
  EXPECT_EQ(ldap::ParsePath("LDAP://" + dn).dn, normalized);
  EXPECT_EQ(ldap::FirstRdn(normalized).value, "a");
}

std::string Repeat(std::string_view part, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += part;
  return out;
}

TEST(QueryTest, FiltersNestAsWrittenUpToTheBound) {
  const std::string select = "select cn from 'LDAP://DC=example,DC=test' where ";
  const std::string ldap = "<LDAP://DC=example,DC=test>;";
  const int max = kMaxFilterNesting;
  const std::pair<std::string, std::string> cases[] = {
      {select + "a='1' or b='2' and not c='3'", "(|(a=1)(&(b=2)(!(c=3))))"},
      {select + "(a='1' or b='2') and c='3'", "(&(|(a=1)(b=2))(c=3))"},
      {select + "not (a='x*' or not b=y*)", "(!(|(a=x*)(!(b=y\\2a))))"},
      {select + Repeat("(", max) + "a='1'" + Repeat(")", max), "(a=1)"},
      {select + Repeat("(", max + 1) + "a='1'" + Repeat(")", max + 1), ""},
      {select + Repeat("not ", max) + "a='1'", Repeat("(!", max) + "(a=1)" + Repeat(")", max)},
      {select + Repeat("not ", 10000) + "a='1'", ""},
      {select + "'" + Repeat("(", 100000), ""},
      {select + Repeat("(", 100000) + "a='1'", ""},
      {ldap + Repeat("(&", max - 1) + "(a=1)" + Repeat(")", max - 1) + ";cn",
       Repeat("(&", max - 1) + "(a=1)" + Repeat(")", max - 1)},
      {ldap + Repeat("(&", max) + "(a=1)" + Repeat(")", max) + ";cn", ""},
      {ldap + Repeat("(", 100000) + ";cn", ""},
      {ldap + "objectClass=user;cn", "(objectClass=user)"},
      // Malformed commands.
      {select + "sAMAccountName='o'brien'", ""},
      {"select from 'LDAP://DC=example,DC=test'", ""},
      {"select a b from 'LDAP://DC=example,DC=test'", ""},
      {select + "a>'1'", ""},
      {select + "a='1' and", ""},
      {select + "(a='1'", ""},
      {"select a from LDAP://DC=example,DC=test", ""},
      {"delete from 'LDAP://DC=example,DC=test'", ""},
      {ldap + "(objectClass=user);cn;everywhere", ""},
      {ldap + "(objectClass=user", ""},
      {ldap + "(objectClass=user));cn;subTree", ""},
  };
  for (const auto& [text, filter] : cases) {
    SCOPED_TRACE(text.substr(0, 120));
    if (filter.empty()) {
      EXPECT_THAT(ErrorOf([&] { ParseQuery(text); }), ErrorNumberIs(errors::kDbEErrorsincommand));
    } else {
      EXPECT_EQ(ParseQuery(text).filter, filter);
    }
  }
}

TEST(QueryTest, LongFlatChainsAreNotNesting) {
  std::string text = "select cn from 'LDAP://DC=example,DC=test' where a='0'";
  for (int i = 1; i < 20000; ++i) text += " or a='" + std::to_string(i) + "'";
  std::string filter = ParseQuery(text).filter;
  EXPECT_EQ(filter.substr(0, 14), "(|(a=0)(a=1)(a");
  EXPECT_EQ(filter.back(), ')');
}

}  // namespace
}  // namespace brindlecore::platform
