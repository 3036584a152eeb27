// The administration pages as a browser meets them: sign-in, sessions, the guards on every
// state-changing request, the pages that carry the component's rows and the Web sites form.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "host/served_root.h"
#include "platform/automation/errors.h"
#include "support/winnt_fixture.h"

namespace brindlecore::testing {
namespace {

class PagesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new ServedRoot(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  std::string Members(const std::string& group) {
    return AccountsFixture(server_->root()).Members(kComputer, group);
  }
  static ServedRoot* server_;
};

ServedRoot* PagesTest::server_ = nullptr;

TEST_F(PagesTest, ServerAdministratorSignsInWithAStrictHttpOnlyCookie) {
  Visitor v(*server_);
  httplib::Result r = v.SignIn("admin", "admin-pw");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 303);
  EXPECT_EQ(r->get_header_value("Location"), "ProfileAdministrators.asp");
  const std::string cookie = r->get_header_value("Set-Cookie");
  EXPECT_NE(cookie.find("; HttpOnly"), std::string::npos) << cookie;
  EXPECT_NE(cookie.find("; SameSite=Strict"), std::string::npos) << cookie;
  EXPECT_EQ(cookie.find("admin-pw"), std::string::npos);
  EXPECT_EQ(v.csrf.size(), 64u);

  httplib::Result page = v.Get("/ProfileAdministrators.asp");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  // The component's row for carol, re-written with its values escaped.
  EXPECT_NE(page->body.find("<tr><td class=\"TableRow\" width=\"115\">carol</td>"
                            "<td class=\"TableRow\" width=\"150\">Carol Chen</td>"
                            "<td class=\"TableRow\">QZW3SVC1<a href=\"./UserDelete.asp?"
                            "GroupName=QZW3SVC1&amp;UserName=carol&amp;RedirPage="
                            "ProfileAdministrators.asp\" class=\"ActionItem\">"),
            std::string::npos)
      << page->body;
  const std::string policy = page->get_header_value("Content-Security-Policy");
  EXPECT_NE(policy.find("script-src 'self';"), std::string::npos) << policy;
  EXPECT_EQ(policy.find("unsafe-inline"), std::string::npos) << policy;
}

TEST_F(PagesTest, ReflectedValuesStayTextAndOtherOriginsCannotAskForThem) {
  Visitor v(*server_);
  ASSERT_EQ(v.SignIn("admin", "admin-pw")->status, 303);
  const std::string payload = "x');alert(1);//<script>alert(2)</script>";
  const std::string path = "/Groups.asp?ListUsers=" + httplib::detail::encode_query_param(payload);
  httplib::Result page = v.Get(path, {{"Sec-Fetch-Site", "same-origin"}});
  ASSERT_TRUE(page);
  ASSERT_EQ(page->status, 200);
  EXPECT_EQ(page->body.find("<script>alert"), std::string::npos);
  EXPECT_EQ(page->body.find("alert(1);//'"), std::string::npos);
  EXPECT_NE(page->body.find("data-call=\"updateField\" data-arg=\"bob\" data-arg2=\"x&#39;);"
                            "alert(1);//&lt;script&gt;alert(2)&lt;/script&gt;\""),
            std::string::npos)
      << page->body;
  // Another port of this host is same-site for the cookie, but another origin.
  for (const char* site : {"same-site", "cross-site"}) {
    httplib::Result refused = v.Get(path, {{"Sec-Fetch-Site", site}});
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 403) << site;
  }
  httplib::Result other_port = v.Get(path, {{"Origin", "http://127.0.0.1:1"}});
  ASSERT_TRUE(other_port);
  EXPECT_EQ(other_port->status, 403);
}

