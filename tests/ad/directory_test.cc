// The domain controller behind the searches and the listings, and `brindlecore ldap check`
// against it with good and broken set-ups.
#include <gtest/gtest.h>

#include <fstream>

#include "ad/dc.h"
#include "support/command.h"

namespace brindlecore::testing {
namespace {

// The domain's root answers a subtree search with a continuation reference to the configuration
// partition ("ldaps://example.test/CN=Configuration,..."); through the relay, a search under a
// base that another server holds is answered with a referral result to it. Which searches follow
// them, and how: the rows' paths joined with ";", or "!" and the error.
TEST(AdDirectory, ReferralsChasedAsAskedWithTheSearchCredentials) {
  Listener relay(Listener::Mode::kRelay);
  const auto search = [](AdCase& ad, int chase, const std::string& base) -> std::string {
    try {
      auto connection = ad.platform->NewConnection();
      connection->SetProvider("ADsDSOObject");
      connection->SetProperty("User ID", Variant("alice"));
      connection->SetProperty("Password", Variant(kUserPassword));
      connection->Open("Active Directory Provider", "", "", -1);
      auto command = connection->CreateCommand();
      command->SetCommandText("<LDAP://" + base +
                              ">;(objectClass=crossRefContainer);ADsPath;subtree");
      command->SetProperty("Chase referrals", Variant(int32_t{chase}));
      auto rows = command->Execute();
      std::string paths;
      for (; !rows->Eof(); rows->MoveNext()) paths += ToText(rows->Field("ADsPath")) + ";";
      return paths;
    } catch (const AutomationError& e) {
      return "!" + e.description;
    }
  };
  struct Case {
    int chase;
    bool external;               // a referral result through the relay, else the reference
    std::string domain_address;  // what example.test resolves to
    std::string allowed;
    bool found;
  };
  const std::vector<Case> cases = {
      {0, false, "127.0.0.1", "example.test", false},
      {32, false, "127.0.0.1", "example.test", true},
      {64, false, "127.0.0.1", "example.test", false},
      {96, false, "127.0.0.1", "example.test", true},
      {96, false, "127.0.0.1", "", false},  // the referred-to server is not allowed
      {96, false, "", "example.test", false},
      {96, false, "127.0.0.2", "example.test", false},
      {0, true, "127.0.0.1", "example.test", false},
      {32, true, "127.0.0.1", "example.test", false},
      {64, true, "127.0.0.1", "example.test", true},
      {96, true, "127.0.0.1", "example.test", true},
      {96, true, "", "example.test", false},
  };
  for (const Case& c : cases) {
    SambaDc::Get().ResolveDomainNameTo(c.domain_address);
    std::vector<std::string> config = LdapsConfig();
    if (c.external) config[0] = "ldap.uri = ldap://" + relay.server();
    if (!c.allowed.empty()) config.push_back("ldap.allowed_servers = " + c.allowed);
    AdCase ad(config);
    EXPECT_EQ(search(ad, c.chase, c.external ? kForeignBase : kDomainDn),
              c.found ? "LDAP://CN=Partitions,CN=Configuration,DC=example,DC=test;" : "")
        << c.chase << (c.external ? " external " : " ") << c.domain_address << " " << c.allowed;
  }
  SambaDc::Get().ResolveDomainNameTo("127.0.0.1");
}

// The domain answers at most 1,000 entries a page: both kinds of listing must read every page,
// and the overview must still find a domain user's local profile groups. (The rows' markup is
// checked against slapd.)
TEST(AdDirectory, ListingsReadPastOnePage) {
  AdCase ad;
  ad.accounts.Group(kComputer, "QZW3SVC2");
  // A domain account joins a local group only through the domain, as the pages add one.
  ASSERT_EQ(CallMethod(*ad.platform, "AddUserToGroup",
                       {Val(Variant("LDAP://RootDSE")), Val(Variant(kComputer)),
                        Val(Variant("EXAMPLE\\alice")), Val(Variant("QZW3SVC2")), Ref(Variant(""))})
                .result,
            Variant(true));
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"false", "EXAMPLE\\member1600</a>"},
      {"true",
       "EXAMPLE\\alice</TD><TD class=TableRow>Alice Smith</TD><TD class=TableRow>QZW3SVC2;<"},
  };
  for (const auto& [show_groups, row] : cases) {
    CallOutcome out =
        CallMethod(*ad.platform, "GetAllUsers",
                   {Val(Variant("LDAP://RootDSE")), Val(Variant(kComputer)),
                    Val(Variant("QZW3SVC2")), Val(Variant(show_groups)), Ref(Variant(""))});
    ASSERT_EQ(out.text(4), "");
    const std::string html = ToText(out.result);
    size_t count = 0;
    for (size_t at = html.find("<TR>"); at != std::string::npos; at = html.find("<TR>", at + 1))
      ++count;
    EXPECT_GT(count, static_cast<size_t>(kBulkMembers));
    EXPECT_NE(html.find(row), std::string::npos) << row;
  }
}

