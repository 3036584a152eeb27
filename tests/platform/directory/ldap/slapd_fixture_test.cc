#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/slapd_server.h"
#include "support/temp_dir.h"

namespace brindlecore::testing {
namespace {

TEST(SlapdServerTest, StartsAddsEntriesAndWritesConfig) {
  SlapdServer server;
  EXPECT_EQ(server.base_dn(), "DC=example,DC=test");
  EXPECT_EQ(server.uri().rfind("ldap://127.0.0.1:", 0), 0u);
  std::string staff = server.AddOu("Staff");
  EXPECT_EQ(staff, "OU=Staff,DC=example,DC=test");
  std::string anna = server.AddUser("Smith, Anna", "anna", "pw", "Anna", "Smith", staff);
  EXPECT_EQ(anna, "CN=Smith\\, Anna,OU=Staff,DC=example,DC=test");
  EXPECT_EQ(server.AddGroup("Sales", "sales", "Sales people", {anna}),
            "CN=Sales,DC=example,DC=test");
  EXPECT_ANY_THROW(server.AddUser("Smith, Anna", "anna2", "pw", "", "", staff));

  TempDir root;
  server.WriteConfig(root.path());
  std::ifstream conf(root.path() / "platform.conf");
  std::string text((std::istreambuf_iterator<char>(conf)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("ldap.uri = " + server.uri() + "\n"), std::string::npos);
  EXPECT_NE(text.find("ldap.bind_dn = " + server.service_dn() + "\n"), std::string::npos);
}

}  // namespace
}  // namespace brindlecore::testing
