#include "component/frame.h"

#include <gtest/gtest.h>

#include "platform/automation/errors.h"
#include "support/matchers.h"

namespace brindlecore::component {
namespace {

using testing::AutomationErrorIs;
using testing::ErrorOf;

TEST(CheckArgumentTest, TestsNullThenEmptyThenBlank) {
  struct Case {
    Variant value;
    std::string message;
  };
  const Case cases[] = {
      {Variant::Null(), "Invalid NT Domain -- Null"},
      {Variant(), "Invalid NT Domain -- Empty"},
      {Variant(""), "Invalid NT Domain - 0 Length String"},
      {Variant("   "), "Invalid NT Domain - 0 Length String"},
      // Only the space character is trimmed: a tab is text.
      {Variant("\t"), ""},
      {Variant(" x "), ""},
      // A number converts to text and is not blank.
      {Variant(int32_t{0}), ""},
  };
  for (const Case& c : cases) {
    auto e = ErrorOf([&] { CheckArgument(c.value, "NT Domain"); });
    if (c.message.empty()) {
      EXPECT_FALSE(e) << TypeName(c.value.type());
    } else {
      EXPECT_THAT(e, AutomationErrorIs(-1, c.message)) << TypeName(c.value.type());
    }
  }
}

TEST(ErrorFormsTest, BuildTheTextsHostPagesExpect) {
  const AutomationError refusal(-1, "Invalid Provider String -- Null");
  const AutomationError platform(errors::kErrorAlreadyExists.Make());
  EXPECT_EQ(FormA(Variant(""), refusal), "-1 ,Invalid Provider String -- Null");
  EXPECT_EQ(FormA(Variant("x"), refusal), "x -1 ,Invalid Provider String -- Null");
  // Null in pvError concatenates as nothing, as the host's "&" does.
  EXPECT_EQ(FormA(Variant::Null(), refusal), "-1 ,Invalid Provider String -- Null");
  EXPECT_EQ(FormB(platform), "-2147024713 ,Cannot create a file when that file already exists.");
  // Form C keeps the leading space: it is never trimmed.
  EXPECT_EQ(FormC(Variant(""), AutomationError(-1, "Invalid NT Domain -- Null")),
            " - -1,Invalid NT Domain -- Null");
  EXPECT_EQ(FormC(Variant("x"), AutomationError(-1, "Invalid Password -- Null")),
            "x - -1,Invalid Password -- Null");
  EXPECT_EQ(FormD(AutomationError(-2147022676, "The group name could not be found.")),
            "Error No: -2147022676, The group name could not be found.");
  EXPECT_EQ(FormE(AutomationError(53, "File not found")), "An error occurred: File not found");
  EXPECT_EQ(StepText(AutomationError(5, "D"), " on Binding Attempt"), "D on Binding Attempt");
  // Trimming removes spaces the description itself ends with.
  EXPECT_EQ(FormB(AutomationError(1, "D  ")), "1 ,D");
}

TEST(StringFunctionsTest, FollowTheHostsPositionRules) {
  EXPECT_EQ(Mid("WinNT://HOST", 9), "HOST");
  EXPECT_EQ(Mid("WinNT://", 9), "");
  EXPECT_EQ(Mid("abc", 2, 1), "b");
  EXPECT_EQ(Mid("abc", 3, 10), "c");
  EXPECT_EQ(Left("abc", 10), "abc");
  EXPECT_EQ(Right("abc", 2), "bc");
  EXPECT_EQ(Right("abc", 0), "");
  EXPECT_EQ(InStr(1, "a,b,c", ","), 2);
  EXPECT_EQ(InStr(3, "a,b,c", ","), 4);
  EXPECT_EQ(InStr(1, "abc", ","), 0);
  EXPECT_EQ(InStr(4, "abc", ""), 4);
  for (auto bad : {+[] { Right("WinNT", 5 - 8); }, +[] { Left("a", -1); }, +[] { Mid("a", 0); },
                   +[] { Mid("a", 1, -1); }, +[] { InStr(0, "a", "a"); }}) {
    EXPECT_THAT(ErrorOf(bad), AutomationErrorIs(5, "Invalid procedure call or argument"));
  }
}

TEST(ContinueAfterErrorTest, KeepsTheLatestFailureUntilCleared) {
  ContinueAfterError resume;
  int reached = 0;
  EXPECT_FALSE(resume.Run([] { throw AutomationError(1, "first"); }));
  EXPECT_TRUE(resume.Run([&] { ++reached; }));
  EXPECT_TRUE(resume.has_pending());  // a later success does not clear the pending error
  EXPECT_EQ(resume.pending().description, "first");
  resume.Run([] { throw AutomationError(2, "second"); });
  EXPECT_EQ(resume.pending().number, 2);
  resume.Clear();
  EXPECT_FALSE(resume.has_pending());
  EXPECT_EQ(reached, 1);
}

}  // namespace
}  // namespace brindlecore::component