TEST_F(PagesTest, RefusedSignInsShowTheComponentsTextAndStartNoSession) {
  struct Case {
    std::string user, password, login_type, shown, hint;
  };
  const auto& logon = errors::kErrorLogonFailure;
  const std::string logon_text = " - " + NumberText(logon.number) + "," + std::string(logon.text);
  const std::string check_password =
      "Check the user name and the password (capitals count). brindlecore user list TESTPC "
      "lists this computer&#39;s accounts; brindlecore user passwd TESTPC NAME sets a new "
      "password.";
  const Case cases[] = {
      {"admin", "wrong", "ServerAdministrator", logon_text, check_password},
      {"nobody", "pw", "ServerAdministrator", logon_text, check_password},
      // The password is right, but carol holds no server administrator rights.
      {"carol", "carol-pw", "ServerAdministrator",
       "User Authenticated, but Group Membership Incorrect for Server Administrator.",
       "The password is right, but the account is not a member of Administrators: brindlecore "
       "group addmember TESTPC Administrators carol adds it."},
      {"admin", "admin-pw", "ProfileAdministrator",
       "User Authenticated, but Group Membership Incorrect for Profile Administrator.",
       "The password is right, but the account belongs to no profile group: a server "
       "administrator adds it on the Profile administrators page."},
      {"admin", "", "ServerAdministrator", " - -1,Invalid Password - 0 Length String", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user + "/" + c.password + "/" + c.login_type);
    Visitor v(*server_);
    httplib::Result r = v.SignIn(c.user, c.password, c.login_type);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 401);
    EXPECT_FALSE(r->has_header("Set-Cookie"));
    // The component's text as it gave it, and the hint as a line of its own.
    const std::string hint = c.hint.empty() ? "" : "<p class=hint id=bc-hint>" + c.hint + "</p>\n";
    EXPECT_NE(r->body.find("class=\"message error\">" + c.shown + "</div>\n" + hint + "<div"),
              std::string::npos)
        << r->body;
  }
}

TEST_F(PagesTest, ValuesTheHostWritesAreEscaped) {
  Visitor v(*server_);
  httplib::Result r = v.SignIn("<b>\"x\"</b>", "pw");
  ASSERT_TRUE(r);
  EXPECT_NE(r->body.find("value=\"&lt;b&gt;&quot;x&quot;&lt;/b&gt;\""), std::string::npos);
  EXPECT_EQ(r->body.find("<b>\"x\""), std::string::npos);
}

TEST_F(PagesTest, SignInOffersAndAcceptsOnlyTheConfiguredDirectories) {
  httplib::Result form = server_->Client().Get("/login.asp");
  ASSERT_TRUE(form);
  EXPECT_NE(form->body.find("<select name=directory id=directory><option "
                            "value=\"WinNT://TESTPC\">This computer (WinNT://TESTPC)</option>"
                            "</select>"),
            std::string::npos)
      << form->body;
  // A directory the visitor names would answer the password check and the group walk itself.
  for (const char* directory : {"LDAP://127.0.0.1:1/DC=evil,DC=test", "LDAP://RootDSE",
                                "WinNT://OTHERPC", "winnt://TESTPC", "local", ""}) {
    SCOPED_TRACE(directory);
    httplib::Result r = server_->Client().Post(
        "/login.asp", {{"Origin", server_->origin()}},
        httplib::Params{{"username", "admin"}, {"password", "admin-pw"}, {"directory", directory}});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400);
    EXPECT_FALSE(r->has_header("Set-Cookie"));
    EXPECT_NE(r->body.find("Choose one of the offered directories."), std::string::npos);
  }
}

TEST(ConfiguredDirectoriesTest, TheSignInOffersTheListOfPlatformConf) {
  ServedRoot server(
      "signin.delay_ms = 0\nhost.directories = Head office | LDAP://DC=corp,DC=example ;"
      " WinNT://TESTPC;\n");
  httplib::Result form = server.Client().Get("/login.asp");
  ASSERT_TRUE(form);
  EXPECT_NE(form->body.find("<option value=\"LDAP://DC=corp,DC=example\">Head office</option>"
                            "<option value=\"WinNT://TESTPC\">WinNT://TESTPC</option></select>"),
            std::string::npos)
      << form->body;
  EXPECT_EQ(Visitor(server).SignIn("admin", "admin-pw")->status, 303);
  // No ldap.uri: the sign-in says which keys to set.
  httplib::Result ldap =
      server.Client().Post("/login.asp", {{"Origin", server.origin()}},
                           httplib::Params{{"username", "CORP\\admin"},
                                           {"password", "pw"},
                                           {"directory", "LDAP://DC=corp,DC=example"}});
  ASSERT_TRUE(ldap);
  EXPECT_EQ(ldap->status, 401);
  EXPECT_NE(ldap->body.find("The server is not operational.</div>\n<p class=hint id=bc-hint>No "
                            "directory server is set up: set ldap.uri in platform.conf"),
            std::string::npos)
      << ldap->body;
}

