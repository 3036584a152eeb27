// The host's conversion rules, once for every user of them.
#include "brindlecore/variant.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "brindlecore/automation.h"

namespace brindlecore {
namespace {

using Rows = std::vector<std::pair<Variant, std::string>>;

std::string Show(const std::string& text) { return text; }
std::string Show(bool truth) { return truth ? "true" : "false"; }
std::string Show(int32_t number) { return std::to_string(number); }

// Each row's value converted, shown as text, or "error N" for the failure's number.
template <typename F>
void ExpectConversions(F convert, const Rows& rows) {
  for (const auto& [value, expected] : rows) {
    std::string got;
    try {
      got = Show(convert(value));
    } catch (const AutomationError& e) {
      got = std::string("error ").append(std::to_string(e.number));
    }
    EXPECT_EQ(got, expected) << (value.IsArray() ? std::string("<array>") : ConcatText(value));
  }
}

TEST(VariantTest, TextOfEachKind) {
  const Rows rows = {
      {Variant(), ""},
      {Variant::Null(), "error 94"},
      {Variant(true), "True"},
      {Variant(false), "False"},
      {Variant(int16_t{-7}), "-7"},
      {Variant(int32_t{2147483647}), "2147483647"},
      {Variant(2.5), "2.5"},
      {Variant(3.0), "3"},
      {Variant(0.1), "0.1"},
      {Variant(" a b "), " a b "},
      {Variant::Strings({"a"}), "error 13"},
  };
  ExpectConversions([](const Variant& v) { return ToText(v); }, rows);
  for (const auto& [value, text] : rows) {
    if (!text.starts_with("error")) {
      EXPECT_EQ(ConcatText(value), text);
    }
  }
  EXPECT_EQ(ConcatText(Variant::Null()), "");
}

TEST(VariantTest, TruthValues) {
  ExpectConversions([](const Variant& v) { return ToBool(v); },
                    {
                        {Variant(), "false"},
                        {Variant::Null(), "error 94"},
                        {Variant(true), "true"},
                        {Variant(0), "false"},
                        {Variant(-3), "true"},
                        {Variant(0.0), "false"},
                        {Variant("TRUE"), "true"},
                        {Variant("fAlse"), "false"},
                        {Variant(" true "), "true"},
                        {Variant("0"), "false"},
                        {Variant("2"), "true"},
                        {Variant("yes"), "error 13"},
                        {Variant(""), "error 13"},
                        {Variant::Strings({}), "error 13"},
                    });
}

TEST(VariantTest, LongsRoundHalfToEvenAndReportOverflow) {
  ExpectConversions([](const Variant& v) { return ToLong(v); },
                    {
                        {Variant(2.5), "2"},
                        {Variant(3.5), "4"},
                        {Variant(-2.5), "-2"},
                        {Variant(" 12 "), "12"},
                        {Variant(), "0"},
                        {Variant(true), "-1"},
                        {Variant("1e3"), "1000"},
                        {Variant("12abc"), "error 13"},
                        {Variant("nan"), "error 13"},
                        {Variant("0x10"), "error 13"},
                        {Variant(2147483648.0), "error 6"},
                        {Variant(-2147483648.0), "-2147483648"},
                        {Variant::Null(), "error 94"},
                    });
}

TEST(VariantTest, TrimAndEquality) {
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim("\ta\t"), "\ta\t");  // spaces only
  EXPECT_EQ(Trim(" \n "), "\n");
  EXPECT_EQ(Variant(), Variant::Empty());
  EXPECT_EQ(Variant::Null(), Variant::Null());
  EXPECT_NE(Variant(), Variant::Null());
  EXPECT_NE(Variant("a"), Variant("A"));
  EXPECT_NE(Variant(1), Variant(1.0));
  EXPECT_NE(Variant(""), Variant());
}

}  // namespace
}  // namespace brindlecore
