// The administration pages as a browser meets them: sign-in, sessions, the guards on every
// state-changing request, the pages that carry the component's rows, a profile group's members and
// the Web sites form; and the request journal `serve` writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#include "host/served_root.h"
#include "platform/automation/errors.h"
#include "support/command.h"
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
const std::string kRefused = "Request refused: it did not come from a page of this site.";

std::string Encode(const std::string& s) { return httplib::detail::encode_query_param(s); }
bool Has(const httplib::Result& r, const std::string& text) {
  return r && r->body.find(text) != std::string::npos;
}

class PagesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new ServedRoot();
    AccountsFixture(server_->root())
        .User(kComputer, kUser)
        .Group(kComputer, kGroup)
        .Member(kComputer, kGroup, kUser)
        .Member(kComputer, kGroup, "carol");
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_EQ(v_.SignIn("admin", "admin-pw")->status, 303); }
  // The members of both groups the pages change.
  static std::string Members() {
    AccountsFixture accounts(server_->root());
    return accounts.Members(kComputer, "QZW3SVC1") + "|" + accounts.Members(kComputer, kGroup);
  }
  httplib::Result SameOriginGet(const std::string& path) {
    return v_.Get(path, {{"Sec-Fetch-Site", "same-origin"}});
  }
  std::string ImportReport(const std::string& name, const std::string& content) {
    httplib::Result r = v_.Import(name, content);
    EXPECT_EQ(r->status, 200) << r->body;
    return r->body;
  }

  static ServedRoot* server_;
  Visitor v_{*server_};
};

ServedRoot* PagesTest::server_ = nullptr;
const std::string kAsFixed = std::string("carol|") + kUser + ",carol";

TEST_F(PagesTest, ASessionHasAStrictHttpOnlyCookieAndEndsOnSignOut) {
  Visitor v(*server_);
  httplib::Result r = v.SignIn("admin", "admin-pw");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 303);
  EXPECT_EQ(r->get_header_value("Location"), "ProfileAdministrators.asp");
  const std::string cookie = r->get_header_value("Set-Cookie");
  EXPECT_NE(cookie.find("; HttpOnly"), std::string::npos) << cookie;
  EXPECT_NE(cookie.find("; SameSite=Strict"), std::string::npos) << cookie;
  EXPECT_EQ(cookie.find("admin-pw"), std::string::npos);

  httplib::Result page = v.Get("/ProfileAdministrators.asp");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  const std::string policy = page->get_header_value("Content-Security-Policy");
  EXPECT_NE(policy.find("script-src 'self';"), std::string::npos) << policy;
  EXPECT_EQ(policy.find("unsafe-inline"), std::string::npos) << policy;

  EXPECT_EQ(v.Post("/logout.asp", {}, false)->status, 403);
  httplib::Result out = v.Post("/logout.asp", {});
  EXPECT_EQ(out->status, 303);
  EXPECT_NE(out->get_header_value("Set-Cookie").find("Max-Age=0"), std::string::npos);
  // The old cookie is no session: the page leads to the sign-in.
  httplib::Result after = v.Get("/ProfileAdministrators.asp");
  EXPECT_EQ(after->status, 303);
  EXPECT_EQ(after->get_header_value("Location"), "login.asp");
}

