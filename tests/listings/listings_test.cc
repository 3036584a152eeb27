// The WinNT listings: GetAllUsers' user rows with the argument checks common to both providers
// (the domain's rows are tested with the other domain accounts, against a real slapd), and the
// profile-groups and profile-administrators tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/automation/errors.h"
#include "support/listing_rows.h"
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
      {{.provider = Variant(" WinNT://WEBSRV1")},
       "-1 ,Invalid User Provider - should start with LDAP or WinNT"},
      {{.computer = null, .group = null, .error_in = Variant("x")},
       "x -1 ,Invalid Current Group -- Null"},
      {{.computer = null}, "-1 ,Invalid Computer Name -- Null"},
      {{.show = null}, "-1 ,Invalid Show Groups Option -- Null"},
      {{.show = Variant("yes")}, "-1 ,Invalid Show Group Option, should be true or false"},
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

// The rows, or "!" with the host-facing error's number and text, then "|" and the error text.
std::string Seen(const CallOutcome& out) {
  // Appended: GCC 12 at -O3 reports a false -Wrestrict on a literal plus a temporary string.
  std::string seen;
  if (out.error) {
    seen.append("!").append(std::to_string(out.error->number)).append(" ");
    seen.append(out.error->description);
  } else {
    seen = ToText(out.result);
  }
  return seen.append("|").append(out.text(3));
}

class GroupListsTest : public RootTest {
 protected:
  GroupListsTest() { accounts_.Computer(kComputer).User(kComputer, "admin", "pw", "Admin"); }

  std::string GroupsList(platform::Platform& platform, std::string computer = kComputer) {
    return Seen(CallMethod(
        platform, "GetAllGroupsList",
        {Val(Variant(computer)), Val(Variant()), Val(Variant::Null()), Ref(Variant("x"))}));
  }
  std::string UsersList(platform::Platform& platform, std::string password = "pw") {
    return Seen(CallMethod(platform, "GetAllUsersList",
                           {Val(Variant(kComputer)), Val(Variant("admin")), Val(Variant(password)),
                            Ref(Variant("x"))}));
  }
};

std::string GroupRow(const std::string& g, const std::string& d) {
  return "<TR><TD class=TableRow width=90><a href=\"./editGroup.asp?GroupName=" + g +
         "&GroupDescription=" + d + "\" title=\"Click here to edit/delete group\" class=graybghl>" +
         g + "</a></TD><TD class=TableRow width=150>" + d +
         "</TD><td class=TableRow><input class=UserInput name=" + g + " id=" + g +
         " title=\"Type user name to add here\"></input><a title=\"Click to add user to group\" "
         "href=JavaScript:userAdd(" +
         g +
         "); class=ActionItem><img border=0 src=./images/adduser.gif></img></a><a title=\"Click "
         "to display a list of users\" href=javascript:listUsers(" +
         g + "); return false ;\"><img border=0 src=./images/listusers.gif></img></a></TD>";
}

TEST_F(GroupListsTest, GroupRowsListBothFamiliesInEnumerationOrder) {
  accounts_.Group(kComputer, "QZW3SVC1", "Sales & more")
      .Group(kComputer, "Staff")
      .Group(kComputer, "qzmulti1")
      .Group(kComputer, "QZMULTI2");

  EXPECT_EQ(GroupsList(*platform_),
            GroupRow("QZW3SVC1", "Sales & more") + GroupRow("QZMULTI2", "") + "|x");
  // One row written out in full, so the helper above cannot drift from the page's markup.
  EXPECT_EQ(GroupRow("Q", "D"),
            "<TR><TD class=TableRow width=90><a href=\"./editGroup.asp?GroupName=Q&"
            "GroupDescription=D\" title=\"Click here to edit/delete group\" class=graybghl>Q</a>"
            "</TD><TD class=TableRow width=150>D</TD><td class=TableRow><input class=UserInput "
            "name=Q id=Q title=\"Type user name to add here\"></input><a title=\"Click to add "
            "user to group\" href=JavaScript:userAdd(Q); class=ActionItem><img border=0 "
            "src=./images/adduser.gif></img></a><a title=\"Click to display a list of users\" "
            "href=javascript:listUsers(Q); return false ;\"><img border=0 "
            "src=./images/listusers.gif></img></a></TD>");
}

TEST_F(GroupListsTest, UserRowsWithoutProfileGroupsStayOpen) {
  accounts_.User(kComputer, "a", "", "A")
      .Group(kComputer, "QZMULTI1")
      .Member(kComputer, "QZMULTI1", "a");

  EXPECT_EQ(UsersList(*platform_),
            "<TR><TD class=TableRow width=115>admin</TD><TD class=TableRow width=150>Admin</TD>"
            "<TR><TD class=TableRow width=115>a</TD><TD class=TableRow width=150>A</TD>|x");
}

