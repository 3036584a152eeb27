// User rows from a WinNT account database, and the argument checks common to both providers.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/automation/errors.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";
constexpr char kProvider[] = "WinNT://WEBSRV1";

class GetAllUsersTest : public RootTest {
 protected:
  GetAllUsersTest() { accounts_.Computer(kComputer); }

  static CallOutcome Call(platform::Platform& platform, Variant provider, Variant computer,
                          Variant group, Variant show, Variant pv_error = Variant("")) {
    return CallMethod(platform, "GetAllUsers",
                      {Val(std::move(provider)), Val(std::move(computer)), Val(std::move(group)),
                       Val(std::move(show)), Ref(std::move(pv_error))});
  }
  CallOutcome Call(Variant show, Variant pv_error = Variant("")) {
    return Call(*platform_, Variant(kProvider), Variant(kComputer), Variant("QZW3SVC1"),
                std::move(show), std::move(pv_error));
  }
};

TEST_F(GetAllUsersTest, ArgumentChecksInOrderThenTheBind) {
  struct Case {
    Variant provider, group, computer, show, pv_error;
    std::string expected;
  };
  const Variant p(kProvider), g("QZW3SVC1"), c(kComputer), t("true"), none("");
  const Case cases[] = {
      {Variant::Null(), Variant::Null(), c, t, none, "-1 ,Invalid User Provider -- Null"},
      {Variant(), g, c, t, none, "-1 ,Invalid User Provider -- Empty"},
      {Variant("LDAP:"), g, c, t, none, "-1 ,Invalid User Provider - zero-length or too short"},
      {Variant("  WinNT  "), g, c, t, none, "-1 ,Invalid User Provider - zero-length or too short"},
      {Variant("ldap://DC=example"), g, c, t, none,
       "-1 ,Invalid User Provider - should start with LDAP or WinNT"},
      {Variant(" WinNT://WEBSRV1"), g, c, t, none,
       "-1 ,Invalid User Provider - should start with LDAP or WinNT"},
      {p, Variant::Null(), Variant::Null(), t, Variant("x"), "x -1 ,Invalid Current Group -- Null"},
      {p, Variant(), c, t, none, "-1 ,Invalid Current Group -- Empty"},
      {p, Variant("   "), c, t, none, "-1 ,Invalid Current Group - 0 Length String"},
      {p, g, Variant::Null(), t, none, "-1 ,Invalid Computer Name -- Null"},
      {p, g, Variant(), t, none, "-1 ,Invalid Computer Name -- Empty"},
      {p, g, Variant(" "), t, none, "-1 ,Invalid Computer Name - 0 Length String"},
      {p, g, c, Variant::Null(), none, "-1 ,Invalid Show Groups Option -- Null"},
      {p, g, c, Variant("yes"), none, "-1 ,Invalid Show Group Option, should be true or false"},
      {p, g, c, Variant(""), none, "-1 ,Invalid Show Group Option, should be true or false"},
      // Six characters pass the length check and reach the directory.
      {Variant("WinNT:"), g, c, t, none, "-2147463168 ,An invalid directory pathname was passed"},
      {Variant("WinNT://NOSUCH"), g, c, Variant("false"), none,
       "-2147024843 ,The network path was not found."},
  };
  accounts_.User(kComputer, "bob");
  for (const Case& k : cases) {
    SCOPED_TRACE(k.expected);
    CallOutcome out = Call(*platform_, k.provider, k.computer, k.group, k.show, k.pv_error);
    ASSERT_FALSE(out.error) << out.error->description;
    EXPECT_EQ(out.result, Variant(""));
    EXPECT_EQ(out.text(4), k.expected);
  }
}

