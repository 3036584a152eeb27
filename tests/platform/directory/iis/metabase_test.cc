#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>

#include "platform/automation/errors.h"
#include "platform/directory/iis/metabase_store.h"
#include "platform/root.h"
#include "support/metabase_fixture.h"
#include "support/temp_dir.h"

namespace brindlecore::platform {
namespace {

using testing::MetabaseFixture;
using testing::TempDir;

int ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e.number;
  }
  return 0;
}

std::vector<std::string> ChildNames(DirObject& container) {
  std::vector<std::string> names;
  auto children = container.Enumerate();
  while (auto child = children->Next()) names.push_back(child->Name() + "/" + child->Class());
  return names;
}

class MetabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeWebService(dir_.path());
    platform_ = MakePlatform(dir_.path());
  }
  std::unique_ptr<DirObject> Bind(const std::string& path) { return platform_->GetObject(path); }

  TempDir dir_;
  std::unique_ptr<Platform> platform_;
};

TEST_F(MetabaseTest, WebServiceIsInitialisedOnceWithPrivateFile) {
  InitializeWebService(dir_.path());
  auto service = Bind("IIS://LocalHost/W3SVC");
  EXPECT_EQ(service->Class(), "IIsWebService");
  EXPECT_EQ(service->ADsPath(), "IIS://LocalHost/W3SVC");
  EXPECT_EQ(ChildNames(*service), (std::vector<std::string>{"Info/IIsWebInfo", "Filters/IIsFilters"}));
  struct stat st;
  ASSERT_EQ(::stat((dir_.path() / "metabase.db").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(MetabaseWithoutServiceTest, EveryBindIsPathNotFound) {
  TempDir dir;
  auto platform = MakePlatform(dir.path());
  EXPECT_EQ(ErrorOf([&] { platform->GetObject("IIS://LocalHost/W3SVC"); }),
            errors::kErrorPathNotFound.number);
  // The store is opened once it exists, without a new platform.
  InitializeWebService(dir.path());
  EXPECT_EQ(platform->GetObject("IIS://LocalHost/W3SVC")->Name(), "W3SVC");
}

TEST_F(MetabaseTest, PathsResolveCaseInsensitivelyOrFail) {
  Bind("IIS://LocalHost/W3SVC")->Create("IIsWebServer", "1")->Create("IIsWebVirtualDir", "ROOT");
  EXPECT_EQ(Bind("IIS://LocalHost/W3SVC/1/Root")->ADsPath(), "IIS://LocalHost/W3SVC/1/ROOT");
  EXPECT_EQ(Bind("IIS://localhost/w3svc/1/root")->Name(), "ROOT");
  struct Case {
    const char* path;
    int number;
  };
  const Case cases[] = {
      {"IIS://LocalHost/W3SVC/2", errors::kErrorPathNotFound.number},
      {"IIS://LocalHost/W3SVC/", errors::kErrorPathNotFound.number},
      {"IIS://LocalHost/W3SVC//1", errors::kErrorPathNotFound.number},
      {"IIS://LocalHost/W3SVC/1/ROOT/x", errors::kErrorPathNotFound.number},
      {"IIS://OtherHost/W3SVC", errors::kErrorBadNetpath.number},
      {"IIS:/LocalHost/W3SVC", errors::kEAdsBadPathname.number},
      {"IIS://", errors::kEAdsBadPathname.number},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorOf([&] { Bind(c.path); }), c.number) << c.path;
  }
}

TEST_F(MetabaseTest, CreateStoresTheKeyAtOnceAndRefusesASecond) {
  auto service = Bind("IIS://LocalHost/W3SVC");
  auto site = service->Create("IIsWebServer", "7");
  // Stored before any SetInfo, so another binding sees it.
  EXPECT_EQ(Bind("IIS://LocalHost/W3SVC/7")->Class(), "IIsWebServer");
  site->Create("IIsWebVirtualDir", "ROOT");
  EXPECT_EQ(ErrorOf([&] { Bind("IIS://LocalHost/W3SVC/7")->Create("IIsWebVirtualDir", "Root"); }),
            errors::kErrorAlreadyExists.number);
  EXPECT_EQ(ErrorOf([&] { service->Create("IIsWebServer", ""); }), errors::kErrorInvalidName.number);
  EXPECT_EQ(ErrorOf([&] { service->Create("IIsWebServer", "a/b"); }),
            errors::kErrorInvalidName.number);
}

TEST_F(MetabaseTest, PropertiesAreTypedStagedAndStoredAtSetInfo) {
  auto site = Bind("IIS://LocalHost/W3SVC")->Create("IIsWebServer", "1");
  site->Put("ServerComment", Variant("Sales"));
  site->Put("ServerBindings", Variant::Strings({":80:", "10.0.0.5:8080:shop", ""}));
  site->Put("AccessRead", Variant(true));
  site->Put("MaxConnections", Variant(int16_t{12}));
  site->Put("Whole", Variant(3.0));
  // Staged values read back before they are stored, but nobody else sees them.
  EXPECT_EQ(site->Get("servercomment"), Variant("Sales"));
  EXPECT_EQ(ErrorOf([&] { Bind("IIS://LocalHost/W3SVC/1")->Get("ServerComment"); }),
            errors::kEAdsPropertyNotFound.number);
  site->SetInfo();

  auto again = Bind("IIS://LocalHost/W3SVC/1");
  EXPECT_EQ(again->Get("ServerComment"), Variant("Sales"));
  EXPECT_EQ(again->Get("SERVERBINDINGS"), Variant::Strings({":80:", "10.0.0.5:8080:shop", ""}));
  EXPECT_EQ(again->Get("AccessRead"), Variant(true));
  EXPECT_EQ(again->Get("MaxConnections"), Variant(int32_t{12}));
  EXPECT_EQ(again->Get("Whole"), Variant(int32_t{3}));
  EXPECT_EQ(ErrorOf([&] { again->Get("Missing"); }), errors::kEAdsPropertyNotFound.number);

  // Replacing keeps one property; Empty removes it.
  again->Put("ServerComment", Variant("Shop"));
  again->Put("AccessRead", Variant());
  again->SetInfo();
  auto store = MetabaseStore::Open(dir_.path(), false);
  auto props = store->Properties(store->Find({"W3SVC", "1"})->id);
  ASSERT_EQ(props.size(), 4u);
  EXPECT_EQ(props[0], (std::pair<std::string, Variant>{"ServerComment", Variant("Shop")}));
}

TEST_F(MetabaseTest, UnstorableValuesAreRefusedAtPut) {
  auto site = Bind("IIS://LocalHost/W3SVC")->Create("IIsWebServer", "1");
  const Variant bad[] = {Variant::Null(), Variant(1.5), Variant(1e12),
                         Variant(Variant::Array{Variant::Null()})};
  for (const auto& value : bad) {
    EXPECT_EQ(ErrorOf([&] { site->Put("X", value); }), errors::kEAdsPropertyInvalid.number);
  }
  site->SetInfo();
  EXPECT_EQ(ErrorOf([&] { site->Get("X"); }), errors::kEAdsPropertyNotFound.number);
}

TEST_F(MetabaseTest, ChildrenEnumerateInCreationOrderAndByFilter) {
  MetabaseFixture(dir_.path()).Site("10").Site("9").Child("AppPools", "IIsApplicationPools");
  auto service = Bind("IIS://LocalHost/W3SVC");
  EXPECT_EQ(ChildNames(*service),
            (std::vector<std::string>{"Info/IIsWebInfo", "Filters/IIsFilters", "10/IIsWebServer",
                                      "9/IIsWebServer", "AppPools/IIsApplicationPools"}));
  service->SetFilter({"iiswebserver"});
  EXPECT_EQ(ChildNames(*service), (std::vector<std::string>{"10/IIsWebServer", "9/IIsWebServer"}));
}

TEST_F(MetabaseTest, AppCreate2AndStartWriteAtOnce) {
  auto site = Bind("IIS://LocalHost/W3SVC")->Create("IIsWebServer", "3");
  auto root = site->Create("IIsWebVirtualDir", "ROOT");
  root->AppCreate2(2);
  site->Start();
  MetabaseFixture fixture(dir_.path());
  EXPECT_EQ(fixture.Property("IIS://LocalHost/W3SVC/3/ROOT", "AppIsolated"), Variant(int32_t{2}));
  EXPECT_EQ(fixture.Property("IIS://LocalHost/W3SVC/3/ROOT", "AppRoot"),
            Variant("/LM/W3SVC/3/ROOT"));
  EXPECT_EQ(fixture.Property("IIS://LocalHost/W3SVC/3", "ServerState"), Variant(int32_t{2}));
  EXPECT_EQ(ErrorOf([&] { root->Start(); }), errors::kRtObjectDoesntSupport.number);
  EXPECT_EQ(ErrorOf([&] { site->AppCreate2(2); }), errors::kRtObjectDoesntSupport.number);
  EXPECT_EQ(ErrorOf([&] { root->AppCreate2(7); }), errors::kEInvalidarg.number);
}

TEST_F(MetabaseTest, DeleteRemovesTheSubtreeAndStaleObjectsFail) {
  auto service = Bind("IIS://LocalHost/W3SVC");
  auto site = service->Create("IIsWebServer", "4");
  site->Create("IIsWebVirtualDir", "ROOT");
  EXPECT_EQ(ErrorOf([&] { service->Delete("IIsWebVirtualDir", "4"); }),
            errors::kErrorPathNotFound.number);
  service->Delete("IIsWebServer", "4");
  EXPECT_FALSE(MetabaseFixture(dir_.path()).Exists("IIS://LocalHost/W3SVC/4/ROOT"));
  site->Put("ServerComment", Variant("gone"));
  EXPECT_EQ(ErrorOf([&] { site->SetInfo(); }), errors::kErrorPathNotFound.number);
  EXPECT_EQ(ErrorOf([&] { site->Get("ServerComment"); }), 0);  // still in its own cache
  EXPECT_EQ(ErrorOf([&] { site->Enumerate(); }), errors::kErrorPathNotFound.number);
}

TEST_F(MetabaseTest, ConcurrentCreatorsGetDistinctOutcomes) {
  // Eight threads race for the same eight names: each name is created exactly once.
  std::atomic<int> created{0}, refused{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int n = 0; n < 8; ++n) {
        try {
          platform_->GetObject("IIS://LocalHost/W3SVC")->Create("IIsWebServer", std::to_string(n));
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
