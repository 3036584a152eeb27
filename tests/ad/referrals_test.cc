// The domain's root answers a subtree search with a continuation reference to the configuration
// partition ("ldaps://example.test/CN=Configuration,..."); which searches follow it, and how.
#include <gtest/gtest.h>

#include "ad/ad_case.h"

namespace brindlecore::testing {
namespace {

constexpr char kPartitions[] = "LDAP://CN=Partitions,CN=Configuration,DC=example,DC=test";

// The rows' paths joined with ";", or "!" and the error.
std::string Search(AdCase& ad, int chase) {
  try {
    auto connection = ad.platform().NewConnection();
    connection->SetProvider("ADsDSOObject");
    connection->SetProperty("User ID", Variant("alice"));
    connection->SetProperty("Password", Variant(kUserPassword));
    connection->Open("Active Directory Provider", "", "", -1);
    auto command = connection->CreateCommand();
    command->SetCommandText(
        "<LDAP://DC=example,DC=test>;(objectClass=crossRefContainer);ADsPath;subtree");
    command->SetProperty("Chase referrals", Variant(int32_t{chase}));
    auto rows = command->Execute();
    std::string paths;
    for (; !rows->Eof(); rows->MoveNext()) paths += ToText(rows->Field("ADsPath")) + ";";
    return paths;
  } catch (const AutomationError& e) {
    return "!" + e.description;
  }
}

TEST(AdReferrals, ChasedAsAskedWithTheSearchCredentials) {
  struct Case {
    const char* name;
    int chase;
    std::string domain_address;  // what example.test resolves to
    std::string allowed;
    std::string rows;
  };
  const std::string found = std::string(kPartitions) + ";";
  const std::vector<Case> cases = {
      {"never", 0, "127.0.0.1", "example.test", ""},
      {"subordinate", 32, "127.0.0.1", "example.test", found},
      {"external only", 64, "127.0.0.1", "example.test", ""},
      {"both", 96, "127.0.0.1", "example.test", found},
      {"referred-to server not allowed", 96, "127.0.0.1", "", ""},
      {"unresolvable", 96, "", "example.test", ""},
      {"refused", 96, "127.0.0.2", "example.test", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SambaDc::Get().ResolveDomainNameTo(c.domain_address);
    std::vector<std::string> config = LdapsConfig();
    if (!c.allowed.empty()) config.push_back("ldap.allowed_servers = " + c.allowed);
    AdCase ad(config);
    EXPECT_EQ(Search(ad, c.chase), c.rows);
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