std::string RemoveLink(const std::string& g, const std::string& n) {
  return "<a href=./UserDelete.asp?GroupName=" + g + "&UserName=" + n +
         "&RedirPage=ProfileAdministrators.asp class=ActionItem>&nbsp;<img "
         "src=./images/removeuser.gif title=Remove user from group border=0></img></a>";
}
std::string Option(const std::string& g) {
  return "<option value=" + g + ">" + g + "&nbsp;&nbsp;</option>";
}
std::string AddCell(const std::string& n, const std::string& options) {
  return "<td class=TableRow><select class=ItemSelect name=" + n + " id=" + n + ">" + options +
         "</select><a href=JavaScript:userAdd(" + n +
         "); class=ActionItem>&nbsp;<img border=0 src=./images/adduser.gif></img></a></TD></TR>";
}

TEST_F(GroupListsTest, UserRowsShowMembershipsAndOfferTheRest) {
  accounts_.User(kComputer, "ann").User(kComputer, "anne", "", "Anne B");
  accounts_.Group(kComputer, "QZW3SVC1")
      .Group(kComputer, "qzw3svc9")
      .Group(kComputer, "QZW3SVC2")
      .Member(kComputer, "QZW3SVC1", "anne")
      .Member(kComputer, "QZW3SVC2", "anne")
      .Member(kComputer, "QZW3SVC1", "admin")
      .Member(kComputer, "qzw3svc9", "ann");

  const std::string admin =
      "<TR><TD class=TableRow width=115>admin</TD><TD class=TableRow width=150>Admin</TD>"
      "<TD class=TableRow>QZW3SVC1" +
      RemoveLink("QZW3SVC1", "admin") + "</TD></TR>" + "<tr><td class=TableRow colspan=2></td>" +
      AddCell("admin", Option("QZW3SVC2"));
  const std::string ann =
      "<TR><TD class=TableRow width=115>ann</TD><TD class=TableRow width=150></TD>" +
      AddCell("ann", Option("QZW3SVC1") + Option("QZW3SVC2"));
  const std::string anne =
      "<TR><TD class=TableRow width=115>anne</TD><TD class=TableRow width=150>Anne B</TD>"
      "<TD class=TableRow>QZW3SVC1" +
      RemoveLink("QZW3SVC1", "anne") + "</TD></TR>" +
      "<TR><TD class=TableRow ColSpan=2></TD><TD class=TableRow>QZW3SVC2" +
      RemoveLink("QZW3SVC2", "anne") + "</TD></TR>";
  EXPECT_EQ(UsersList(*platform_), admin + ann + anne + "|x");
  EXPECT_EQ(AddCell("n", Option("G")),
            "<td class=TableRow><select class=ItemSelect name=n id=n><option value=G>G&nbsp;"
            "&nbsp;</option></select><a href=JavaScript:userAdd(n); class=ActionItem>&nbsp;<img "
            "border=0 src=./images/adduser.gif></img></a></TD></TR>");
}

// Only the steps that report do so, in the error text with an empty listing; any other failure
// reaches the host and leaves the text alone.
TEST_F(GroupListsTest, FailuresOfBothListings) {
  accounts_.Group(kComputer, "QZW3SVC1").Member(kComputer, "QZW3SVC1", "admin");
  EXPECT_EQ(GroupsList(*platform_, "NOSUCH"),
            "|The network path was not found. on Binding Attempt");
  EXPECT_EQ(UsersList(*platform_, "wrong"),
            "|Logon failure: unknown user name or bad password. on Binding Attempt");
  struct Case {
    bool users;  // else the group rows
    const char* operation;
    int nth;
    std::string seen;
  };
  const std::string denied = "!-2147024891 Access is denied.|x";
  const Case cases[] = {
      {false, "SetFilter", 1, "|Access is denied. on Filtering Groups"},
      {false, "Description", 1, denied},
      {true, "SetFilter", 1, "|Access is denied. on Filtering Groups"},
      {true, "SetFilter", 2, "|Access is denied. on Filtering Users"},
      {true, "Members", 1, denied},
      {true, "FullName", 1, denied},
  };
  for (const Case& c : cases) {
    FaultPlatform faults(*platform_);
    faults.Fail(c.operation, "", c.nth, errors::kEAccessdenied.Make());
    EXPECT_EQ(c.users ? UsersList(faults) : GroupsList(faults), c.seen) << c.operation;
  }
}

}  // namespace
}  // namespace brindlecore::testing
