#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <thread>

#include "platform/automation/errors.h"
#include "platform/default_platform.h"
#include "platform/directory/iis/metabase_store.h"
#include "support/matchers.h"
#include "support/metabase_fixture.h"
#include "support/temp_dir.h"

namespace brindlecore::platform {
namespace {

using iis::InitializeWebService;
using testing::ErrorNumberIs;
using testing::ErrorOf;
using testing::MetabaseFixture;
using testing::TempDir;

class MetabaseTest : public ::testing::Test {
 protected:
  std::unique_ptr<DirObject> Bind(const std::string& path) { return platform_->GetObject(path); }

  TempDir dir_;
  std::unique_ptr<Platform> platform_ = MakePlatform(dir_.path());
};

TEST_F(MetabaseTest, WebServiceAppearsOnceInitialisedAndOnlyOnce) {
  EXPECT_THAT(ErrorOf([&] { Bind("IIS://LocalHost/W3SVC"); }),
              ErrorNumberIs(errors::kErrorPathNotFound));
  InitializeWebService(dir_.path());
  InitializeWebService(dir_.path());
  auto service = Bind("IIS://LocalHost/W3SVC");
  EXPECT_EQ(service->Class(), "IIsWebService");
  std::vector<std::string> children;
  auto it = service->Enumerate();
  while (auto child = it->Next()) children.push_back(child->Name() + "/" + child->Class());
  EXPECT_EQ(children, (std::vector<std::string>{"Info/IIsWebInfo", "Filters/IIsFilters"}));
}

TEST_F(MetabaseTest, KeysAreCaseInsensitiveAndStoredAtCreate) {
  InitializeWebService(dir_.path());
  Bind("IIS://LocalHost/W3SVC")->Create("IIsWebServer", "1")->Create("IIsWebVirtualDir", "ROOT");
  EXPECT_EQ(Bind("IIS://localhost/w3svc/1/Root")->ADsPath(), "IIS://LocalHost/W3SVC/1/ROOT");
  const std::pair<const char*, int> cases[] = {
      {"IIS://OtherHost/W3SVC", errors::kErrorBadNetpath.number},
      {"IIS:/LocalHost/W3SVC", errors::kEAdsBadPathname.number},
  };
  for (const auto& [path, number] : cases)
    EXPECT_THAT(ErrorOf([&] { Bind(path); }), ErrorNumberIs(number)) << path;
}

TEST_F(MetabaseTest, PropertiesKeepTheirTypesAndAreStoredAtSetInfo) {
  InitializeWebService(dir_.path());
  auto site = Bind("IIS://LocalHost/W3SVC")->Create("IIsWebServer", "1");
  site->Put("ServerComment", Variant("Sales"));
  site->Put("ServerBindings", Variant::Strings({":80:", "10.0.0.5:8080:shop", ""}));
  site->Put("AccessRead", Variant(true));
  site->Put("Whole", Variant(2147483647.0));
  EXPECT_EQ(site->Get("servercomment"), Variant("Sales"));  // staged, read back
  for (double bad : {1.5, 2147483648.0, -2147483649.0}) {
    EXPECT_THAT(ErrorOf([&] { site->Put("X", Variant(bad)); }),
                ErrorNumberIs(errors::kEAdsPropertyInvalid));
  }
  site->SetInfo();

  auto again = Bind("IIS://LocalHost/W3SVC/1");
  EXPECT_EQ(again->Get("ServerComment"), Variant("Sales"));
  EXPECT_EQ(again->Get("SERVERBINDINGS"), Variant::Strings({":80:", "10.0.0.5:8080:shop", ""}));
  EXPECT_EQ(again->Get("AccessRead"), Variant(true));
  EXPECT_EQ(again->Get("Whole"), Variant(int32_t{2147483647}));
  EXPECT_THAT(ErrorOf([&] { again->Get("X"); }), ErrorNumberIs(errors::kEAdsPropertyNotFound));

  // A list damaged in the file reads as a failure, never as a shorter list or another exception.
  for (const char* damaged : {"3:ab", "x:a", "-1:a", "+1:a", "99999999999999999999:a", "1:a:b"}) {
    sqlite3* db = nullptr;
    sqlite3_open((dir_.path() / "metabase.db").c_str(), &db);
    const std::string sql = std::string("UPDATE properties SET value = '") + damaged +
                            "' WHERE name = 'ServerBindings'";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    EXPECT_THAT(ErrorOf([&] { Bind("IIS://LocalHost/W3SVC/1")->Get("ServerBindings"); }),
                ErrorNumberIs(errors::kEFail))
        << damaged;
  }
}

TEST_F(MetabaseTest, AppCreate2StartAndDeleteWriteAtOnce) {
  InitializeWebService(dir_.path());
  auto service = Bind("IIS://LocalHost/W3SVC");
  auto site = service->Create("IIsWebServer", "3");
  auto root = site->Create("IIsWebVirtualDir", "ROOT");
  root->AppCreate2(2);
  site->Start();
  MetabaseFixture fixture(dir_.path());
  EXPECT_EQ(fixture.Property("IIS://LocalHost/W3SVC/3/ROOT", "AppRoot"),
            Variant("/LM/W3SVC/3/ROOT"));
  EXPECT_THAT(ErrorOf([&] { root->Start(); }), ErrorNumberIs(errors::kRtObjectDoesntSupport));
  EXPECT_THAT(ErrorOf([&] { site->AppCreate2(2); }), ErrorNumberIs(errors::kRtObjectDoesntSupport));

  EXPECT_THAT(ErrorOf([&] { service->Delete("IIsWebVirtualDir", "3"); }),
              ErrorNumberIs(errors::kErrorPathNotFound));
  service->Delete("IIsWebServer", "3");
  EXPECT_FALSE(fixture.Exists("IIS://LocalHost/W3SVC/3/ROOT"));
  EXPECT_THAT(ErrorOf([&] { site->SetInfo(); }), ErrorNumberIs(errors::kErrorPathNotFound));
}

TEST_F(MetabaseTest, RacingCreatorsMakeEachKeyOnce) {
  InitializeWebService(dir_.path());
  std::atomic<int> created{0}, refused{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int n = 0; n < 8; ++n) {
        try {
          Bind("IIS://LocalHost/W3SVC")->Create("IIsWebServer", std::to_string(n));
          ++created;
        } catch (const AutomationError& e) {
          if (errors::kErrorAlreadyExists.Is(e)) ++refused;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(created, 8);
  EXPECT_EQ(refused, 56);
}

}  // namespace
}  // namespace brindlecore::platform