// Each refusal starts no session; the component's text is shown as it gave it, with the hint as a
// line of its own.
TEST_F(PagesTest, RefusedSignInsSayWhyAndStartNoSession) {
  auto error = [](const std::string& text, const std::string& hint) {
    return "class=\"message error\">" + text + "</div>\n" +
           (hint.empty() ? "" : "<p class=hint id=bc-hint>" + hint + "</p>\n") + "<div";
  };
  const auto& logon = errors::kErrorLogonFailure;
  const std::string wrong_password =
      error(" - " + NumberText(logon.number) + "," + std::string(logon.text),
            "Check the user name and the password (capitals count). brindlecore user list TESTPC "
            "lists this computer&#39;s accounts; brindlecore user passwd TESTPC NAME sets a new "
            "password.");
  const std::string offered = "Choose one of the offered directories.";
  std::string accents;
  for (int i = 0; i < 256; ++i) accents += "\xc3\xa9";
  struct Case {
    std::string user, password, login_type, directory;
    int status;
    std::string shown;
  };
  const std::string admin = "ServerAdministrator", local = "WinNT://TESTPC";
  const Case cases[] = {
      {"admin", "wrong", admin, local, 401, wrong_password},
      // The password is right, but carol holds no server administrator rights.
      {"carol", "carol-pw", admin, local, 401,
       error("User Authenticated, but Group Membership Incorrect for Server Administrator.",
             "The password is right, but the account is not a member of Administrators: "
             "brindlecore group addmember TESTPC Administrators carol adds it.")},
      {"admin", "admin-pw", "ProfileAdministrator", local, 401,
       error("User Authenticated, but Group Membership Incorrect for Profile Administrator.",
             "The password is right, but the account belongs to no profile group: a server "
             "administrator adds it on the Profile administrators page.")},
      {"admin", "", admin, local, 401, error(" - -1,Invalid Password - 0 Length String", "")},
      // The name typed comes back in the form, as text.
      {"<b>\"x\"</b>", "pw", admin, local, 401, "value=\"&lt;b&gt;&quot;x&quot;&lt;/b&gt;\""},
      // A directory the visitor names would answer the password check and the group walk itself.
      {"admin", "admin-pw", admin, "LDAP://127.0.0.1:1/DC=evil,DC=test", 400, offered},
      {"admin", "admin-pw", admin, "winnt://TESTPC", 400, offered},
      {"admin", "admin-pw", admin, "", 400, offered},
      // Oversized fields are refused before the component is called.
      {std::string(257, 'b'), "pw", admin, local, 400,
       "The user name is too long (at most 256 characters)."},
      {"admin", std::string(257, 'p'), admin, local, 400,
       "The password is too long (at most 256 characters)."},
      // Beyond the largest form the pages read at all.
      {std::string("'").append(100000, '('), "pw", admin, local, 413, "The request is too large."},
      // At the cap, and 256 two-byte characters: the component's own refusal.
      {std::string(256, 'b'), "pw", admin, local, 401, "Logon failure"},
      {accents, "pw", admin, local, 401, "Logon failure"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user.substr(0, 20) + "/" + c.password.substr(0, 20) + "/" + c.login_type + "/" +
                 c.directory);
    httplib::Result r = Visitor(*server_).SignIn(c.user, c.password, c.login_type, c.directory);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, c.status);
    EXPECT_FALSE(r->has_header("Set-Cookie"));
    EXPECT_TRUE(Has(r, c.shown)) << r->body.substr(0, 2000);
    EXPECT_FALSE(Has(r, "<b>\"x\""));
  }
  EXPECT_TRUE(Has(server_->Client().Get("/login.asp"),
                  "<select name=directory id=directory><option value=\"WinNT://TESTPC\">This "
                  "computer (WinNT://TESTPC)</option></select>"));
  // Every route's fields pass the one check above; an upload's content is read apart.
  httplib::Result import = v_.Import("big.txt", std::string((1 << 20) + 1, '\n'));
  EXPECT_EQ(import->status, 400);
  EXPECT_TRUE(Has(import, "The import file is too long"));
  EXPECT_EQ(Members(), kAsFixed);
}

TEST_F(PagesTest, ProfileAdministratorSeesOnlyTheirProfiles) {
  Visitor v(*server_);
  httplib::Result r = v.SignIn("carol", "carol-pw", "ProfileAdministrator");
  ASSERT_EQ(r->status, 303);
  EXPECT_EQ(r->get_header_value("Location"), "Default.asp");
  httplib::Result home = v.Get("/Default.asp");
  EXPECT_TRUE(Has(home, "<td class=TableRow>W3SVC1</td><td class=TableRow>Sales</td>"))
      << home->body;
  EXPECT_FALSE(Has(home, "Groups.asp"));
  for (const char* page :
       {"/ProfileAdministrators.asp", "/Groups.asp", "/Users.asp", "/Import.asp", "/Sites.asp",
        "/editGroup.asp?GroupName=QZW3SVC1", "/Members.asp?GroupName=QZW3SVC1"}) {
    EXPECT_EQ(v.Get(page)->status, 403) << page;
  }
  EXPECT_EQ(v.Post("/AddUser.asp", {{"user", "bob"}, {"group", "QZW3SVC1"}})->status, 403);
  EXPECT_EQ(Members(), kAsFixed);
}

