// The host's conversion rules, once for every user of them.
#include "brindlecore/variant.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "brindlecore/automation.h"

namespace brindlecore {
namespace {

// Checks one conversion: `expected` when it succeeds, otherwise the number of its failure.
template <typename T, typename F>
void ExpectConversion(F convert, const Variant& value, std::optional<T> expected, int error) {
  SCOPED_TRACE(value.IsArray() ? std::string("<array>") : ConcatText(value));
  try {
    T got = convert(value);
    ASSERT_TRUE(expected) << "no error";
    EXPECT_EQ(got, *expected);
  } catch (const AutomationError& e) {
    EXPECT_FALSE(expected) << e.description;
    EXPECT_EQ(e.number, error);
  }
}

template <typename T>
struct Conversion {
  Variant value;
  std::optional<T> expected;  // nullopt: fails with `error`
  int error = 0;
};

TEST(VariantTest, TextOfEachKind) {
  const std::vector<Conversion<std::string>> cases = {
      {Variant(), ""},
      {Variant::Null(), std::nullopt, 94},
      {Variant(true), "True"},
      {Variant(false), "False"},
      {Variant(int16_t{-7}), "-7"},
      {Variant(int32_t{2147483647}), "2147483647"},
      {Variant(2.5), "2.5"},
      {Variant(3.0), "3"},
      {Variant(0.1), "0.1"},
      {Variant(" a b "), " a b "},
      {Variant::Strings({"a"}), std::nullopt, 13},
  };
  for (const auto& c : cases) {
    ExpectConversion<std::string>([](const Variant& v) { return ToText(v); }, c.value, c.expected,
                                  c.error);
    if (c.expected) {
      EXPECT_EQ(ConcatText(c.value), *c.expected);
    }
  }
  EXPECT_EQ(ConcatText(Variant::Null()), "");
}

TEST(VariantTest, TruthValues) {
  const std::vector<Conversion<bool>> cases = {
      {Variant(), false},
      {Variant::Null(), std::nullopt, 94},
      {Variant(true), true},
      {Variant(0), false},
      {Variant(-3), true},
      {Variant(0.0), false},
      {Variant("TRUE"), true},
      {Variant("fAlse"), false},
      {Variant(" true "), true},
      {Variant("0"), false},
      {Variant("2"), true},
      {Variant("yes"), std::nullopt, 13},
      {Variant(""), std::nullopt, 13},
      {Variant::Strings({}), std::nullopt, 13},
  };
  for (const auto& c : cases) {
    ExpectConversion<bool>([](const Variant& v) { return ToBool(v); }, c.value, c.expected,
                           c.error);
  }
}

TEST(VariantTest, LongsRoundHalfToEvenAndReportOverflow) {
  const std::vector<Conversion<int32_t>> cases = {
      {Variant(2.5), 2},
      {Variant(3.5), 4},
      {Variant(-2.5), -2},
      {Variant(" 12 "), 12},
      {Variant(), 0},
      {Variant(true), -1},
      {Variant("1e3"), 1000},
      {Variant("12abc"), std::nullopt, 13},
      {Variant("nan"), std::nullopt, 13},
      {Variant("0x10"), std::nullopt, 13},
      {Variant(2147483648.0), std::nullopt, 6},
      {Variant(-2147483648.0), -2147483647 - 1},
      {Variant::Null(), std::nullopt, 94},
  };
  for (const auto& c : cases) {
    ExpectConversion<int32_t>([](const Variant& v) { return ToLong(v); }, c.value, c.expected,
                              c.error);
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