// Posts `content` as an upload named `name` to the import page.
httplib::Result PostImport(Visitor& v, const std::string& name, const std::string& content) {
  httplib::MultipartFormDataItems items = {
      {"csrf", v.csrf, "", ""},
      {"file", content, name, "text/plain"},
  };
  return v.server.Client().Post("/Import.asp",
                                {{"Cookie", v.cookie}, {"Sec-Fetch-Site", "same-origin"}}, items);
}

// The report page's body.
std::string Import(Visitor& v, const std::string& name, const std::string& content) {
  httplib::Result r = PostImport(v, name, content);
  if (!r) return "no answer";
  EXPECT_EQ(r->status, 200) << r->body;
  return r->body;
}

TEST_F(PagesTest, OversizedFieldsAreRefusedBeforeTheComponentIsCalled) {
  Visitor v(*server_);
  ASSERT_EQ(v.SignIn("admin", "admin-pw")->status, 303);
  const std::string long_name(257, 'b');
  struct Case {
    std::string user, password;
    int status;
    std::string shown;
  };
  const Case signins[] = {
      {long_name, "pw", 400, "The user name is too long (at most 256 characters)."},
      {"admin", std::string(257, 'p'), 400, "The password is too long (at most 256 characters)."},
      // Beyond the largest form the pages read at all.
      {std::string("'").append(100000, '('), "pw", 413, "The request is too large."},
      // At the cap, and 256 two-byte characters: the component's own refusal.
      {std::string(256, 'b'), "pw", 401, "Logon failure"},
      {[] {
         std::string s;
         for (int i = 0; i < 256; ++i) s += "\xc3\xa9";
         return s;
       }(),
       "pw", 401, "Logon failure"},
  };
  for (const Case& c : signins) {
    SCOPED_TRACE(c.user.size());
    Visitor stranger(*server_);
    httplib::Result r = stranger.SignIn(c.user, c.password);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, c.status);
    EXPECT_NE(r->body.find(c.shown), std::string::npos) << r->body.substr(0, 2000);
  }
  httplib::Result add = v.Post("/AddUser.asp", {{"user", long_name}, {"group", "QZW3SVC1"}});
  ASSERT_TRUE(add);
  EXPECT_EQ(add->status, 400);
  EXPECT_NE(add->body.find("The user name is too long"), std::string::npos);
  EXPECT_EQ(v.Get(std::string("/Groups.asp?ListUsers=").append(300, 'G'))->status, 400);
  httplib::Result import = PostImport(v, "big.txt", std::string((1 << 20) + 1, '\n'));
  ASSERT_TRUE(import);
  EXPECT_EQ(import->status, 400);
  EXPECT_NE(import->body.find("The import file is too long"), std::string::npos);
  EXPECT_EQ(Members("QZW3SVC1"), "carol");
}

TEST_F(PagesTest, ProfileAdministratorSeesOnlyTheirProfiles) {
  Visitor v(*server_);
  httplib::Result r = v.SignIn("carol", "carol-pw", "ProfileAdministrator");
  ASSERT_TRUE(r);
  ASSERT_EQ(r->status, 303);
  EXPECT_EQ(r->get_header_value("Location"), "Default.asp");
  httplib::Result home = v.Get("/Default.asp");
  ASSERT_TRUE(home);
  EXPECT_NE(home->body.find("<td class=TableRow>W3SVC1</td><td class=TableRow>Sales</td>"),
            std::string::npos)
      << home->body;
  EXPECT_EQ(home->body.find("Groups.asp"), std::string::npos);

  for (const char* page :
       {"/ProfileAdministrators.asp", "/Groups.asp", "/Users.asp", "/Import.asp", "/Sites.asp",
        "/editGroup.asp?GroupName=QZW3SVC1", "/Members.asp?GroupName=QZW3SVC1"}) {
    httplib::Result denied = v.Get(page);
    ASSERT_TRUE(denied);
    EXPECT_EQ(denied->status, 403) << page;
  }
  httplib::Result add = v.Post("/AddUser.asp", {{"user", "bob"}, {"group", "QZW3SVC1"}});
  ASSERT_TRUE(add);
  EXPECT_EQ(add->status, 403);
  EXPECT_EQ(Members("QZW3SVC1"), "carol");
}