TEST_F(GetAllUsersTest, PickerRowsHandTheBareNameAndGroupToThePage) {
  accounts_.User(kComputer, "bob", "", "Bob B", "Sales lead").User(kComputer, "o'neil");

  for (const Variant& show : {Variant("False"), Variant(false), Variant(int32_t{0}), Variant()}) {
    CallOutcome out = Call(show, Variant("x"));
    ASSERT_FALSE(out.error) << out.error->description;
    EXPECT_EQ(ToText(out.result),
              "<TR><TD class=TableRow><a href=\"JavaScript:updateField('bob','QZW3SVC1');\">bob"
              "</a></TD><TD class=TableRow>Sales lead</TD></TR>"
              "<TR><TD class=TableRow><a href=\"JavaScript:updateField('o'neil','QZW3SVC1');\">"
              "o'neil</a></TD><TD class=TableRow></TD></TR>");
    EXPECT_EQ(out.text(4), "x");
  }
}

TEST_F(GetAllUsersTest, OverviewRowsCarryEachUsersPerSiteGroups) {
  accounts_.User(kComputer, "bob", "", "", "Sales lead").User(kComputer, "carol");
  accounts_.Group(kComputer, "QZW3SVC1")
      .Group(kComputer, "QZMULTI2")
      .Group(kComputer, "QZW3SVC5")
      .Member(kComputer, "QZW3SVC1", "bob")
      .Member(kComputer, "QZMULTI2", "bob")
      .Member(kComputer, "QZW3SVC5", "bob");

  for (const Variant& show : {Variant("TRUE"), Variant(true), Variant(int32_t{1})}) {
    CallOutcome out = Call(show);
    ASSERT_FALSE(out.error) << out.error->description;
    EXPECT_EQ(ToText(out.result),
              "<TR><TD class=TableRow>bob</TD><TD class=TableRow>Sales lead</TD>"
              "<TD class=TableRow>QZW3SVC1;QZW3SVC5;</TD></TR>"
              "<TR><TD class=TableRow>carol</TD><TD class=TableRow></TD>"
              "<TD class=TableRow></TD></TR>");
    EXPECT_EQ(out.text(4), "");
  }
}

TEST_F(GetAllUsersTest, FailedGroupLookupLeavesOnlyThatRowUnfinished) {
  accounts_.User(kComputer, "u1", "", "", "d1")
      .User(kComputer, "u2", "", "", "d2")
      .User(kComputer, "u3", "", "", "d3");
  FaultPlatform faults(*platform_);
  // The listing's own bind is the first; each user's look-up binds once more.
  faults.Fail("GetObject", kProvider, 3, errors::kErrorDsServerDown.Make());

  CallOutcome out = Call(faults, Variant(kProvider), Variant(kComputer), Variant("G"),
                         Variant("true"), Variant("x"));

  EXPECT_TRUE(faults.AllFired());
  EXPECT_EQ(ToText(out.result),
            "<TR><TD class=TableRow>u1</TD><TD class=TableRow>d1</TD>"
            "<TD class=TableRow></TD></TR>"
            "<TR><TD class=TableRow>u2</TD><TD class=TableRow>d2</TD><TD class=TableRow>"
            "<TR><TD class=TableRow>u3</TD><TD class=TableRow>d3</TD>"
            "<TD class=TableRow></TD></TR>");
  EXPECT_EQ(out.text(4), "x");
}

TEST_F(GetAllUsersTest, ContainerFailuresGoToTheErrorText) {
  CallOutcome empty = Call(Variant("true"), Variant("x"));
  EXPECT_EQ(empty.result, Variant(""));
  EXPECT_EQ(empty.text(4), "x");

  FaultPlatform faults(*platform_);
  faults.Fail("SetFilter", "", 1, errors::kEAccessdenied.Make());
  CallOutcome unfiltered = Call(faults, Variant(kProvider), Variant(kComputer), Variant("G"),
                                Variant("false"), Variant("x"));
  EXPECT_EQ(unfiltered.text(4), "x -2147024891 ,Access is denied.");
}

}  // namespace
}  // namespace brindlecore::testing
