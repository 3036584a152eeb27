// The host's conversion rules, once for every user of them; the class registry and object
// creation through it, over a root in a temporary folder.
#include "brindlecore/automation.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "brindlecore/variant.h"
#include "platform/automation/errors.h"
#include "platform/automation/registry.h"
#include "platform/root.h"
#include "support/matchers.h"
#include "support/temp_dir.h"

namespace brindlecore::automation {
namespace {

using testing::TempDir;

constexpr char kClsidKey[] = "CLSID\\{6F1B2C3D-4E5F-4A7B-8C9D-0E1F2A3B4C5D}";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetProcessRoot(dir_.path()); }

  static std::filesystem::path Component() {
    const char* env = std::getenv("BRINDLECORE_COMPONENT");
    return env ? env : "";
  }

  static void ExpectError(const std::function<void()>& f, const errors::ErrorCode& code) {
    EXPECT_THAT(testing::ErrorOf(f), testing::AutomationErrorIs(code));
  }

  TempDir dir_;
};

TEST_F(RegistryTest, KeysMatchWithoutLetterCaseAndTreesGoWhole) {
  const std::vector<RegistryValue> values = {
      {"App.Thing\\CLSID", "", "{1}"},
      {"CLSID\\{1}", "", "Thing"},
      {"CLSID\\{1}\\InprocServer32", "ThreadingModel", "Apartment"},
      {"CLSID\\{10}", "", "Other"},
      {"App.ThingX", "", "kept"},
  };
  RegistryWrite(values);
  EXPECT_EQ(RegistryRead("app.thing\\clsid"), "{1}");
  EXPECT_EQ(RegistryRead("CLSID\\{1}\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(RegistryRead("CLSID\\{1}\\InprocServer32"), std::nullopt);  // no default value
  EXPECT_EQ(RegistryRead("Nowhere"), std::nullopt);

  RegistryWrite(std::vector<RegistryValue>{{"APP.THING\\CLSID", "", "{2}"}});
  EXPECT_EQ(RegistryRead("App.Thing\\CLSID"), "{2}");

  RegistryDeleteTrees(std::vector<std::string>{"clsid\\{1}", "App.Thing", "Absent"});
  EXPECT_EQ(RegistryRead("CLSID\\{1}"), std::nullopt);
  EXPECT_EQ(RegistryRead("CLSID\\{1}\\InprocServer32", "ThreadingModel"), std::nullopt);
  EXPECT_EQ(RegistryRead("App.Thing\\CLSID"), std::nullopt);
  EXPECT_EQ(RegistryRead("CLSID\\{10}"), "Other");
  EXPECT_EQ(RegistryRead("App.ThingX"), "kept");
}

TEST_F(RegistryTest, ConcurrentWritersKeepEachOthersEntries) {
  auto key = [](int w, int r) {
    return std::string("W").append(std::to_string(w)).append("\\").append(std::to_string(r));
  };
  std::vector<pid_t> children;
  for (int w = 0; w < 6; ++w) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      auto writes = [&] {
        for (int r = 0; r < 15; ++r)
          RegistryWrite(std::vector<RegistryValue>{{key(w, r), "", "v"}});
      };
      ::_exit(testing::ErrorOf(writes) ? 1 : 0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int w = 0; w < 6; ++w) {
    for (int r = 0; r < 15; ++r) EXPECT_EQ(RegistryRead(key(w, r)), "v");
  }
}

TEST_F(RegistryTest, AnUnreadableRegistryIsNotOverwritten) {
  std::filesystem::create_directories(dir_.path());
  { std::ofstream(RegistryFile()) << "{ not json"; }
  auto write = [] { RegistryWrite(std::vector<RegistryValue>{{"K", "", "v"}}); };
  ExpectError(write, errors::kErrorFileCorrupt);
  std::ifstream in(RegistryFile());
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "{ not json");
}

TEST_F(RegistryTest, RegisterCreateUnregisterRoundTrip) {
  if (Component().empty()) GTEST_SKIP() << "BRINDLECORE_COMPONENT not set";
  RegistryWrite(std::vector<RegistryValue>{{"Other.Class\\CLSID", "", "{7}"}});
  ASSERT_EQ(RegisterServerLibrary(Component(), false), kSOk);
  const std::string server = std::string(kClsidKey) + "\\InprocServer32";
  EXPECT_EQ(RegistryRead(server), std::filesystem::canonical(Component()).string());
  EXPECT_EQ(RegistryRead(server, "ThreadingModel"), "Apartment");
  EXPECT_EQ(RegistryRead("TypeLib\\{9B3C4D5E-6F70-4192-AB3C-4D5E6F708192}\\1.1"), "Brindlecore");

  Object object = CreateObject("brindlecore.AUTHENTICATION");
  ASSERT_TRUE(object);
  // The object is ours: it knows the method and checks the call against its parameter list.
  std::vector<Arg> args;
  ExpectError([&] { object.Call("getvirtualwebservers", args); }, errors::kDispEBadparamcount);

  ASSERT_EQ(RegisterServerLibrary(Component(), true), kSOk);
  EXPECT_EQ(RegistryRead(kClsidKey), std::nullopt);
  EXPECT_EQ(RegistryRead("Other.Class\\CLSID"), "{7}");
  // The object made before stays usable: the library stays loaded.
  ExpectError([&] { object.Call("GetVirtualWebServers", args); }, errors::kDispEBadparamcount);

  // A registered class whose library is gone, or that names no library at all.
  ASSERT_EQ(RegisterServerLibrary(Component(), false), kSOk);
  RegistryWrite(std::vector<RegistryValue>{{server, "", (dir_.path() / "gone.so").string()}});
  ExpectError([] { CreateObject("Brindlecore.Authentication"); }, errors::kErrorModNotFound);
  RegistryDeleteTrees(std::vector<std::string>{server});
  ExpectError([] { CreateObject("Brindlecore.Authentication"); }, errors::kRegdbEClassnotreg);
}

TEST(ErrorsTest, EveryNumberFindsItsTextAndUnknownOnesSayWhatTheyAre) {
  for (const errors::ErrorCode* code :
       {&errors::kRtInvalidUseOfNull, &errors::kErrorLogonFailure, &errors::kEAdsBadPathname,
        &errors::kAdErrProviderNotFound, &errors::kDispEBadparamcount, &errors::kENotimpl}) {
    ASSERT_EQ(errors::Find(code->number), code);
    EXPECT_THAT(ErrorFromHresult(code->number), testing::AutomationErrorIs(*code));
  }
  EXPECT_EQ(errors::Find(12345), nullptr);
  EXPECT_EQ(ErrorFromHresult(static_cast<int32_t>(0x8000FFFFu)).description,
            "Unknown error 0x8000FFFF");
}

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
                        {Variant::Null(), "error 94"},
                        {Variant(-3), "true"},
                        {Variant(0.0), "false"},
                        {Variant("fAlse"), "false"},
                        {Variant(" true "), "true"},
                        {Variant("0"), "false"},
                        {Variant("2"), "true"},
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
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim(" \n "), "\n");  // spaces only
  EXPECT_EQ(Variant(), Variant::Empty());
  EXPECT_EQ(Variant::Null(), Variant::Null());
  EXPECT_NE(Variant(), Variant::Null());
  EXPECT_NE(Variant("a"), Variant("A"));
  EXPECT_NE(Variant(1), Variant(1.0));
  EXPECT_NE(Variant(""), Variant());
}

}  // namespace
}  // namespace brindlecore::automation
