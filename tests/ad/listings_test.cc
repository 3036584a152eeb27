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

size_t Rows(const std::string& html) {
  size_t rows = 0;
  for (size_t at = html.find("<TR>"); at != std::string::npos; at = html.find("<TR>", at + 1)) {
    ++rows;
  }
  return rows;
}

TEST(AdListings, PickerReadsPastOnePage) {
  AdCase ad;
  ad.accounts().Group(kComputer, "QZW3SVC2");
  CallOutcome out = CallMethod(ad.platform(), "GetAllUsers",
                               {Val(Variant("LDAP://RootDSE")), Val(Variant(kComputer)),
                                Val(Variant("QZW3SVC2")), Val(Variant("false")), Ref(Variant(""))});
  ASSERT_FALSE(out.error) << out.error->description;
  EXPECT_EQ(out.text(4), "");
  const std::string html = ToText(out.result);
  EXPECT_GT(Rows(html), static_cast<size_t>(kBulkMembers));
  for (const std::string& row : {PickerRow("alice", "Alice Smith"), PickerRow("member1", "member1"),
                                 PickerRow("member1600", "member1600")}) {
    EXPECT_NE(html.find(row), std::string::npos) << row;
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
