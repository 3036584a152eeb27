// The JSON-lines host end to end: the command registers the component in a fresh root and
// answers calls line by line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace brindlecore::testing {
namespace {

class InvokeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* bin = std::getenv("BRINDLECORE_BIN");
    const char* component = std::getenv("BRINDLECORE_COMPONENT");
    if (!bin || !component) GTEST_SKIP() << "BRINDLECORE_BIN / BRINDLECORE_COMPONENT not set";
    bin_ = bin;
    component_ = component;
  }

  int Run(const std::string& args, const std::string& input, std::vector<std::string>* lines) {
    std::filesystem::path in = dir_.path() / "in.jsonl";
    std::filesystem::path out = dir_.path() / "out.jsonl";
    std::ofstream(in) << input;
    std::string command = "'" + bin_ + "' --root '" + (dir_.path() / "root").string() + "' " +
                          args + " < '" + in.string() + "' > '" + out.string() + "' 2>&1";
    int status = std::system(command.c_str());
    std::ifstream result(out);
    for (std::string line; std::getline(result, line);) lines->push_back(line);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::vector<std::string> Invoke(const std::string& input, const std::string& flags = "") {
    std::vector<std::string> lines;
    EXPECT_EQ(Run("invoke " + flags, input, &lines), 0);
    return lines;
  }

  std::string bin_, component_;
  TempDir dir_;
};

TEST_F(InvokeTest, AnswersEachLineInOrderAndGoesOnAfterBadOnes) {
  std::vector<std::string> reg;
  ASSERT_EQ(Run("regsvr '" + component_ + "'", "", &reg), 0);

  std::string many_args = "0";
  for (int i = 0; i < 100000; ++i) many_args += ",0";
  const std::vector<std::pair<std::string, std::string>> exchanges = {
      {"not json",
       R"({"error":{"number":-2147024809,"description":"Invalid request: not JSON: byte 2"},"refs":[]})"},
      {R"({"args":[]})",
       R"({"error":{"number":-2147024809,"description":"Invalid request: missing \"method\""},"refs":[]})"},
      {R"({"method":"GetVirtualWebServers","args":[{"ref":{"x":1}}]})",
       R"({"error":{"number":-2147024809,"description":"Invalid request: argument 1 (by reference): an object must be {\"empty\": true} or {\"ref\": value}"},"refs":[]})"},
      {R"({"method":"GetVirtualWebServers","args":[1e400]})",
       R"({"error":{"number":-2147024809,"description":"Invalid request: a number is out of range"},"refs":[]})"},
      {R"({"method":"GetVirtualWebServers","args":[{"ref":[1,[{"x":1}]]}]})",
       R"({"error":{"number":-2147024809,"description":"Invalid request: argument 1 (by reference) item 2 item 1: an object must be {\"empty\": true} or {\"ref\": value}"},"refs":[]})"},
      {R"({"method":"GetVirtualWebServers","args":[)" + std::string(50000, '[') +
           std::string(50000, ']') + "]}",
       R"({"error":{"number":-2147024809,"description":"Invalid request: nested deeper than 64 levels"},"refs":[]})"},
      {R"({"method":"GetVirtualWebServers","arg":[]})",
       R"({"error":{"number":-2147024809,"description":"Invalid request: unknown member \"arg\""},"refs":[]})"},
      {R"({"method":"NoSuchMethod","args":[]})",
       R"({"error":{"number":-2147352570,"description":"Unknown name."},"refs":[]})"},
      {R"({"method":"AddFavorite","args":[{"ref":"http://a"},{"ref":7},{"ref":null}]})",
       R"({"error":{"number":-2147352571,"description":"Type mismatch."},"refs":["http://a",7,null]})"},
      // A plain value where the method writes back is refused before the call, not dropped.
      {R"({"method":"AddFavorite","args":[{"ref":"http://a"},{"ref":7},null]})",
       R"({"error":{"number":-2147024809,"description":"Invalid request: argument 3 (pvError) must be passed by reference: {\"ref\": value}"},"refs":["http://a",7]})"},
      {R"({"method":"authenticateuser","args":["PC",null,"u","p",{"ref":1},2,"A","S",{"ref":""}]})",
       R"({"error":{"number":-2147024809,"description":"Invalid request: argument 6 (pvGroupNames) must be passed by reference: {\"ref\": value}"},"refs":[1,""]})"},
      // The count is checked first, and the method is named as the class spells it.
      {R"({"method":"GetAllUsers","args":["WinNT://PC","PC","G","false"]})",
       R"({"error":{"number":-2147024809,"description":"Invalid request: GetAllUsers takes 5 arguments, 4 given"},"refs":[]})"},
      {R"({"method":"getvirtualwebservers","args":[]})",
       R"({"error":{"number":-2147024809,"description":"Invalid request: GetVirtualWebServers takes 1 argument, 0 given"},"refs":[]})"},
      {R"({"method":"GetVirtualWebServers","args":[)" + many_args + "]}",
       R"({"error":{"number":-2147024809,"description":"Invalid request: GetVirtualWebServers takes 1 argument, 100001 given"},"refs":[]})"},
      // A "ref" inside a "ref" is not a value.
      {R"({"method":"GetVirtualWebServers","args":[{"ref":{"ref":""}}]})",
       R"({"error":{"number":-2147024809,"description":"Invalid request: argument 1 (by reference): an object must be {\"empty\": true} or {\"ref\": value}"},"refs":[]})"},
      {R"({"method":"RemoveUserFromGroup","args":[{"empty":true},"bob","QZW3SVC1",{"ref":"keep"}]})",
       R"({"error":{"number":-1,"description":"Invalid Computer Name To Remove From -- Empty"},"refs":["keep"]})"},
      {R"({"method":"authenticateuser","args":["PC",null,"u","p",{"ref":{"empty":true}},{"ref":null},"A","ServerAdministrator",{"ref":"x"}]})",
       R"({"result":"","refs":[{"empty":true},null,"x - -1,Invalid NT Domain -- Null"]})"},
      {R"({"method":"RemoveUserFromGroup","args":[{"empty":true},"","",{"ref":"\t\u0001é\"\\"}]})",
       R"({"error":{"number":-1,"description":"Invalid Computer Name To Remove From -- Empty"},"refs":["\t\u0001é\"\\"]})"},
      {R"({"method":"GetVirtualWebServers","args":[1],"progid":"No.Such"})",
       R"({"error":{"number":-2147221005,"description":"Invalid class string"},"refs":[]})"},
  };
  std::string input;
  for (const auto& [request, response] : exchanges) input += request + "\n";
  std::vector<std::string> lines = Invoke(input);
  ASSERT_EQ(lines.size(), exchanges.size());
  for (size_t i = 0; i < exchanges.size(); ++i) {
    EXPECT_EQ(lines[i], exchanges[i].second) << exchanges[i].first.substr(0, 200);
  }
}

