#include "platform/files/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "support/temp_dir.h"

namespace brindlecore::platform {
namespace {

using testing::TempDir;

std::string Write(const TempDir& dir, const std::string& content) {
  std::string path = (dir.path() / "input.txt").string();
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::vector<std::string> ReadAll(TextStream& stream) {
  std::vector<std::string> lines;
  while (!stream.AtEndOfStream()) lines.push_back(stream.ReadLine());
  return lines;
}

struct LinesCase {
  const char* name;
  std::string content;
  std::vector<std::string> lines;
};

TEST(TextFileTest, SplitsLinesAtLfAndCrLf) {
  const LinesCase cases[] = {
      {"empty file", "", {}},
      {"one line without end", "abc", {"abc"}},
      {"trailing LF adds no line", "a\nb\n", {"a", "b"}},
      {"CRLF", "a\r\nb\r\n", {"a", "b"}},
      {"mixed ends", "a\r\nb\nc", {"a", "b", "c"}},
      {"blank lines kept", "\n\r\n\nx", {"", "", "", "x"}},
      {"lone CR is text", "a\rb\nc\r", {"a\rb", "c\r"}},
      {"spaces and tabs kept", "  +a,b \t\n", {"  +a,b \t"}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    auto stream = OpenTextFile(Write(dir, c.content));
    EXPECT_EQ(ReadAll(*stream), c.lines) << c.name;
  }
}

TEST(TextFileTest, LongLineIsReadWhole) {
  TempDir dir;
  std::string line(100000, 'x');
  auto stream = OpenTextFile(Write(dir, line + "\r\nend"));
  EXPECT_EQ(stream->ReadLine(), line);
  EXPECT_EQ(stream->ReadLine(), "end");
}

TEST(TextFileTest, ReadingPastTheEndFailsWithoutRepeatingTheLastLine) {
  TempDir dir;
  auto stream = OpenTextFile(Write(dir, "only\n"));
  EXPECT_EQ(stream->ReadLine(), "only");
  for (int i = 0; i < 2; ++i) {
    try {
      stream->ReadLine();
      FAIL() << "read past the end";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number, 62);
      EXPECT_EQ(e.description, "Input past end of file");
    }
  }
  EXPECT_TRUE(stream->AtEndOfStream());
}

TEST(TextFileTest, ClosedStreamRefusesReads) {
  TempDir dir;
  auto stream = OpenTextFile(Write(dir, "a\n"));
  stream->Close();
  stream->Close();
  EXPECT_THROW(stream->ReadLine(), AutomationError);
  EXPECT_THROW(stream->AtEndOfStream(), AutomationError);
}

TEST(TextFileTest, OpenFailuresUseTheRuntimeNumbers) {
  TempDir dir;
  std::string existing = Write(dir, "x");
  struct Case {
    const char* name;
    std::string path;
    int number;
    const char* text;
  };
  const Case cases[] = {
      {"missing file", (dir.path() / "none.txt").string(), 53, "File not found"},
      {"missing folder", (dir.path() / "nodir" / "a.txt").string(), 76, "Path not found"},
      {"file used as folder", existing + "/a.txt", 76, "Path not found"},
      {"a folder", dir.path().string(), 53, "File not found"},
      {"empty name", "", 53, "File not found"},
  };
  for (const auto& c : cases) {
    try {
      OpenTextFile(c.path);
      ADD_FAILURE() << c.name << ": opened";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number, c.number) << c.name;
      EXPECT_EQ(e.description, c.text) << c.name;
    }
  }
}

TEST(TextFileTest, UnreadableFileIsPermissionDenied) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  TempDir dir;
  std::string path = Write(dir, "secret\n");
  ::chmod(path.c_str(), 0);
  try {
    OpenTextFile(path);
    FAIL() << "opened";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number, 70);
    EXPECT_EQ(e.description, "Permission denied");
  }
}

}  // namespace
}  // namespace brindlecore::platform