// Forged and cross-site requests, and return pages elsewhere: each is refused and removes no one.
// The happy path of adding and removing is the browser test's and the next test's.
TEST_F(PagesTest, ForgedRequestsAndForeignReturnPagesChangeNothing) {
  const std::string own = server_->origin(),
                    foreign = "The return page must be a page of this site.";
  const std::string not_profile =
      "id=listing-error>Only the members of a profile group (QZW3SVC or QZMULTI) are shown "
      "here.</p>";
  const auto& missing = errors::kNerrGroupnotfound;
  const std::string no_group = "id=listing-error>Error " + NumberText(missing.number) + ": " +
                               std::string(missing.text) + "</p>";
  const httplib::Headers same = {{"Sec-Fetch-Site", "same-origin"}};
  // A row without a form is a GET.
  struct Row {
    std::string path;
    httplib::Params form;
    httplib::Headers headers;
    int status;
    std::string shown;
  };
  auto ask = [](const std::string& back) {
    return "/UserDelete.asp?GroupName=QZW3SVC1&UserName=carol&RedirPage=" + Encode(back);
  };
  const httplib::Params remove = {
      {"GroupName", kGroup}, {"UserName", "carol"}, {"RedirPage", "Groups.asp"}};
  auto with = [&](std::string key, std::string value) {
    httplib::Params form = remove;
    form.erase(key);
    form.emplace(std::move(key), std::move(value));
    return form;
  };
  const std::string members = "/Members.asp?GroupName=", post = "/UserDelete.asp",
                    reflect = "/Groups.asp?ListUsers=x";
  const Row rows[] = {
      // A typed or bookmarked address offers a removal no page of ours asked for.
      {ask("ProfileAdministrators.asp"), {}, {{"Sec-Fetch-Site", "none"}}, 403, kRefused},
      // A referer that merely begins with our address is someone else's host.
      {ask("ProfileAdministrators.asp"), {}, {{"Referer", own + ".evil.example/"}}, 403, kRefused},
      {ask("ProfileAdministrators.asp"), {}, {}, 403, kRefused},
      {ask("http://evil.example/"), {}, same, 400, foreign},
      {ask("//evil.example/ProfileAdministrators.asp"), {}, same, 400, foreign},
      {ask("/ProfileAdministrators.asp"), {}, {{"Referer", own + "/Groups.asp"}}, 400, foreign},
      {members + "Administrators", {}, same, 200, not_profile},
      {members + "QZW3SVC9", {}, same, 200, no_group},
      // Another port of this host is same-site for the cookie, but another origin.
      {reflect, {}, {{"Sec-Fetch-Site", "same-site"}}, 403, kRefused},
      {reflect, {}, {{"Origin", "http://127.0.0.1:1"}}, 403, kRefused},
      // The row's own token comes first and wins over the session's.
      {post, with("csrf", std::string(64, 'a')), same, 403, kRefused},
      {post, with("csrf", ""), same, 403, kRefused},
      {"/AddUser.asp", {{"user", "bob"}, {"group", "QZW3SVC1"}, {"csrf", ""}}, same, 403, kRefused},
      {post, remove, {{"Sec-Fetch-Site", "same-site"}}, 403, kRefused},
      {post, remove, {{"Origin", own + ".evil.example"}}, 403, kRefused},
      // Only what MembersPage writes follows its page name: no second parameter, no header.
      {post, with("RedirPage", "Members.asp?GroupName=x&GroupName=y"), same, 400, foreign},
      {post, with("RedirPage", "Members.asp?GroupName=x\r\nSet-Cookie: a=b"), same, 400, foreign},
      {post, with("RedirPage", "Members.asp//evil.example"), same, 400, foreign},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path + " " + (row.headers.empty() ? "" : row.headers.begin()->second));
    httplib::Params form = row.form;
    form.emplace("csrf", v_.csrf);
    httplib::Headers headers = row.headers;
    headers.emplace("Cookie", v_.cookie);
    httplib::Result r = row.form.empty() ? server_->Client().Get(row.path.c_str(), headers)
                                         : server_->Client().Post(row.path.c_str(), headers, form);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, row.status);
    EXPECT_TRUE(Has(r, row.shown)) << r->body;
    EXPECT_FALSE(r->has_header("Location"));
    EXPECT_EQ(Members(), kAsFixed);
  }
}