// The happy path of adding and removing (message, return page, confirmation) is the browser
// test's; here, only what a forged request must not do.
TEST_F(PagesTest, StateChangesNeedTheSessionsToken) {
  Visitor v(*server_);
  ASSERT_EQ(v.SignIn("admin", "admin-pw")->status, 303);
  httplib::Result forged =
      v.Post("/AddUser.asp",
             {{"user", "bob"}, {"group", "QZW3SVC1"}, {"csrf", std::string(64, 'a')}}, false);
  ASSERT_TRUE(forged);
  EXPECT_EQ(forged->status, 403);
  const httplib::Params remove_carol = {
      {"GroupName", "QZW3SVC1"}, {"UserName", "carol"}, {"RedirPage", "Groups.asp"}};
  EXPECT_EQ(v.Post("/UserDelete.asp", remove_carol, false)->status, 403);
  EXPECT_EQ(Members("QZW3SVC1"), "carol");
}

TEST_F(PagesTest, UserDeleteRefusesOtherSitesAndForeignReturnPages) {
  Visitor v(*server_);
  ASSERT_EQ(v.SignIn("admin", "admin-pw")->status, 303);
  const std::string own = server_->origin();
  struct Case {
    std::string redirect;
    httplib::Headers headers;
    int status;
  };
  const Case cases[] = {
      // A typed or bookmarked address (cross-site ones are the reflected pages' test): it
      // offers a removal no page of ours asked for.
      {"ProfileAdministrators.asp", {{"Sec-Fetch-Site", "none"}}, 403},
      {"ProfileAdministrators.asp", {{"Origin", "http://evil.example"}}, 403},
      {"ProfileAdministrators.asp", {{"Referer", "http://evil.example/page"}}, 403},
      // A referer that merely begins with our address is someone else's host.
      {"ProfileAdministrators.asp", {{"Referer", own + ".evil.example/"}}, 403},
      {"ProfileAdministrators.asp", {}, 403},
      {"http://evil.example/", {{"Sec-Fetch-Site", "same-origin"}}, 400},
      {"//evil.example/ProfileAdministrators.asp", {{"Sec-Fetch-Site", "same-origin"}}, 400},
      {"/ProfileAdministrators.asp", {{"Referer", own + "/Groups.asp"}}, 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.redirect);
    httplib::Result r = v.Get("/UserDelete.asp?GroupName=QZW3SVC1&UserName=carol&RedirPage=" +
                                  httplib::detail::encode_query_param(c.redirect),
                              c.headers);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, c.status);
    EXPECT_FALSE(r->has_header("Location"));
    EXPECT_EQ(Members("QZW3SVC1"), "carol");
  }
}

TEST_F(PagesTest, OnlyLoopbackHostNamesAreAnswered) {
  httplib::Result rebound = server_->Client().Get("/login.asp", {{"Host", "evil.example:80"}});
  ASSERT_TRUE(rebound);
  EXPECT_EQ(rebound->status, 421);
  httplib::Result local = server_->Client().Get(
      "/login.asp", {{"Host", "localhost:" + std::to_string(server_->port())}});
  ASSERT_TRUE(local);
  EXPECT_EQ(local->status, 200);
}

TEST_F(PagesTest, SignOutEndsTheSession) {
  Visitor v(*server_);
  ASSERT_EQ(v.SignIn("admin", "admin-pw")->status, 303);
  EXPECT_EQ(v.Post("/logout.asp", {}, false)->status, 403);
  httplib::Result out = v.Post("/logout.asp", {});
  ASSERT_TRUE(out);
  EXPECT_EQ(out->status, 303);
  EXPECT_NE(out->get_header_value("Set-Cookie").find("Max-Age=0"), std::string::npos);
  // The old cookie is no session: the page leads to the sign-in.
  httplib::Result after = v.Get("/ProfileAdministrators.asp");
  EXPECT_EQ(after->status, 303);
  EXPECT_EQ(after->get_header_value("Location"), "login.asp");
}

