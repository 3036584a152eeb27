// The JSON-lines host end to end: the command registers the component in a fresh root and
// answers calls line by line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/command.h"
#include "support/temp_dir.h"

namespace brindlecore::testing {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class InvokeTest : public ::testing::Test {
 protected:
  CommandOutcome Brindle(std::vector<std::string> args, const std::string& input = "") {
    return RunCommand(dir_.path() / "root", std::move(args), input);
  }
  // The answers to `input`, one a line; the host itself must exit cleanly.
  std::vector<std::string> Invoke(const std::string& input) {
    CommandOutcome o = Brindle({"invoke"}, input);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    return Lines(o.out);
  }
  const std::string component_ = std::getenv("BRINDLECORE_COMPONENT");

  TempDir dir_;
};

TEST_F(InvokeTest, AnswersEachLineInOrderAndGoesOnAfterBadOnes) {
  ASSERT_EQ(Brindle({"regsvr", component_}).status, 0);
  std::string many_args = "0";
  for (int i = 0; i < 100000; ++i) many_args += ",0";
  // Requests refused before any call; the first row spells such an answer out.
  auto invalid = [](const std::string& why) {
    return R"({"error":{"number":-2147024809,"description":"Invalid request: )" + why +
           R"("},"refs":[]})";
  };
  const std::string not_a_value = R"(an object must be {\"empty\": true} or {\"ref\": value})";
  const std::vector<std::pair<std::string, std::string>> exchanges = {
      {"not json",
       R"({"error":{"number":-2147024809,"description":"Invalid request: not JSON: byte 2"},"refs":[]})"},
      {R"({"args":[]})", invalid(R"(missing \"method\")")},
      {R"({"method":"GetVirtualWebServers","args":[{"ref":{"x":1}}]})",
       invalid("argument 1 (by reference): " + not_a_value)},
      {R"({"method":"GetVirtualWebServers","args":[1e400]})", invalid("a number is out of range")},
      {R"({"method":"GetVirtualWebServers","args":[{"ref":[1,[{"x":1}]]}]})",
       invalid("argument 1 (by reference) item 2 item 1: " + not_a_value)},
      {R"({"method":"GetVirtualWebServers","args":[)" + std::string(50000, '[') +
           std::string(50000, ']') + "]}",
       invalid("nested deeper than 64 levels")},
      {R"({"method":"GetVirtualWebServers","arg":[]})", invalid(R"(unknown member \"arg\")")},
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
       invalid("GetAllUsers takes 5 arguments, 4 given")},
      {R"({"method":"getvirtualwebservers","args":[]})",
       invalid("GetVirtualWebServers takes 1 argument, 0 given")},
      {R"({"method":"GetVirtualWebServers","args":[)" + many_args + "]}",
       invalid("GetVirtualWebServers takes 1 argument, 100001 given")},
      // A "ref" inside a "ref" is not a value.
      {R"({"method":"GetVirtualWebServers","args":[{"ref":{"ref":""}}]})",
       invalid("argument 1 (by reference): " + not_a_value)},
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

TEST_F(InvokeTest, AnUnregisteredOrUnloadableClassIsRefused) {
  ASSERT_EQ(Brindle({"regsvr", component_}).status, 0);
  ASSERT_EQ(Brindle({"regsvr", "-u", component_}).status, 0);
  EXPECT_EQ(Invoke(R"({"method":"GetVirtualWebServers","args":[{"ref":"e"}]})"
                   "\n"),
            std::vector<std::string>{R"({"error":{"number":-2147221005,"description":"Invalid )"
                                     R"(class string"},"refs":["e"]})"});
  CommandOutcome missing = Brindle({"regsvr", (dir_.path() / "missing.so").string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "brindlecore: The specified module could not be found.\n");
}

// Each result line is byte for byte what the JSON library writes for it, whichever way the host
// writes a text: every ASCII byte, and a text that is not all ASCII nor all valid UTF-8.
TEST_F(InvokeTest, ResultTextsAreWrittenAsTheJsonLibraryWritesThem) {
  std::string ascii;
  for (int c = 1; c < 0x80; ++c) ascii += static_cast<char>(c);
  for (auto args : {std::vector<std::string>{"regsvr", component_},
                    {"computer", "add", "PC"},
                    {"user", "add", "PC", "a", "--description", ascii},
                    {"user", "add", "PC", "b", "--description", ascii + "\xc3\xa9\xff"}}) {
    ASSERT_EQ(Brindle(args).status, 0) << args[0];
  }
  const std::vector<std::string> lines =
      Invoke(R"({"method":"GetAllUsers","args":["WinNT://PC","PC","G","false",{"ref":""}]})"
             "\n");
  ASSERT_EQ(lines.size(), 1u);
  const auto answer = nlohmann::ordered_json::parse(lines[0]);
  EXPECT_EQ(answer.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace),
            lines[0]);
  EXPECT_NE(answer["result"].get<std::string>().find(ascii + "</TD>"), std::string::npos);
  EXPECT_NE(answer["result"].get<std::string>().find(ascii + "\xc3\xa9\xef\xbf\xbd</TD>"),
            std::string::npos);
}

// The examples that `invoke --help` gives answer as it says on a root with bob and site 1.
TEST_F(InvokeTest, HelpExampleAnswersAsDocumented) {
  CommandOutcome help = Brindle({"invoke", "--help"});
  ASSERT_EQ(help.status, 0);
  std::string input;
  std::vector<std::string> expected;
  for (const std::string& line : Lines(help.out)) {
    if (line.starts_with("  in:  ")) input += line.substr(7) + "\n";
    if (line.starts_with("  out: ")) expected.push_back(line.substr(7));
  }
  ASSERT_EQ(expected.size(), 6u);
  for (auto args : {std::vector<std::string>{"init", "--computer", "WEBSRV1"},
                    {"user", "add", "WEBSRV1", "bob"},
                    {"site", "add"}}) {
    ASSERT_EQ(Brindle(args).status, 0) << args[0];
  }
  EXPECT_EQ(Invoke(input), expected);
}

}  // namespace
}  // namespace brindlecore::testing
