// User rows from a WinNT account database and from a real slapd, and the argument checks common
// to both providers.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/automation/errors.h"
#include "support/slapd_server.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";
constexpr char kProvider[] = "WinNT://WEBSRV1";

struct Listing {
  Variant provider = Variant(kProvider);
  Variant computer = Variant(kComputer);
  Variant group = Variant("QZW3SVC1");
  Variant show = Variant("true");
  Variant error_in = Variant("");
};

// The rows and the error text, joined by "|".
std::string Call(platform::Platform& platform, const Listing& l) {
  CallOutcome out =
      CallMethod(platform, "GetAllUsers",
                 {Val(l.provider), Val(l.computer), Val(l.group), Val(l.show), Ref(l.error_in)});
  if (out.error) return "!" + out.error->description;
  EXPECT_TRUE(out.result.IsString());
  return ToText(out.result) + "|" + out.text(4);
}

std::string PickerRow(const std::string& shown, const std::string& picked, const std::string& group,
                      const std::string& display) {
  return "<TR><TD class=TableRow><a href=\"JavaScript:updateField('" + picked + "','" + group +
         "');\">" + shown + "</a></TD><TD class=TableRow>" + display + "</TD></TR>";
}

std::string OverviewRow(const std::string& shown, const std::string& display,
                        const std::string& groups) {
  return "<TR><TD class=TableRow>" + shown + "</TD><TD class=TableRow>" + display +
         "</TD><TD class=TableRow>" + groups + "</TD></TR>";
}

class GetAllUsersTest : public RootTest {
 protected:
  GetAllUsersTest() {
    accounts_.Computer(kComputer)
        .User(kComputer, "bob", "", "Bob B", "Sales lead")
        .User(kComputer, "carol")
        .User(kComputer, "o'neil")
        .Group(kComputer, "QZW3SVC1")
        .Group(kComputer, "QZMULTI2")
        .Group(kComputer, "QZW3SVC5")
        .Member(kComputer, "QZW3SVC1", "bob")
        .Member(kComputer, "QZMULTI2", "bob")
        .Member(kComputer, "QZW3SVC5", "bob");
  }
};

TEST_F(GetAllUsersTest, ArgumentChecksInOrderThenTheBind) {
  const Variant null = Variant::Null(), empty;
  const std::vector<std::pair<Listing, std::string>> cases = {
      {{.provider = null, .group = null}, "-1 ,Invalid User Provider -- Null"},
      {{.provider = empty}, "-1 ,Invalid User Provider -- Empty"},
      {{.provider = Variant("LDAP:")}, "-1 ,Invalid User Provider - zero-length or too short"},
      {{.provider = Variant("  WinNT  ")}, "-1 ,Invalid User Provider - zero-length or too short"},
      {{.provider = Variant("ldap://DC=example")},
       "-1 ,Invalid User Provider - should start with LDAP or WinNT"},
      {{.provider = Variant(" WinNT://WEBSRV1")},
       "-1 ,Invalid User Provider - should start with LDAP or WinNT"},
      {{.computer = null, .group = null, .error_in = Variant("x")},
       "x -1 ,Invalid Current Group -- Null"},
      {{.group = empty}, "-1 ,Invalid Current Group -- Empty"},
      {{.group = Variant("   ")}, "-1 ,Invalid Current Group - 0 Length String"},
      {{.computer = null}, "-1 ,Invalid Computer Name -- Null"},
      {{.computer = empty}, "-1 ,Invalid Computer Name -- Empty"},
      {{.computer = Variant(" ")}, "-1 ,Invalid Computer Name - 0 Length String"},
      {{.show = null}, "-1 ,Invalid Show Groups Option -- Null"},
      {{.show = Variant("yes")}, "-1 ,Invalid Show Group Option, should be true or false"},
      {{.show = Variant("")}, "-1 ,Invalid Show Group Option, should be true or false"},
      // Six characters pass the length check and reach the directory.
      {{.provider = Variant("WinNT:")}, "-2147463168 ,An invalid directory pathname was passed"},
      {{.provider = Variant("WinNT://NOSUCH"), .show = Variant("false")},
       "-2147024843 ,The network path was not found."},
  };
  for (const auto& [call, error] : cases) EXPECT_EQ(Call(*platform_, call), "|" + error);
}

// Picker rows hand the bare name and the group to the page; overview rows carry each user's
// per-site groups.
TEST_F(GetAllUsersTest, RowsOfEitherKind) {
  const std::string pickers = PickerRow("bob", "bob", "QZW3SVC1", "Sales lead") +
                              PickerRow("carol", "carol", "QZW3SVC1", "") +
                              PickerRow("o'neil", "o'neil", "QZW3SVC1", "");
  for (const Variant& show : {Variant("False"), Variant(false), Variant(int32_t{0}), Variant()})
    EXPECT_EQ(Call(*platform_, {.show = show, .error_in = Variant("x")}), pickers + "|x");
  const std::string overview = OverviewRow("bob", "Sales lead", "QZW3SVC1;QZW3SVC5;") +
                               OverviewRow("carol", "", "") + OverviewRow("o'neil", "", "");
  for (const Variant& show : {Variant("TRUE"), Variant(true), Variant(int32_t{1})})
    EXPECT_EQ(Call(*platform_, {.show = show}), overview + "|");
  // One row written out in full, so the helper cannot drift from the page's markup.
  EXPECT_EQ(PickerRow("a", "b", "G", "D"),
            "<TR><TD class=TableRow><a href=\"JavaScript:updateField('b','G');\">a</a></TD>"
            "<TD class=TableRow>D</TD></TR>");
}