TEST_F(PagesTest, ImportReportsEachLineAndKeepsNoCopyOfTheUpload) {
  Visitor v(*server_);
  ASSERT_EQ(v.SignIn("admin", "admin-pw")->status, 303);
  const std::string body = Import(
      v, "changes.txt", "+,bob,QZW3SVC1\n\nbob QZW3SVC1\r\n -,x,y\n*,<b>x</b>,y\n-,carol,QZW3SVC1");
  EXPECT_NE(body.find("<tr><td class=\"UserInfo2\">File: changes.txt opened successfully.</td></tr>"
                      "<tr><td class=\"UserInfo2\">Success: User bob added to Profile Group "
                      "QZW3SVC1</td></tr>"
                      "<tr><td class=\"UserInfo2\">Success: User carol removed from Profile Group "
                      "QZW3SVC1</td></tr></table>"),
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
  EXPECT_EQ(Members("QZW3SVC1"), "bob");
  // Put the fixture back for the other tests.
  Import(v, "undo.txt", "+,carol,QZW3SVC1\n-,bob,QZW3SVC1\n");
  EXPECT_EQ(Members("QZW3SVC1"), "carol");

  // A report of many such lines lists the first hundred and counts the rest.
  const std::string many = Import(v, "many.txt", std::string(150, '\n'));
  EXPECT_NE(many.find("<tr><td>100</td><td><code></code></td><td>The line is empty.</td></tr>"
                      "</table><p id=import-passed-over-more>50 more lines passed over.</p>"),
            std::string::npos)
      << many;
}

// The report names the upload as the admin knows it, made safe, and never the server's folder
// it was stored in, which is gone when the page is answered.
TEST_F(PagesTest, ImportNamesTheUploadSafelyAndLeavesNoFolderBehind) {
  Visitor v(*server_);
  ASSERT_EQ(v.SignIn("admin", "admin-pw")->status, 303);
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
    const std::string body = Import(v, name, "");
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
  httplib::Result refused = PostImport(v, std::string(10000, 'n'), "+,bob,QZW3SVC1\n");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 400);
  EXPECT_TRUE(std::filesystem::is_empty(tmp));
  EXPECT_EQ(Members("QZW3SVC1"), "carol");
}

TEST_F(PagesTest, StaticFilesTheRowsNameAreServed) {
  for (const char* path :
       {"/images/removeuser.gif", "/images/adduser.gif", "/images/listusers.gif"}) {
    httplib::Result r = server_->Client().Get(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << path;
    EXPECT_EQ(r->get_header_value("Content-Type"), "image/gif");
    EXPECT_EQ(r->body.substr(0, 6), "GIF89a");
  }
  httplib::Result css = server_->Client().Get("/style.css");
  for (const char* cls : {".TableRow", ".UserInfo2", ".UserInfo4", ".ActionItem", ".graybghl",
                          ".ItemSelect", ".UserInput"}) {
    EXPECT_NE(css->body.find(cls), std::string::npos) << cls;
  }
}

TEST_F(PagesTest, UnknownAddressesSayNotFoundInTheVisitorsFrameAndKeepTheMessage) {
  Visitor v(*server_);
  ASSERT_EQ(v.SignIn("admin", "admin-pw")->status, 303);
  v.Post("/AddUser.asp", {{"user", "carol"}, {"group", "QZW3SVC1"}});  // already a member
  const std::string text = "<p>Not found: there is no page at this address.</p>";
  struct Case {
    std::string path;
    bool signed_in;
  };
  for (const Case& c : {Case{"/no/such/page.asp", true}, Case{"/images/none.gif", true},
                        Case{"/Groups.asp/x", false}}) {
    SCOPED_TRACE(c.path);
    httplib::Result r = c.signed_in ? v.Get(c.path) : server_->Client().Get(c.path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 404);
    EXPECT_NE(r->body.find(text), std::string::npos) << r->body;
    // At any depth the page keeps its look.
    EXPECT_NE(r->body.find("<link rel=stylesheet href=/style.css>"), std::string::npos);
    EXPECT_EQ(r->body.find("Signed in as admin") != std::string::npos, c.signed_in);
    EXPECT_EQ(r->body.find("<nav>") != std::string::npos, c.signed_in);
  }
  // The message of the refused change is still there for the page it was meant for.
  EXPECT_NE(v.Get("/ProfileAdministrators.asp")->body.find("class=\"message error\">"),
            std::string::npos);

  httplib::Result icon = server_->Client().Get("/favicon.ico");
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->status, 200);
  EXPECT_EQ(icon->get_header_value("Content-Type"), "image/svg+xml");
  EXPECT_EQ(icon->body.rfind("<svg ", 0), 0u);
}

