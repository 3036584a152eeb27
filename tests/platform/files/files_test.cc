// The files the platform reads and writes itself: import files, and favorites.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "platform/automation/errors.h"
#include "platform/files/text_file.h"
#include "platform/shell/favorites.h"
#include "support/matchers.h"
#include "support/temp_dir.h"

namespace brindlecore::platform {
namespace {

using testing::AutomationErrorIs;
using testing::ErrorNumberIs;
using testing::ErrorOf;
using testing::TempDir;

TEST(TextFileTest, SplitsLinesAtLfAndCrLfOnly) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}},
      {"a\nb\n", {"a", "b"}},
      {"a\r\nb\nc", {"a", "b", "c"}},
      {"\n\r\n\nx", {"", "", "", "x"}},
      {"a\rb\nc\r", {"a\rb", "c\r"}},
  };
  for (const auto& [content, expected] : cases) {
    TempDir dir;
    std::ofstream(dir.path() / "in.txt", std::ios::binary) << content;
    auto stream = OpenTextFile((dir.path() / "in.txt").string());
    std::vector<std::string> lines;
    while (!stream->AtEndOfStream()) lines.push_back(stream->ReadLine());
    EXPECT_EQ(lines, expected) << content;
    // Past the end: 62, and the last line never comes back.
    EXPECT_THAT(ErrorOf([&] { stream->ReadLine(); }),
                AutomationErrorIs(62, "Input past end of file"));
  }
}

TEST(TextFileTest, OpenFailuresUseTheRuntimeNumbers) {
  TempDir dir;
  std::ofstream(dir.path() / "file.txt") << "x";
  // A FIFO without a writer would block the caller for good; a device would never end.
  ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
  const std::tuple<std::string, int, std::string> cases[] = {
      {(dir.path() / "fifo").string(), 54, "Bad file mode"},
      {"/dev/zero", 54, "Bad file mode"},
      {(dir.path() / "nodir" / "a.txt").string(), 76, "Path not found"},
      {(dir.path() / "file.txt" / "a.txt").string(), 76, "Path not found"},
      {dir.path().string(), 53, "File not found"},
  };
  for (const auto& [path, number, text] : cases) {
    EXPECT_THAT(ErrorOf([&] { OpenTextFile(path); }), AutomationErrorIs(number, text)) << path;
  }
}

TEST(TextFileTest, LinesEndAtTheLimit) {
  TempDir dir;
  const std::string longest(kMaxLineLength, 'x');
  std::ofstream(dir.path() / "in.txt", std::ios::binary) << longest << "\r\n"
                                                         << longest << "y\nnever read\n";
  auto stream = OpenTextFile((dir.path() / "in.txt").string());
  EXPECT_EQ(stream->ReadLine(), longest);
  EXPECT_THAT(ErrorOf([&] { stream->ReadLine(); }), AutomationErrorIs(14, "Out of string space"));
}

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
  const std::tuple<std::string, Variant, int> cases[] = {
      {"", Variant("t"), errors::kEInvalidarg.number},
      {"http://a/\nURL=x", Variant("t"), errors::kEInvalidarg.number},
      {"http://a/", Variant::Null(), 94},
  };
  for (const auto& [url, title, number] : cases) {
    EXPECT_THAT(ErrorOf([&] { AddFavorite(dir.path(), url, title); }), ErrorNumberIs(number))
        << url;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace brindlecore::platform
