#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/automation/errors.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kService[] = "IIS://LocalHost/W3SVC";

class VirtualWebServersTest : public RootTest {
 protected:
  VirtualWebServersTest() { sites_.WebService(); }

  CallOutcome Create(platform::Platform& platform, const std::string& ip, const std::string& port,
                     const std::string& pv_error = "") {
    return CallMethod(platform, "CreateVirtualWebServer",
                      {Val(Variant(ip)), Val(Variant(port)), Val(Variant("/srv/www")),
                       Val(Variant("Sales")), Ref(Variant(pv_error))});
  }
  CallOutcome Create(const std::string& ip = "", const std::string& port = "80",
                     const std::string& pv_error = "") {
    return Create(*platform_, ip, port, pv_error);
  }
  CallOutcome List(platform::Platform& platform, const std::string& pv_error = "") {
    return CallMethod(platform, "GetVirtualWebServers", {Ref(Variant(pv_error))});
  }
  CallOutcome Start(const std::string& number, const std::string& pv_error = "") {
    return CallMethod(*platform_, "StartVirtualWebServer",
                      {Ref(Variant(number)), Ref(Variant(pv_error))});
  }
  Variant Property(const std::string& path, const std::string& name) {
    return sites_.Property(std::string(kService) + path, name);
  }
  // A root of its own for one table row, so rows cannot see each other's sites.
  struct Fresh : TestRoot {
    Fresh() { sites.WebService(); }
  };
};

TEST_F(VirtualWebServersTest, NewSiteTakesTheNumberAfterTheHighest) {
  struct Case {
    std::vector<std::string> existing;
    std::string expected;
  };
  const Case cases[] = {
      {{}, "1"}, {{"1", "2", "9", "10"}, "11"}, {{"10", "9"}, "11"}, {{"007"}, "8"}};
  for (const auto& c : cases) {
    Fresh f;
    f.sites.Child("AppPools", "IIsApplicationPools");
    for (const auto& number : c.existing) f.sites.Site(number);
    CallOutcome out = Create(*f.platform, "", "80");
    ASSERT_FALSE(out.error) << out.error->description;
    EXPECT_EQ(out.result, Variant(c.expected));
    EXPECT_EQ(out.text(4), "");
    EXPECT_TRUE(f.sites.Exists(std::string(kService) + "/" + c.expected + "/ROOT"));
  }
}

TEST_F(VirtualWebServersTest, NewSiteHasBindingAndApplicationRoot) {
  CallOutcome out = Create("", "8080", "kept");
  EXPECT_EQ(out.result, Variant("1"));
  EXPECT_EQ(out.text(4), "kept");
  const std::tuple<const char*, const char*, Variant> stored[] = {
      {"/1", "ServerComment", Variant("Sales")},
      {"/1", "ServerBindings", Variant::Strings({":8080:"})},
      {"/1", "ServerState", Variant()},  // not started
      {"/1/ROOT", "Path", Variant("/srv/www")},
      {"/1/ROOT", "AccessRead", Variant(true)},
      {"/1/ROOT", "AccessScript", Variant(true)},
      {"/1/ROOT", "AspEnableParentPaths", Variant(true)},
      {"/1/ROOT", "AppIsolated", Variant(int32_t{2})},
      {"/1/ROOT", "AppFriendlyName", Variant("Default Application")},
  };
  for (const auto& [path, name, value] : stored) EXPECT_EQ(Property(path, name), value) << name;
  EXPECT_EQ(Create("10.0.0.5", "81").result, Variant("2"));
  EXPECT_EQ(Property("/2", "ServerBindings"), Variant::Strings({"10.0.0.5:81:"}));
}

TEST_F(VirtualWebServersTest, SiteNameThatIsNoNumberStopsCreation) {
  sites_.Site("1").Site("staging");
  CallOutcome out = Create("", "80", "x");
  EXPECT_EQ(out.result, Variant("0"));
  EXPECT_EQ(out.text(4), "x 13 ,Type mismatch");
  EXPECT_FALSE(sites_.Exists(std::string(kService) + "/2"));
}

