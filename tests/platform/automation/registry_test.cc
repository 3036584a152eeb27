// The class registry and object creation through it, over a root in a temporary folder.
#include "platform/automation/registry.h"

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

#include "brindlecore/automation.h"
#include "platform/automation/errors.h"
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
  for (const char* name : {"", "No.Such", "Brindlecore.Authentication"}) {
    ExpectError([&] { CreateObject(name); }, errors::kCoEClassstring);
  }
  EXPECT_EQ(RegisterServerLibrary(dir_.path() / "libBrindlecore.so", false),
            errors::kErrorModNotFound.number);

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
  ExpectError([] { CreateObject("Brindlecore.Authentication"); }, errors::kCoEClassstring);
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

}  // namespace
}  // namespace brindlecore::automation
