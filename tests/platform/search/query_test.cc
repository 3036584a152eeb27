// The query dialects' parser on its own: the filters it builds and the nesting it refuses.
#include "platform/search/query.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/automation/errors.h"
#include "support/matchers.h"

namespace brindlecore::platform::search {
namespace {

std::string Repeat(std::string_view part, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += part;
  return out;
}

const std::string kSelect = "select cn from 'LDAP://DC=example,DC=test' where ";
const std::string kLdap = "<LDAP://DC=example,DC=test>;";

TEST(QueryTest, FiltersNestAsWrittenUpToTheBound) {
  const int max = kMaxFilterNesting;
  struct Case {
    std::string text;
    std::string filter;  // "" when the text must be refused
  } cases[] = {
      {kSelect + "a='1' or b='2' and not c='3'", "(|(a=1)(&(b=2)(!(c=3))))"},
      {kSelect + "(a='1' or b='2') and c='3'", "(&(|(a=1)(b=2))(c=3))"},
      {kSelect + "not (a='x*' or not b=y*)", "(!(|(a=x*)(!(b=y\\2a))))"},
      {kSelect + Repeat("(", max) + "a='1'" + Repeat(")", max), "(a=1)"},
      {kSelect + Repeat("(", max + 1) + "a='1'" + Repeat(")", max + 1), ""},
      {kSelect + Repeat("not ", max) + "a='1'", Repeat("(!", max) + "(a=1)" + Repeat(")", max)},
      {kSelect + Repeat("not ", 10000) + "a='1'", ""},
      {kSelect + "'" + Repeat("(", 100000), ""},
      {kSelect + Repeat("(", 100000) + "a='1'", ""},
      {kLdap + Repeat("(&", max - 1) + "(a=1)" + Repeat(")", max - 1) + ";cn",
       Repeat("(&", max - 1) + "(a=1)" + Repeat(")", max - 1)},
      {kLdap + Repeat("(&", max) + "(a=1)" + Repeat(")", max) + ";cn", ""},
      {kLdap + Repeat("(", 100000) + ";cn", ""},
      {kLdap + "objectClass=user;cn", "(objectClass=user)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 120));
    if (c.filter.empty()) {
      EXPECT_THAT(testing::ErrorOf([&] { ParseQuery(c.text); }),
                  testing::ErrorNumberIs(errors::kDbEErrorsincommand));
    } else {
      EXPECT_EQ(ParseQuery(c.text).filter, c.filter);
    }
  }
}

TEST(QueryTest, LongFlatChainsAreNotNesting) {
  std::string text = kSelect + "a='0'";
  for (int i = 1; i < 20000; ++i) text += " or a='" + std::to_string(i) + "'";
  std::string filter = ParseQuery(text).filter;
  EXPECT_EQ(filter.substr(0, 14), "(|(a=0)(a=1)(a");
  EXPECT_EQ(filter.back(), ')');
}

}  // namespace
}  // namespace brindlecore::platform::search