// Each step that can fail after the site exists: what stays is what was stored before it.
TEST_F(VirtualWebServersTest, FailureLeavesWhatWasStoredBefore) {
  struct Case {
    const char* operation;
    const char* path;
    int nth;
    bool has_bindings, has_root, has_app;
  };
  const Case cases[] = {
      {"SetInfo", "W3SVC/1", 2, false, false, false},
      {"Create", "W3SVC/1", 1, true, false, false},
      {"SetInfo", "W3SVC/1/ROOT", 1, true, true, false},
      {"AppCreate2", "W3SVC/1/ROOT", 1, true, true, false},
      {"SetInfo", "W3SVC/1/ROOT", 2, true, true, true},
  };
  for (const auto& c : cases) {
    Fresh f;
    MetabaseFixture& sites = f.sites;
    FaultPlatform faults(*f.platform);
    faults.Fail(c.operation, c.path, c.nth, errors::kEAccessdenied.Make());
    CallOutcome out = Create(faults, "", "80", "before");
    SCOPED_TRACE(std::string(c.operation) + " " + std::to_string(c.nth));
    EXPECT_TRUE(faults.AllFired());
    EXPECT_EQ(out.result, Variant("0"));
    EXPECT_EQ(out.text(4), "before -2147024891 ,Access is denied.");
    std::string site = std::string(kService) + "/1";
    EXPECT_TRUE(sites.Exists(site));
    EXPECT_EQ(sites.Property(site, "ServerComment"), Variant("Sales"));
    EXPECT_EQ(!sites.Property(site, "ServerBindings").IsEmpty(), c.has_bindings);
    EXPECT_EQ(sites.Exists(site + "/ROOT"), c.has_root);
    EXPECT_EQ(!sites.Property(site + "/ROOT", "AppIsolated").IsEmpty(), c.has_app);
    EXPECT_TRUE(sites.Property(site + "/ROOT", "AppFriendlyName").IsEmpty());
  }
}

TEST_F(VirtualWebServersTest, ListShowsSitesWithTheirAddresses) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::vector<std::string>>> sites;
    std::string text;
  };
  const Case cases[] = {
      {"no site", {}, ""},
      {"two sites",
       {{"Sales", {":80:"}}, {"Shop", {"10.0.0.5:8080:", ":8081:shop"}}},
       "1-Sales (LocalHost:80)\t2-Shop (10.0.0.5:8080) (LocalHost:8081)\t"},
      {"host header dropped", {{"", {"10.0.0.5:80:shop"}}}, "1- (10.0.0.5:80)\t"},
      {"no bindings", {{"Bare", {}}}, "1-Bare\t"},
  };
  for (const auto& c : cases) {
    Fresh f;
    int number = 0;
    for (const auto& [comment, bindings] : c.sites) {
      f.sites.Site(std::to_string(++number), comment, bindings);
    }
    f.sites.Child("AppPools", "IIsApplicationPools");
    CallOutcome out = List(*f.platform, "kept");
    EXPECT_EQ(out.result, Variant(c.text)) << c.name;
    EXPECT_EQ(out.text(0), "kept") << c.name;
  }
}

TEST_F(VirtualWebServersTest, BadBindingEndsTheListWithTheTextSoFar) {
  const char* bad[] = {"10.0.0.5:8080", ":8081", "nocolon", ""};
  for (const char* binding : bad) {
    Fresh f;
    f.sites.Site("1", "Sales").Site("2", "Shop", {":81:", binding, ":82:"}).Site("3");
    CallOutcome out = List(*f.platform, "replaced");
    EXPECT_EQ(out.result, Variant("1-Sales (LocalHost:80)\t2-Shop (LocalHost:81)")) << binding;
    EXPECT_EQ(out.text(0), "5 ,Invalid procedure call or argument") << binding;
  }
}

TEST_F(VirtualWebServersTest, StartMarksAnExistingSiteStarted) {
  sites_.Site("4");
  CallOutcome started = Start("4", "kept");
  EXPECT_EQ(started.result, Variant(true));
  EXPECT_EQ(started.text(0), "4");
  EXPECT_EQ(started.text(1), "kept");
  EXPECT_EQ(Property("/4", "ServerState"), Variant(int32_t{2}));
  for (const char* number : {"5", ""}) {
    CallOutcome out = Start(number, "old");
    EXPECT_EQ(out.result, Variant(false)) << number;
    EXPECT_EQ(out.text(0), number);
    EXPECT_EQ(out.text(1), "-2147024893 ,The system cannot find the path specified.") << number;
  }
}

}  // namespace
}  // namespace brindlecore::testing