TEST_F(GetAllUsersTest, Failures) {
  // The listing's own bind is the first; each user's look-up binds once more: carol's row is
  // left unfinished.
  FaultPlatform faults(*platform_);
  faults.Fail("GetObject", kProvider, 3, errors::kErrorDsServerDown.Make());
  EXPECT_EQ(Call(faults, {.group = Variant("G"), .error_in = Variant("x")}),
            OverviewRow("bob", "Sales lead", "QZW3SVC1;QZW3SVC5;") +
                "<TR><TD class=TableRow>carol</TD><TD class=TableRow></TD><TD class=TableRow>" +
                OverviewRow("o'neil", "", "") + "|x");
  EXPECT_TRUE(faults.AllFired());

  FaultPlatform unfiltered(*platform_);
  unfiltered.Fail("SetFilter", "", 1, errors::kEAccessdenied.Make());
  EXPECT_EQ(Call(unfiltered, {.show = Variant("false"), .error_in = Variant("x")}),
            "|x -2147024891 ,Access is denied.");
}

class GetAllUsersLdapTest : public RootTest {
 protected:
  GetAllUsersLdapTest() {
    server_.WriteConfig(dir_.path());
    const std::string staff = server_.AddOu("Staff");
    server_.AddUser("Ann Smith", "ann", "pw", "Ann", "Smith", staff);
    server_.AddUser("Bob Jones", "bob", "pw", "", "Jones", staff);
    server_.AddUser("Carl", "carl", "pw", "Carl", "", staff);
    accounts_.Computer(kComputer)
        .Group(kComputer, "QZW3SVC1")
        .Group(kComputer, "QZW3SVC2")
        .Member(kComputer, "QZW3SVC1", "INTRA/ann")
        .Member(kComputer, "QZW3SVC2", "INTRA/ann")
        .Member(kComputer, "QZW3SVC2", "INTRA/carl");
    platform_ = platform::MakePlatform(dir_.path());
  }

  SlapdServer server_;
};

// Rows name the domain and the display name: without givenName the name is shown, without sn as
// well. The root below the domain has no domain object: the label comes from the naming context.
TEST_F(GetAllUsersLdapTest, RowsAndFailures) {
  using Rule = std::tuple<const char*, const char*, int, AutomationError>;
  struct Case {
    const char* provider;
    const char* show;
    std::vector<Rule> rules;
    std::string seen;
  };
  const auto picker = [](const std::string& account, const std::string& display) {
    return PickerRow("EXAMPLE\\" + account, "EXAMPLE\\\\" + account, "QZW3SVC2", display);
  };
  const std::string pickers =
      picker("ann", "Ann Smith") + picker("bob", "Bob Jones") + picker("carl", "Carl");
  const std::string ann = OverviewRow("EXAMPLE\\ann", "Ann Smith", "QZW3SVC1;QZW3SVC2;");
  const std::vector<Case> cases = {
      {"LDAP://RootDSE", "false", {}, pickers + "|"},
      {"LDAP://OU=Staff,DC=example,DC=test", "false", {}, pickers + "|"},
      {"LDAP://RootDSE",
       "true",
       {},
       ann + OverviewRow("EXAMPLE\\bob", "Bob Jones", "") +
           OverviewRow("EXAMPLE\\carl", "Carl", "QZW3SVC2;") + "|"},
      // A failed group look-up ends the listing with the rows so far.
      {"LDAP://RootDSE",
       "true",
       {{"GetObject", "WinNT://WEBSRV1", 2, errors::kErrorDsServerDown.Make()}},
       ann + "<TR><TD class=TableRow>EXAMPLE\\bob</TD><TD class=TableRow>Bob Jones</TD>"
             "<TD class=TableRow>|-1 ,Error enumerating groups user belongs to. The server is "
             "not operational. on Binding Attempt"},
      {"LDAP://RootDSE",
       "false",
       {{"Execute", "objectClass=User", 1, errors::kDbSecEPermissiondenied.Make()}},
       "|-2147217911 ,Permission denied."},
  };
  for (const Case& c : cases) {
    FaultPlatform faults(*platform_);
    for (const auto& [operation, path, nth, error] : c.rules)
      faults.Fail(operation, path, nth, error);
    EXPECT_EQ(Call(faults, {.provider = Variant(c.provider),
                            .group = Variant("QZW3SVC2"),
                            .show = Variant(c.show)}),
              c.seen);
    EXPECT_TRUE(faults.AllFired());
  }
}

}  // namespace
}  // namespace brindlecore::testing
