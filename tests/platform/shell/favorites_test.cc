#include "platform/shell/favorites.h"

#include <gtest/gtest.h>

#include "platform/automation/errors.h"
#include "support/matchers.h"
#include "support/temp_dir.h"

namespace brindlecore::platform {
namespace {

using testing::ErrorNumberIs;
using testing::ErrorOf;

using testing::TempDir;

TEST(FavoritesTest, TitleBecomesASafeFileNameAndSameTitleReplaces) {
  const std::pair<Variant, std::string> cases[] = {
      {Variant("a/b\\c:d*e?f\"g<h>i|j"), "a_b_c_d_e_f_g_h_i_j"},
      {Variant("../up"), "_up"},
      {Variant("line\nbreak"), "line_break"},
      {Variant("dots... "), "dots"},
      {Variant(int32_t{42}), "42"},
      {Variant(), "http___host_p"},  // no title: named after the address
  };
  for (const auto& [title, file] : cases) {
    TempDir dir;
    if (!title.IsEmpty()) AddFavorite(dir.path(), "http://old/", title);
    AddFavorite(dir.path(), "http://host/p", title);
    auto list = ListFavorites(dir.path());
    ASSERT_EQ(list.size(), 1u) << file;
    EXPECT_EQ(list[0].title, file);
    EXPECT_EQ(list[0].url, "http://host/p");
  }
}

TEST(FavoritesTest, RefusedInputsLeaveNoFile) {
  TempDir dir;
  const std::pair<std::string, Variant> cases[] = {
      {"", Variant("t")}, {"http://a/\nURL=x", Variant("t")}, {"http://a/", Variant::Null()}};
  const int numbers[] = {errors::kEInvalidarg.number, errors::kEInvalidarg.number, 94};
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_THAT(ErrorOf([&] { AddFavorite(dir.path(), cases[i].first, cases[i].second); }),
                ErrorNumberIs(numbers[i]))
        << i;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace brindlecore::platform