// The first line names the server, the last gives the verdict; each step between says what was
// seen and, when it failed, what to fix.
TEST(AdDirectory, LdapCheckExplainsEachStep) {
  const std::string ca = "ldap.tls_cacert = " + SambaDc::Get().ca_file().string();
  const std::string dc1 = "ldaps://dc1.example.test";
  const std::string unused = std::to_string(FreePort());
  const std::string reached =
      "  ok    resolve dc1.example.test: 127.0.0.1\n"
      "  ok    connect to 127.0.0.1 port 636: connected\n";
  const std::string trusted = reached +
                              "  ok    TLS (ldaps): certificate trusted, names: CN "
                              "dc1.example.test, DNS dc1.example.test, DNS example.test\n";
  const std::string service = std::string("  ok    bind as ") + kServiceDn + ": accepted\n";
  struct Case {
    std::string uri, ca;
    std::string password_file_text;  // "" keeps the right one
    std::string user;                // "" checks no user
    std::string steps;
  };
  const std::vector<Case> cases = {
      {dc1, ca, "", "alice",
       trusted + service +
           "  ok    RootDSE naming context: DC=example,DC=test\n"
           "  ok    search (sAMAccountName=alice): CN=Alice Smith,CN=Users,DC=example,DC=test\n"
           "  ok    bind as CN=Alice Smith,CN=Users,DC=example,DC=test: password accepted\n"},
      {dc1, "ldap.tls_cacert = /nonexistent/ca.pem", "", "",
       reached + "  FAIL  TLS: the CA file \"/nonexistent/ca.pem\" cannot be read\n"
                 "        to fix: set ldap.tls_cacert to the PEM file of the CA that signed the "
                 "server's certificate\n"},
      {dc1, ca, "not-the-password\n", "",
       trusted + "  FAIL  bind as " + kServiceDn +
           ": Invalid credentials (wrong password)\n"
           "        to fix: check ldap.bind_dn and the password in the file "
           "ldap.bind_password_file names\n"},
      {"ldaps://127.0.0.1:" + unused, ca, "", "",
       "  ok    resolve 127.0.0.1: 127.0.0.1\n"
       "  FAIL  connect to 127.0.0.1 port " +
           unused +
           ": Connection refused\n"
           "        to fix: check that the directory server runs and that no firewall blocks "
           "the port; ldaps listens on 636, ldap on 389\n"},
      {"ldaps://nosuch.example.test", ca, "", "",
       "  FAIL  resolve nosuch.example.test: Temporary failure in name resolution\n"
       "        to fix: check the host name in ldap.uri and that DNS (or /etc/hosts) knows it\n"},
      {"ldap://dc1.example.test", ca, "", "",
       "  ok    resolve dc1.example.test: 127.0.0.1\n"
       "  ok    connect to 127.0.0.1 port 389: connected\n"
       "  note  no TLS: passwords cross the network in clear text; Active Directory refuses "
       "them (use ldaps:// or ldap.starttls = demand)\n"
       "  FAIL  bind as " +
           std::string(kServiceDn) +
           ": Strong(er) authentication required (BindSimple: Transport encryption required.)\n"
           "        to fix: the server takes passwords only over TLS: use an ldaps:// URI in "
           "ldap.uri or set ldap.starttls = demand\n"},
  };
  for (const Case& c : cases) {
    AdCase ad({"ldap.uri = " + c.uri, c.ca});
    if (!c.password_file_text.empty()) {
      std::ofstream(ad.dir.path() / "ldap-service.password", std::ios::trunc)
          << c.password_file_text;
    }
    std::vector<std::string> args = {"ldap", "check"};
    if (!c.user.empty()) args.push_back(c.user);
    CommandOutcome out = RunCommand(ad.dir.path(), args, std::string(kUserPassword) + "\n");
    const bool passed = c.steps.find("  FAIL  ") == std::string::npos;
    EXPECT_EQ(out.status, passed ? 0 : 1) << out.err;
    EXPECT_EQ(out.out,
              c.uri + "\n" + c.steps + (passed ? "all steps passed\n" : "some steps failed\n"));
  }
}

}  // namespace
}  // namespace brindlecore::testing
