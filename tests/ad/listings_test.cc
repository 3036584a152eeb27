// User listings from the domain controller: more users than one page of its answers.
#include <gtest/gtest.h>

#include "ad/ad_case.h"

namespace brindlecore::testing {
namespace {

std::string PickerRow(const std::string& account, const std::string& display) {
  return "<TR><TD class=TableRow><a href=\"JavaScript:updateField('EXAMPLE\\\\" + account +
         "','QZW3SVC2');\">EXAMPLE\\" + account + "</a></TD><TD class=TableRow>" + display +
         "</TD></TR>";
}

std::string OverviewRow(const std::string& account, const std::string& display,
                        const std::string& groups) {
  return "<TR><TD class=TableRow>EXAMPLE\\" + account + "</TD><TD class=TableRow>" + display +
         "</TD><TD class=TableRow>" + groups + "</TD></TR>";
}

size_t Rows(const std::string& html) {
  size_t rows = 0;
  for (size_t at = html.find("<TR>"); at != std::string::npos; at = html.find("<TR>", at + 1)) {
    ++rows;
  }
  return rows;
}

// The domain answers at most 1,000 entries a page: both kinds of listing must read every page,
// and the overview must still find each user's local profile groups.
TEST(AdListings, ListingsReadPastOnePage) {
  struct Case {
    const char* show_groups;
    std::vector<std::string> rows;
  };
  const std::vector<Case> cases = {
      {"false",
       {PickerRow("alice", "Alice Smith"), PickerRow("member1", "member1"),
        PickerRow("member1600", "member1600")}},
      {"true",
       {OverviewRow("alice", "Alice Smith", "QZW3SVC2;"), OverviewRow("member1", "member1", ""),
        OverviewRow("member1600", "member1600", "")}},
  };
  AdCase ad;
  ad.accounts().Group(kComputer, "QZW3SVC2");
  // A domain account joins a local group only through the domain, as the pages add one.
  ASSERT_EQ(CallMethod(ad.platform(), "AddUserToGroup",
                       {Val(Variant("LDAP://RootDSE")), Val(Variant(kComputer)),
                        Val(Variant("EXAMPLE\\alice")), Val(Variant("QZW3SVC2")), Ref(Variant(""))})
                .result,
            Variant(true));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.show_groups);
    CallOutcome out =
        CallMethod(ad.platform(), "GetAllUsers",
                   {Val(Variant("LDAP://RootDSE")), Val(Variant(kComputer)),
                    Val(Variant("QZW3SVC2")), Val(Variant(c.show_groups)), Ref(Variant(""))});
    ASSERT_FALSE(out.error) << out.error->description;
    EXPECT_EQ(out.text(4), "");
    const std::string html = ToText(out.result);
    EXPECT_GT(Rows(html), static_cast<size_t>(kBulkMembers));
    for (const std::string& row : c.rows) {
      EXPECT_NE(html.find(row), std::string::npos) << row;
    }
  }
}

}  // namespace
}  // namespace brindlecore::testing

namespace brindlecore::testing {
namespace {

// The local group takes a domain account only when the domain knows it.
TEST(AdListings, AddUserToGroupAsksTheDomain) {
  struct Case {
    const char* user;
    bool result;
    std::string error;
    std::string members;
  };
  const std::vector<Case> cases = {
      {"EXAMPLE\\nobody", false, "-1 ,The user to add does not exist on the domain.", ""},
      {"EXAMPLE\\alice", true, "", "alice"},
  };
  AdCase ad;
  ad.accounts().Group(kComputer, "QZW3SVC1", "Sales");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user);
    CallOutcome out =
        CallMethod(ad.platform(), "AddUserToGroup",
                   {Val(Variant("LDAP://RootDSE")), Val(Variant(kComputer)), Val(Variant(c.user)),
                    Val(Variant("QZW3SVC1")), Ref(Variant("x"))});
    ASSERT_FALSE(out.error) << out.error->description;
    EXPECT_EQ(out.result, Variant(c.result));
    EXPECT_EQ(out.text(4), c.error);
    EXPECT_EQ(ad.accounts().Members(kComputer, "QZW3SVC1"), c.members);
  }
}

}  // namespace
}  // namespace brindlecore::testing
