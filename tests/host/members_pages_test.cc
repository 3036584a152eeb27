// A profile group's member list and the confirmed removal behind it: hostile names stay text in
// the page and in its addresses, and every refusal leaves the members as they were.
#include <gtest/gtest.h>

#include "host/served_root.h"
#include "platform/automation/errors.h"
#include "support/winnt_fixture.h"

namespace brindlecore::testing {
namespace {

// A name a directory may well hold, and every character that could end an attribute, a tag or a
// query parameter.
constexpr char kUser[] = "o'<b>&x=\"1\"";
constexpr char kGroup[] = "QZMULTI1<i>&y=2#";
constexpr char kGroupInHtml[] = "QZMULTI1&lt;i&gt;&amp;y=2#";
constexpr char kUserInHtml[] = "o&#39;&lt;b&gt;&amp;x=&quot;1&quot;";
constexpr char kMembersPage[] = "Members.asp?GroupName=QZMULTI1%3Ci%3E%26y%3D2%23";

class MembersPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AccountsFixture(server_.root())
        .User(kComputer, kUser)
        .Group(kComputer, kGroup)
        .Member(kComputer, kGroup, kUser)
        .Member(kComputer, kGroup, "carol");
    ASSERT_EQ(visitor_.SignIn("admin", "admin-pw")->status, 303);
  }
  std::string Members(const std::string& group) {
    return AccountsFixture(server_.root()).Members(kComputer, group);
  }
  httplib::Result SameOriginGet(const std::string& path) {
    return visitor_.Get(path, {{"Sec-Fetch-Site", "same-origin"}});
  }

  ServedRoot server_;
  Visitor visitor_{server_};
};

TEST_F(MembersPagesTest, AMemberIsListedAskedAboutAndRemovedWithItsNameKeptText) {
  const std::string query = httplib::detail::encode_query_param(kGroup);
  EXPECT_NE(SameOriginGet("/Groups.asp")
                ->body.find(std::string("<option value=\"") + kGroupInHtml + "\">" + kGroupInHtml),
            std::string::npos);
  EXPECT_NE(SameOriginGet("/editGroup.asp?GroupName=" + query)
                ->body.find(std::string("<a href=\"") + kMembersPage + "\" id=group-members>"),
            std::string::npos);

  httplib::Result list = SameOriginGet(std::string("/") + kMembersPage);
  ASSERT_EQ(list->status, 200);
  const std::string group_field =
      std::string("<input type=hidden name=GroupName value=\"") + kGroupInHtml + "\">";
  const std::string back_field =
      std::string("<input type=hidden name=RedirPage value=\"") + kMembersPage + "\">";
  EXPECT_NE(list->body.find(std::string("<tr><td class=TableRow>") + kUserInHtml +
                            "</td><td class=TableRow><form method=get action=UserDelete.asp>" +
                            group_field + "<input type=hidden name=UserName value=\"" +
                            kUserInHtml + "\">" + back_field +
                            "<button type=submit>Remove</button></form></td></tr>"
                            "<tr><td class=TableRow>carol</td>"),
            std::string::npos)
      << list->body;
  EXPECT_EQ(list->body.find("<b>"), std::string::npos);

  // What the button asks for, as a browser encodes its form.
  httplib::Result asked =
      SameOriginGet("/UserDelete.asp?GroupName=" + query +
                    "&UserName=" + httplib::detail::encode_query_param(kUser) +
                    "&RedirPage=" + httplib::detail::encode_query_param(kMembersPage));
  ASSERT_EQ(asked->status, 200);
  EXPECT_NE(asked->body.find(std::string("<p>Remove user ") + kUserInHtml + " from group " +
                             kGroupInHtml + "?</p>"),
            std::string::npos)
      << asked->body;
  EXPECT_NE(asked->body.find(std::string("<a href=\"") + kMembersPage + "\" id=cancel-remove>"),
            std::string::npos);
  EXPECT_EQ(Members(kGroup), std::string(kUser) + ",carol");

  httplib::Result removed = visitor_.Post(
      "/UserDelete.asp", {{"GroupName", kGroup}, {"UserName", kUser}, {"RedirPage", kMembersPage}});
  ASSERT_EQ(removed->status, 303);
  // The client hands the Location header over decoded.
  EXPECT_EQ(removed->get_header_value("Location"), std::string("Members.asp?GroupName=") + kGroup);
  EXPECT_EQ(Members(kGroup), "carol");
  const std::string after = SameOriginGet(std::string("/") + kMembersPage)->body;
  EXPECT_NE(after.find(std::string("class=\"message ok\">User ") + kUserInHtml +
                       " removed from group " + kGroupInHtml + ".</div>"),
            std::string::npos)
      << after;

  visitor_.Post("/UserDelete.asp",
                {{"GroupName", kGroup}, {"UserName", "carol"}, {"RedirPage", kMembersPage}});
  EXPECT_NE(SameOriginGet(std::string("/") + kMembersPage)
                ->body.find("<p id=no-members>The group has no members.</p>"),
            std::string::npos);
}