TEST_F(InvokeTest, UnregisteredClassCannotBeCreated) {
  std::vector<std::string> reg;
  ASSERT_EQ(Run("regsvr '" + component_ + "'", "", &reg), 0);
  ASSERT_EQ(Run("regsvr -u '" + component_ + "'", "", &reg), 0);
  EXPECT_EQ(
      Invoke(R"({"method":"GetVirtualWebServers","args":[{"ref":"e"}]})"
             "\n"),
      std::vector<std::string>{
          R"({"error":{"number":-2147221005,"description":"Invalid class string"},"refs":["e"]})"});
  // A library that cannot be loaded is refused with the loader's error, and nothing registered.
  std::vector<std::string> out;
  EXPECT_EQ(Run("regsvr '" + (dir_.path() / "missing.so").string() + "'", "", &out), 1);
  EXPECT_EQ(out, std::vector<std::string>{"brindlecore: The specified module could not be found."});
}

// The examples that `invoke --help` gives answer as it says on a root with bob and site 1.
TEST_F(InvokeTest, HelpExampleAnswersAsDocumented) {
  std::vector<std::string> help, ignored;
  ASSERT_EQ(Run("invoke --help", "", &help), 0);
  std::string input;
  std::vector<std::string> expected;
  for (const std::string& line : help) {
    if (line.starts_with("  in:  ")) input += line.substr(7) + "\n";
    if (line.starts_with("  out: ")) expected.push_back(line.substr(7));
  }
  ASSERT_EQ(expected.size(), 6u);
  ASSERT_EQ(Run("init --computer WEBSRV1", "", &ignored), 0);
  ASSERT_EQ(Run("user add WEBSRV1 bob", "", &ignored), 0);
  ASSERT_EQ(Run("site add", "", &ignored), 0);
  EXPECT_EQ(Invoke(input), expected);
}

}  // namespace
}  // namespace brindlecore::testing
