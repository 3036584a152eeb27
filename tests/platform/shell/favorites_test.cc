#include "platform/shell/favorites.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/automation/errors.h"
#include "support/temp_dir.h"

namespace brindlecore::platform {
namespace {

using testing::TempDir;

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e.number;
  }
  return 0;
}

TEST(FavoritesTest, WritesAnInternetShortcutIntoAPrivateFolder) {
  TempDir dir;
  auto folder = dir.path() / "favorites";
  AddFavorite(folder, "http://stats.example/report", Variant("Reports"));
  EXPECT_EQ(Slurp(folder / "Reports.url"), "[InternetShortcut]\nURL=http://stats.example/report\n");
  struct stat st;
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(FavoritesTest, SameTitleReplacesTheFirst) {
  TempDir dir;
  AddFavorite(dir.path(), "http://a/", Variant("Stats"));
  AddFavorite(dir.path(), "http://b/", Variant("Stats"));
  auto list = ListFavorites(dir.path());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].url, "http://b/");
}

TEST(FavoritesTest, TitleBecomesASafeFileName) {
  struct Case {
    Variant title;
    std::string url, file;
  };
  const Case cases[] = {
      {Variant("a/b\\c:d*e?f\"g<h>i|j"), "http://x/", "a_b_c_d_e_f_g_h_i_j"},
      {Variant("../up"), "http://x/", "_up"},
      {Variant("line\nbreak"), "http://x/", "line_break"},
      {Variant("dots... "), "http://x/", "dots"},
      {Variant(int32_t{42}), "http://x/", "42"},
      {Variant(), "http://host/p", "http___host_p"},
      {Variant("   "), "http://host/", "http___host_"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    AddFavorite(dir.path(), c.url, c.title);
    auto list = ListFavorites(dir.path());
    ASSERT_EQ(list.size(), 1u) << c.file;
    EXPECT_EQ(list[0].title, c.file);
    EXPECT_EQ(list[0].url, c.url);
  }
}

TEST(FavoritesTest, LongTitleIsCutOnACharacterBoundary) {
  TempDir dir;
  std::string title;
  for (int i = 0; i < 150; ++i) title += "\xC3\xA9";  // 300 bytes of two-byte characters
  AddFavorite(dir.path(), "http://x/", Variant(title));
  auto list = ListFavorites(dir.path());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].title, title.substr(0, 200));
}

TEST(FavoritesTest, RefusedInputsLeaveNoFile) {
  TempDir dir;
  auto folder = dir.path() / "favorites";
  EXPECT_EQ(ErrorOf([&] { AddFavorite(folder, "", Variant("t")); }), errors::kEInvalidarg.number);
  EXPECT_EQ(ErrorOf([&] { AddFavorite(folder, "http://a/\nURL=x", Variant("t")); }),
            errors::kEInvalidarg.number);
  EXPECT_EQ(ErrorOf([&] { AddFavorite(folder, "http://a/", Variant::Null()); }), 94);
  EXPECT_TRUE(ListFavorites(folder).empty());
}

TEST(FavoritesTest, ListIsOrderedByTitleAndIgnoresOtherFiles) {
  TempDir dir;
  AddFavorite(dir.path(), "http://z/", Variant("Zeta"));
  AddFavorite(dir.path(), "http://a/", Variant("Alpha"));
  std::ofstream(dir.path() / "notes.txt") << "URL=http://no/\n";
  std::ofstream(dir.path() / "crlf.url") << "[InternetShortcut]\r\nURL=http://c/\r\n";
  auto list = ListFavorites(dir.path());
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].title, "Alpha");
  EXPECT_EQ(list[1].title, "Zeta");
  EXPECT_EQ(list[2].title, "crlf");
  EXPECT_EQ(list[2].url, "http://c/");
  EXPECT_TRUE(ListFavorites(dir.path() / "missing").empty());
}

}  // namespace
}  // namespace brindlecore::platform