TEST_F(MembersPagesTest, RefusalsSayWhyAndRemoveNoOne) {
  const std::string refused = "Request refused: it did not come from a page of this site.";
  const std::string foreign = "The return page must be a page of this site.";
  const std::string own = server_.origin();
  const std::string not_profile =
      "id=listing-error>Only the members of a profile group (QZW3SVC or QZMULTI) are shown "
      "here.</p>";
  const auto& missing = errors::kNerrGroupnotfound;
  const std::string no_group = "id=listing-error>Error " + NumberText(missing.number) + ": " +
                               std::string(missing.text) + "</p>";
  // A row without a form is a GET.
  struct Row {
    std::string path;
    httplib::Params form;
    httplib::Headers headers;
    int status;
    std::string shown;
  };
  const httplib::Params remove_carol = {
      {"GroupName", kGroup}, {"UserName", "carol"}, {"RedirPage", "Groups.asp"}};
  auto with = [&](std::string key, std::string value) {
    httplib::Params form = remove_carol;
    form.erase(key);
    form.emplace(std::move(key), std::move(value));
    return form;
  };
  const std::string members = "/Members.asp?GroupName=", remove = "/UserDelete.asp";
  const Row rows[] = {
      {members + "Administrators", {}, {}, 200, not_profile},
      {members + "QZW3SVC9", {}, {}, 200, no_group},
      {members + "QZW3SVC1", {}, {{"Sec-Fetch-Site", "cross-site"}}, 403, refused},
      {remove, with("csrf", std::string(64, 'a')), {}, 403, refused},
      {remove, remove_carol, {{"Sec-Fetch-Site", "same-site"}}, 403, refused},
      {remove, remove_carol, {{"Origin", own + ".evil.example"}}, 403, refused},
      // Only what MembersPage writes follows its page name: no second parameter, no header.
      {remove, with("RedirPage", "Members.asp?GroupName=x&GroupName=y"), {}, 400, foreign},
      {remove, with("RedirPage", "Members.asp?GroupName=x\r\nSet-Cookie: a=b"), {}, 400, foreign},
      {remove, with("RedirPage", "Members.asp//evil.example"), {}, 400, foreign},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path + " " + row.shown);
    httplib::Params form = row.form;
    form.emplace("csrf", visitor_.csrf);  // a row's own token comes first and wins
    httplib::Headers headers = row.headers;
    headers.emplace("Cookie", visitor_.cookie);
    if (!headers.count("Sec-Fetch-Site")) headers.emplace("Sec-Fetch-Site", "same-origin");
    httplib::Result r = row.form.empty() ? server_.Client().Get(row.path.c_str(), headers)
                                         : server_.Client().Post(row.path.c_str(), headers, form);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, row.status);
    EXPECT_NE(r->body.find(row.shown), std::string::npos) << r->body;
    EXPECT_EQ(Members(kGroup), std::string(kUser) + ",carol");
  }
}

}  // namespace
}  // namespace brindlecore::testing
