// User rows from a directory search against a real slapd.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/automation/errors.h"
#include "support/slapd_server.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";

class GetAllUsersLdapTest : public RootTest {
 protected:
  GetAllUsersLdapTest() {
    server_.WriteConfig(dir_.path());
    staff_ = server_.AddOu("Staff");
    server_.AddUser("Ann Smith", "ann", "pw", "Ann", "Smith", staff_);
    server_.AddUser("Bob Jones", "bob", "pw", "", "Jones", staff_);
    server_.AddUser("Carl", "carl", "pw", "Carl", "", staff_);
    accounts_.Computer(kComputer)
        .Group(kComputer, "QZW3SVC1")
        .Group(kComputer, "QZW3SVC2")
        .Member(kComputer, "QZW3SVC1", "INTRA/ann")
        .Member(kComputer, "QZW3SVC2", "INTRA/ann")
        .Member(kComputer, "QZW3SVC2", "INTRA/carl");
    platform_ = platform::MakePlatform(dir_.path());
  }

  static CallOutcome Call(platform::Platform& platform, const std::string& provider,
                          const std::string& show) {
    return CallMethod(platform, "GetAllUsers",
                      {Val(Variant(provider)), Val(Variant(kComputer)), Val(Variant("QZW3SVC2")),
                       Val(Variant(show)), Ref(Variant(""))});
  }

  SlapdServer server_;
  std::string staff_;
};

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

TEST_F(GetAllUsersLdapTest, PickerRowsNameTheDomainAndTheDisplayName) {
  // The root below the domain has no domain object: the label comes from the naming context.
  for (const std::string provider : {"LDAP://RootDSE", "LDAP://OU=Staff,DC=example,DC=test"}) {
    SCOPED_TRACE(provider);
    CallOutcome out = Call(*platform_, provider, "false");
    ASSERT_FALSE(out.error) << out.error->description;
    EXPECT_EQ(out.text(4), "");
    // Without givenName the name is shown; without sn as well.
    EXPECT_EQ(ToText(out.result), PickerRow("ann", "Ann Smith") + PickerRow("bob", "Bob Jones") +
                                      PickerRow("carl", "Carl"));
  }
  EXPECT_EQ(PickerRow("a", "D"),
            "<TR><TD class=TableRow><a href=\"JavaScript:updateField('EXAMPLE\\\\a','QZW3SVC2');"
            "\">EXAMPLE\\a</a></TD><TD class=TableRow>D</TD></TR>");
}

TEST_F(GetAllUsersLdapTest, OverviewRowsAskTheLocalDatabaseForEachAccount) {
  CallOutcome out = Call(*platform_, "LDAP://RootDSE", "true");

  ASSERT_FALSE(out.error) << out.error->description;
  EXPECT_EQ(out.text(4), "");
  EXPECT_EQ(ToText(out.result), OverviewRow("ann", "Ann Smith", "QZW3SVC1;QZW3SVC2;") +
                                    OverviewRow("bob", "Bob Jones", "") +
                                    OverviewRow("carl", "Carl", "QZW3SVC2;"));
}

TEST_F(GetAllUsersLdapTest, FailedGroupLookupEndsTheListingWithTheRowsSoFar) {
  FaultPlatform faults(*platform_);
  faults.Fail("GetObject", "WinNT://" + std::string(kComputer), 2,
              errors::kErrorDsServerDown.Make());

  CallOutcome out = Call(faults, "LDAP://RootDSE", "true");

  EXPECT_TRUE(faults.AllFired());
  EXPECT_EQ(ToText(out.result),
            OverviewRow("ann", "Ann Smith", "QZW3SVC1;QZW3SVC2;") +
                "<TR><TD class=TableRow>EXAMPLE\\bob</TD><TD class=TableRow>Bob Jones</TD>"
                "<TD class=TableRow>");
  EXPECT_EQ(out.text(4),
            "-1 ,Error enumerating groups user belongs to. The server is not operational. on "
            "Binding Attempt");
}

TEST_F(GetAllUsersLdapTest, SearchFailuresGoToTheErrorText) {
  FaultPlatform faults(*platform_);
  faults.Fail("Execute", "objectClass=User", 1, errors::kDbSecEPermissiondenied.Make());

  CallOutcome out = Call(faults, "LDAP://RootDSE", "false");

  EXPECT_TRUE(faults.AllFired());
  EXPECT_EQ(out.result, Variant(""));
  EXPECT_EQ(out.text(4), "-2147217911 ,Permission denied.");
}

}  // namespace
}  // namespace brindlecore::testing