// The Web sites page: what it checks before calling the component, and each site's state.
TEST_F(PagesTest, SitesPageRefusesBadPortsAndMissingFoldersAndShowsStates) {
  Visitor v(*server_);
  ASSERT_EQ(v.SignIn("admin", "admin-pw")->status, 303);
  const std::string folder = server_->root().string();
  const std::string port_error = "The port must be a number from 1 to 65535.";
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
      {"/CreateSite.asp", "root", folder + "/missing",
       "The folder " + folder + "/missing does not exist on this server."},
      {"/CreateSite.asp", "root", "", "Type the path of a folder on this server."},
      {"/CreateDir.asp", "path", folder + "/missing",
       "The folder " + folder + "/missing does not exist on this server."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.page + " " + row.field + "=" + row.value);
    httplib::Params form = {{"port", "8080"}, {"root", folder}, {"comment", comment},
                            {"site", "1"},    {"name", "v"},    {"path", folder}};
    form.erase(row.field);
    form.emplace(row.field, row.value);
    httplib::Result r = v.Post(row.page, form);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400);
    EXPECT_NE(r->body.find("class=\"message error\">" + row.message + "</div>"), std::string::npos)
        << r->body;
    EXPECT_NE(r->body.find("name=" + row.field + " value=\"" + row.value + "\""),
              std::string::npos);
    if (row.page == "/CreateSite.asp") {
      EXPECT_NE(r->body.find(comment_kept), std::string::npos);
    }
    EXPECT_EQ(v.Get("/Sites.asp")->body.find("Zebra"), std::string::npos) << "nothing was created";
  }

  EXPECT_NE(v.Get("/Sites.asp")->body.find("<td class=TableRow>stopped</td>"), std::string::npos);
  v.Post("/StartSite.asp", {{"site", "1"}});
  EXPECT_NE(
      v.Get("/Sites.asp")->body.find("started <a class=site-link href=\"http://127.0.0.1:80/\">"),
      std::string::npos);
}

TEST(SignInThrottleTest, TheRightPasswordIsRefusedWhileANameIsLockedAndUnknownNamesLookTheSame) {
  ServedRoot server(
      "signin.delay_ms = 0\nsignin.lockout_after = 3\nsignin.lockout_seconds = 2\n"
      "signin.address_lockout_after = 0\n");
  auto message = [](const httplib::Result& r) {
    const size_t at = r->body.find("id=bc-message");
    return r->body.substr(at, r->body.find("</div>", at) - at);
  };
  std::string locked_message;
  for (const char* name : {"admin", "nosuchuser"}) {
    SCOPED_TRACE(name);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Visitor(server).SignIn(name, "wrong")->status, 401);
    httplib::Result locked = Visitor(server).SignIn(name, "admin-pw");
    ASSERT_TRUE(locked);
    EXPECT_EQ(locked->status, 429);
    EXPECT_FALSE(locked->has_header("Set-Cookie"));
    EXPECT_NE(message(locked).find("Too many failed sign-ins"), std::string::npos);
    if (locked_message.empty()) locked_message = message(locked);
    EXPECT_EQ(message(locked), locked_message);
  }
  // The lockout ends by itself; only a hang would miss the generous deadline.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    status = Visitor(server).SignIn("admin", "admin-pw")->status;
    if (status != 429) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  EXPECT_EQ(status, 303);
}

}  // namespace
}  // namespace brindlecore::testing