TEST_F(PagesTest, AMemberIsListedAskedAboutAndRemovedWithItsNameKeptText) {
  const std::string query = Encode(kGroup);
  // The form that leads here from the groups page, as a browser submits it.
  httplib::Result groups = SameOriginGet("/Groups.asp");
  EXPECT_TRUE(Has(groups,
                  "method=get action=Members.asp id=show-members><label>Members of "
                  "<select name=GroupName id=members-group><option"));
  EXPECT_TRUE(Has(groups, std::string("<option value=\"") + kGroupInHtml + "\">" + kGroupInHtml));
  EXPECT_TRUE(Has(SameOriginGet("/editGroup.asp?GroupName=" + query),
                  std::string("<a href=\"") + kMembersPage + "\" id=group-members>"));

  httplib::Result list = SameOriginGet(std::string("/") + kMembersPage);
  ASSERT_EQ(list->status, 200);
  const std::string group_field =
      std::string("<input type=hidden name=GroupName value=\"") + kGroupInHtml + "\">";
  const std::string back_field =
      std::string("<input type=hidden name=RedirPage value=\"") + kMembersPage + "\">";
  EXPECT_TRUE(Has(list, std::string("<tr><td class=TableRow>") + kUserInHtml +
                            "</td><td class=TableRow><form method=get action=UserDelete.asp>" +
                            group_field + "<input type=hidden name=UserName value=\"" +
                            kUserInHtml + "\">" + back_field +
                            "<button type=submit>Remove</button></form></td></tr>"
                            "<tr><td class=TableRow>carol</td>"))
      << list->body;
  EXPECT_FALSE(Has(list, "<b>"));

  // What the button asks for, as a browser encodes its form.
  httplib::Result asked =
      SameOriginGet("/UserDelete.asp?GroupName=" + query + "&UserName=" + Encode(kUser) +
                    "&RedirPage=" + Encode(kMembersPage));
  ASSERT_EQ(asked->status, 200);
  EXPECT_TRUE(Has(asked, std::string("<p>Remove user ") + kUserInHtml + " from group " +
                             kGroupInHtml + "?</p>"))
      << asked->body;
  EXPECT_TRUE(Has(asked, std::string("<a href=\"") + kMembersPage + "\" id=cancel-remove>"));
  EXPECT_EQ(Members(), kAsFixed);

  httplib::Result removed = v_.Post(
      "/UserDelete.asp", {{"GroupName", kGroup}, {"UserName", kUser}, {"RedirPage", kMembersPage}});
  ASSERT_EQ(removed->status, 303);
  // The client hands the Location header over decoded.
  EXPECT_EQ(removed->get_header_value("Location"), std::string("Members.asp?GroupName=") + kGroup);
  EXPECT_EQ(Members(), "carol|carol");
  EXPECT_TRUE(Has(SameOriginGet(std::string("/") + kMembersPage),
                  std::string("class=\"message ok\">User ") + kUserInHtml + " removed from group " +
                      kGroupInHtml + ".</div>"));
  v_.Post("/UserDelete.asp",
          {{"GroupName", kGroup}, {"UserName", "carol"}, {"RedirPage", kMembersPage}});
  EXPECT_TRUE(Has(SameOriginGet(std::string("/") + kMembersPage),
                  "<p id=no-members>The group has no members.</p>"));
  AccountsFixture(server_->root())
      .Member(kComputer, kGroup, kUser)
      .Member(kComputer, kGroup, "carol");
}

TEST_F(PagesTest, OnlyLoopbackHostNamesAreAnswered) {
  EXPECT_EQ(server_->Client().Get("/login.asp", {{"Host", "evil.example:80"}})->status, 421);
  const std::string local = "localhost:" + std::to_string(server_->port());
  EXPECT_EQ(server_->Client().Get("/login.asp", {{"Host", local}})->status, 200);
}

