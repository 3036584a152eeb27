// The host's conversion rules, once for every user of them.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "brindlecore/automation.h"
#include "brindlecore/variant.h"

namespace brindlecore {
namespace {

struct Conversion {
  Variant value;
  std::optional<std::string> text;  // nullopt: fails
  int error = 0;                    // the failure's number
};

TEST(VariantTest, TextOfEachKind) {
  const std::vector<Conversion> cases = {
      {Variant(), "", 0},
      {Variant::Null(), std::nullopt, 94},
      {Variant(true), "True", 0},
      {Variant(false), "False", 0},
      {Variant(int16_t{-7}), "-7", 0},
      {Variant(int32_t{2147483647}), "2147483647", 0},
      {Variant(2.5), "2.5", 0},
      {Variant(3.0), "3", 0},
      {Variant(0.1), "0.1", 0},
      {Variant(" a b "), " a b ", 0},
      {Variant::Strings({"a"}), std::nullopt, 13},
  };
  for (const Conversion& c : cases) {
    SCOPED_TRACE(TypeName(c.value.type()));
    if (c.text) {
      EXPECT_EQ(ToText(c.value), *c.text);
      EXPECT_EQ(ConcatText(c.value), *c.text);
    } else {
      try {
        ToText(c.value);
        ADD_FAILURE() << "no error";
      } catch (const AutomationError& e) {
        EXPECT_EQ(e.number, c.error);
      }
    }
  }
  EXPECT_EQ(ConcatText(Variant::Null()), "");
}

TEST(VariantTest, TruthValues) {
  struct Case {
    Variant value;
    std::optional<bool> truth;
    int error;
  };
  const std::vector<Case> cases = {
      {Variant(), false, 0},         {Variant::Null(), std::nullopt, 94},
      {Variant(true), true, 0},      {Variant(0), false, 0},
      {Variant(-3), true, 0},        {Variant(0.0), false, 0},
      {Variant("TRUE"), true, 0},    {Variant("fAlse"), false, 0},
      {Variant(" true "), true, 0},  {Variant("0"), false, 0},
      {Variant("2"), true, 0},       {Variant("yes"), std::nullopt, 13},
      {Variant(""), std::nullopt, 13}, {Variant::Strings({}), std::nullopt, 13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ConcatText(c.value.IsArray() ? Variant("<array>") : c.value));
    if (c.truth) {
      EXPECT_EQ(ToBool(c.value), *c.truth);
    } else {
      try {
        ToBool(c.value);
        ADD_FAILURE() << "no error";
      } catch (const AutomationError& e) {
        EXPECT_EQ(e.number, c.error);
      }
    }
  }
}

TEST(VariantTest, LongsRoundHalfToEvenAndReportOverflow) {
  struct Case {
    Variant value;
    std::optional<int32_t> n;
    int error;
  };
  const std::vector<Case> cases = {
      {Variant(2.5), 2, 0},           {Variant(3.5), 4, 0},
      {Variant(-2.5), -2, 0},         {Variant(" 12 "), 12, 0},
      {Variant(), 0, 0},              {Variant(true), -1, 0},
      {Variant("1e3"), 1000, 0},      {Variant("12abc"), std::nullopt, 13},
      {Variant("nan"), std::nullopt, 13}, {Variant("0x10"), std::nullopt, 13},
      {Variant(2147483648.0), std::nullopt, 6},
      {Variant(-2147483648.0), -2147483647 - 1, 0},
      {Variant::Null(), std::nullopt, 94},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ConcatText(c.value));
    if (c.n) {
      EXPECT_EQ(ToLong(c.value), *c.n);
    } else {
      try {
        ToLong(c.value);
        ADD_FAILURE() << "no error";
      } catch (const AutomationError& e) {
        EXPECT_EQ(e.number, c.error);
      }
    }
  }
}

TEST(VariantTest, TrimRemovesSpacesOnly) {
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim("\ta\t"), "\ta\t");
  EXPECT_EQ(Trim(" \n "), "\n");
}

TEST(VariantTest, EqualityIsExactAndTyped) {
  EXPECT_EQ(Variant(), Variant::Empty());
  EXPECT_EQ(Variant::Null(), Variant::Null());
  EXPECT_NE(Variant(), Variant::Null());
  EXPECT_NE(Variant("a"), Variant("A"));
  EXPECT_NE(Variant(1), Variant(1.0));
  EXPECT_NE(Variant(""), Variant());
}

}  // namespace
}  // namespace brindlecore
