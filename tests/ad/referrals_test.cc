// The domain's root answers a subtree search with a continuation reference to the configuration
// partition ("ldaps://example.test/CN=Configuration,..."); which searches follow it, and how.
#include <gtest/gtest.h>

#include "ad/ad_case.h"
#include "ad/listener.h"

namespace brindlecore::testing {
namespace {

constexpr char kPartitions[] = "LDAP://CN=Partitions,CN=Configuration,DC=example,DC=test";

// The rows' paths joined with ";", or "!" and the error.
std::string Search(AdCase& ad, int chase, const std::string& base) {
  try {
    auto connection = ad.platform().NewConnection();
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
}

// Through the relay, a search under a base that another server holds is answered with a
// referral result to it (external); from the domain's root, the DC's own continuation reference
// (subordinate).
TEST(AdReferrals, ChasedAsAskedWithTheSearchCredentials) {
  Listener relay(Listener::Mode::kRelay);
  struct Case {
    const char* name;
    int chase;
    bool external;
    std::string domain_address;  // what example.test resolves to
    std::string allowed;
    std::string rows;
  };
  const std::string found = std::string(kPartitions) + ";";
  const std::vector<Case> cases = {
      {"never", 0, false, "127.0.0.1", "example.test", ""},
      {"subordinate", 32, false, "127.0.0.1", "example.test", found},
      {"external only", 64, false, "127.0.0.1", "example.test", ""},
      {"both", 96, false, "127.0.0.1", "example.test", found},
      {"referred-to server not allowed", 96, false, "127.0.0.1", "", ""},
      {"unresolvable", 96, false, "", "example.test", ""},
      {"refused", 96, false, "127.0.0.2", "example.test", ""},
      {"referral result, never", 0, true, "127.0.0.1", "example.test", ""},
      {"referral result, subordinate only", 32, true, "127.0.0.1", "example.test", ""},
      {"referral result, external", 64, true, "127.0.0.1", "example.test", found},
      {"referral result, both", 96, true, "127.0.0.1", "example.test", found},
      {"referral result, unresolvable", 96, true, "", "example.test", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SambaDc::Get().ResolveDomainNameTo(c.domain_address);
    std::vector<std::string> config = LdapsConfig();
    if (c.external) config[0] = "ldap.uri = ldap://" + relay.server();
    if (!c.allowed.empty()) config.push_back("ldap.allowed_servers = " + c.allowed);
    AdCase ad(config);
    EXPECT_EQ(Search(ad, c.chase, c.external ? kForeignBase : kDomainDn), c.rows);
  }
  SambaDc::Get().ResolveDomainNameTo("127.0.0.1");
}

// Sign-in searches from the domain's root and asks for external referrals only: the reference
// to the configuration partition must neither fail it nor be followed.
TEST(AdReferrals, SignInPassesOverUnfollowableReferences) {
  for (const char* address : {"127.0.0.1", "", "127.0.0.2"}) {
    SCOPED_TRACE(address);
    SambaDc::Get().ResolveDomainNameTo(address);
    AdCase ad;
    EXPECT_EQ(ad.Call({}), (SignInOutcome{kAlicePath, "CN=WebAdmins;", "Server admins;", "x"}));
  }
  SambaDc::Get().ResolveDomainNameTo("127.0.0.1");
}

}  // namespace
}  // namespace brindlecore::testing