TEST_F(PagesTest, ImportReportsEachLine) {
  const std::string body = ImportReport(
      "changes.txt", "+,bob,QZW3SVC1\n\nbob QZW3SVC1\r\n -,x,y\n*,<b>x</b>,y\n-,carol,QZW3SVC1");
  // The component's report comes through as its rows; their texts are the method's own test's.
  EXPECT_NE(body.find("<tr><td class=\"UserInfo2\">File: changes.txt opened successfully.</td></tr>"
                      "<tr><td class=\"UserInfo2\">Success: User bob added to Profile Group "
                      "QZW3SVC1</td></tr>"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("<tr><th>Line</th><th>Text</th><th>Why</th></tr>"
                      "<tr><td>2</td><td><code></code></td><td>The line is empty.</td></tr>"
                      "<tr><td>3</td><td><code>bob QZW3SVC1</code></td><td>The line has fewer "
                      "than two commas (a change is +,user,group or -,user,group).</td></tr>"
                      "<tr><td>4</td><td><code> -,x,y</code></td><td>The line starts with "
                      "neither + (add) nor - (remove).</td></tr>"
                      "<tr><td>5</td><td><code>*,&lt;b&gt;x&lt;/b&gt;,y</code></td><td>The line "
                      "starts with neither + (add) nor - (remove).</td></tr></table>"),
            std::string::npos)
      << body;
  EXPECT_EQ(AccountsFixture(server_->root()).Members(kComputer, "QZW3SVC1"), "bob");
  ImportReport("undo.txt", "+,carol,QZW3SVC1\n-,bob,QZW3SVC1\n");
  EXPECT_EQ(Members(), kAsFixed);
  // A report of many such lines lists the first hundred and counts the rest.
  EXPECT_NE(ImportReport("many.txt", std::string(150, '\n'))
                .find("<tr><td>100</td><td><code></code></td><td>The line is empty.</td></tr>"
                      "</table><p id=import-passed-over-more>50 more lines passed over.</p>"),
            std::string::npos);
}

// The report names the upload as the admin knows it, made safe, and never the server's folder
// it was stored in, which is gone when the page is answered.
TEST_F(PagesTest, ImportNamesTheUploadSafelyAndLeavesNoFolderBehind) {
  std::string accents;
  for (int i = 0; i < 2000; ++i) accents += "\u00e9";
  const std::vector<std::pair<std::string, std::string>> names = {
      {"../../etc/passwd", "passwd"},
      {"C:\\Users\\ann\\changes.txt", "changes.txt"},
      {"\"a'<script>alert(1)</script>", "script"},
      {"<script>alert(1).txt", "scriptalert(1).txt"},
      {". .\x01.\tprofile\x7f.txt", "profile.txt"},
      {std::string(5000, 'n'), std::string(100, 'n')},
      // Cut at a character's edge: 1 + 49 two-byte characters, not half of the 50th.
      {"x" + accents, std::string("x").append(accents, 0, 98)},
      {"", "import.txt"},
      {"../..", "import.txt"},
      {"/", "import.txt"},
  };
  const std::string tmp = server_->tmp().string();
  for (const auto& [name, shown] : names) {
    SCOPED_TRACE(name.substr(0, 40));
    const std::string body = ImportReport(name, "");
    EXPECT_NE(body.find("<table><tr><td class=\"UserInfo2\">File: " + shown +
                        " opened successfully.</td></tr></table>"),
              std::string::npos)
        << body.substr(0, 4000);
    EXPECT_EQ(body.find(tmp), std::string::npos);
    EXPECT_EQ(body.find("brindlecore-import"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(tmp));
  }
  // A name longer than a part's header may be is refused with the request, before anything is
  // stored.
  EXPECT_EQ(v_.Import(std::string(10000, 'n'), "+,bob,QZW3SVC1\n")->status, 400);
  EXPECT_TRUE(std::filesystem::is_empty(tmp));
  EXPECT_EQ(Members(), kAsFixed);
}

TEST_F(PagesTest, FilesAndUnknownAddresses) {
  v_.Post("/AddUser.asp", {{"user", "carol"}, {"group", "QZW3SVC1"}});  // already a member
  struct Case {
    std::string path;
    bool signed_in;
    int status;
    std::string type, start;
  };
  const Case cases[] = {
      {"/images/removeuser.gif", false, 200, "image/gif", "GIF89a"},
      {"/favicon.ico", false, 200, "image/svg+xml", "<svg "},
      {"/no/such/page.asp", true, 404, "text/html; charset=utf-8", "<!DOCTYPE html>"},
      {"/images/none.gif", true, 404, "text/html; charset=utf-8", "<!DOCTYPE html>"},
      {"/Groups.asp/x", false, 404, "text/html; charset=utf-8", "<!DOCTYPE html>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    httplib::Result r = c.signed_in ? v_.Get(c.path) : server_->Client().Get(c.path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, c.status);
    EXPECT_EQ(r->get_header_value("Content-Type"), c.type);
    EXPECT_EQ(r->body.rfind(c.start, 0), 0u) << r->body.substr(0, 100);
    if (c.status != 404) continue;
    // In the visitor's frame, at any depth with its look.
    EXPECT_TRUE(Has(r, "<p>Not found: there is no page at this address.</p>")) << r->body;
    EXPECT_TRUE(Has(r, "<link rel=stylesheet href=/style.css>"));
    EXPECT_EQ(Has(r, "Signed in as admin"), c.signed_in);
    EXPECT_EQ(Has(r, "<nav>"), c.signed_in);
  }
  // The message of the refused change is still there for the page it was meant for.
  EXPECT_TRUE(Has(v_.Get("/ProfileAdministrators.asp"), "class=\"message error\">"));
}

// The Web sites page: what it checks before calling the component, and each site's state.
TEST_F(PagesTest, SitesPageRefusesBadPortsAndMissingFoldersAndShowsStates) {
  const std::string folder = server_->root().string();
  const std::string port_error = "The port must be a number from 1 to 65535.";
  const std::string no_folder = "The folder " + folder + "/missing does not exist on this server.";
  // What was typed comes back in the form, as text.
  const std::string comment = "Zebra\"><b>";
  const std::string comment_kept = "name=comment value=\"Zebra&quot;&gt;&lt;b&gt;\"";
  struct Row {
    std::string page, field, value, message;
  } rows[] = {
      {"/CreateSite.asp", "port", "0", port_error},
      {"/CreateSite.asp", "port", "65536", port_error},
      {"/CreateSite.asp", "port", "8o", port_error},
      {"/CreateSite.asp", "port", "", port_error},
      {"/CreateSite.asp", "root", folder + "/missing", no_folder},
      {"/CreateSite.asp", "root", "", "Type the path of a folder on this server."},
      {"/CreateDir.asp", "path", folder + "/missing", no_folder},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.page + " " + row.field + "=" + row.value);
    httplib::Params form = {{"port", "8080"}, {"root", folder}, {"comment", comment},
                            {"site", "1"},    {"name", "v"},    {"path", folder}};
    form.erase(row.field);
    form.emplace(row.field, row.value);
    httplib::Result r = v_.Post(row.page, form);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400);
    EXPECT_TRUE(Has(r, "class=\"message error\">" + row.message + "</div>")) << r->body;
    EXPECT_TRUE(Has(r, "name=" + row.field + " value=\"" + row.value + "\""));
    EXPECT_TRUE(row.page != "/CreateSite.asp" || Has(r, comment_kept));
    EXPECT_FALSE(Has(v_.Get("/Sites.asp"), "Zebra")) << "nothing was created";
  }
  EXPECT_TRUE(Has(v_.Get("/Sites.asp"), "<td class=TableRow>stopped</td>"));
  v_.Post("/StartSite.asp", {{"site", "1"}});
  EXPECT_TRUE(
      Has(v_.Get("/Sites.asp"), "started <a class=site-link href=\"http://127.0.0.1:80/\">"));
}

TEST(ServeTest, EachRequestIsOneEscapedLineWithoutQueryOrPassword) {
  ServedRoot server;
  Visitor admin(server);
  ASSERT_EQ(admin.SignIn("admin", "admin-pw")->status, 303);
  admin.Get("/Groups.asp?ListUsers=secret-query", {{"Sec-Fetch-Site", "same-origin"}});
  server.Client().Get("/a%0Abrindlecore:%20GET%20/forged%22%5C?password=secret-query");
  Visitor(server).SignIn("ad\"min\nbrindlecore: forged", "wrong-pw-1");
  Visitor(server).SignIn("carol", "wrong-pw-2");
  const std::string lines[] = {
      R"(POST /login\.asp 303 \d+ms "admin")",
      R"(GET /Default\.asp 200 \d+ms "admin")",
      R"(GET /Groups\.asp 200 \d+ms "admin")",
      R"(GET /a\\x0abrindlecore:\\x20GET\\x20/forged\\x22\\x5c 404 \d+ms -)",
      R"(POST /login\.asp 401 \d+ms - sign-in failed for "ad\\x22min\\x0abrindlecore: forged")"
      R"( from 127\.0\.0\.1)",
      R"(POST /login\.asp 401 \d+ms - sign-in failed for "carol" from 127\.0\.0\.1)",
  };
  std::string log;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::count(log.begin(), log.end(), '\n') < std::ssize(lines) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    log = server.Log();
  }
  // A line is written once its answer is sent, so a redirect's line may follow the next page's.
  std::vector<std::string> written;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) written.push_back(line);
  EXPECT_EQ(written.size(), std::size(lines)) << log;
  for (const std::string& expected : lines) {
    const std::regex pattern("brindlecore: " + expected);
    EXPECT_TRUE(std::any_of(written.begin(), written.end(),
                            [&](const std::string& l) { return std::regex_match(l, pattern); }))
        << expected << "\n"
        << log;
  }
  for (const char* secret : {"admin-pw", "wrong-pw", "secret-query", "bc_session"}) {
    EXPECT_EQ(log.find(secret), std::string::npos) << secret;
  }
}

}  // namespace
}  // namespace brindlecore::testing
