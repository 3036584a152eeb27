// User rows from a WinNT account database, and the argument checks common to both providers (the
// domain's rows are tested with the other domain accounts, against a real slapd).
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

}  // namespace
}  // namespace brindlecore::testing
