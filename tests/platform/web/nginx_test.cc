// The nginx configuration the metabase's sites become, and the component's web-site methods
// against a real nginx that the metabase drives.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

#include "platform/automation/errors.h"
#include "platform/web/nginx_config.h"
#include "support/dispatch.h"
#include "support/matchers.h"
#include "support/web_root.h"

namespace brindlecore::testing {
namespace {

using platform::web::Binding;
using platform::web::ListenAddresses;
using platform::web::ParseBinding;
using platform::web::RenderSites;
using platform::web::WebSite;

TEST(NginxConfigTest, BindingsBecomeAddressAndHost) {
  struct Row {
    const char* text;
    const char* address;
    const char* host;
  } rows[] = {
      {":80:", "0.0.0.0:80", ""},
      {"*:8080:Shop.Example", "0.0.0.0:8080", "shop.example"},
      {"10.0.0.5:0443:", "10.0.0.5:443", ""},
      {"[::1]:81:h", "[::1]:81", "h"},
  };
  for (const auto& row : rows) {
    Binding b = ParseBinding(row.text);
    EXPECT_EQ(b.address, row.address) << row.text;
    EXPECT_EQ(b.host, row.host) << row.text;
  }
  for (const char* bad : {"", ":80", "::", ":0:", ":65536:", ":8a:", "10.0.0:80:", "[::1:80:",
                          ":80:a b", ":80:a;b", ":80:a\"b", ":80:{", "[x]:80:"}) {
    EXPECT_THAT(ErrorOf([&] { ParseBinding(bad); }), ErrorNumberIs(errors::kEInvalidarg)) << bad;
  }
}

TEST(NginxConfigTest, RefusesWhatNginxWouldMisreadOrTwoSitesClaim) {
  auto site = [](std::string number, std::string binding, std::string folder,
                 std::string url = "/") {
    return WebSite{number, {binding}, {{url, folder, true}}};
  };
  struct Row {
    std::vector<WebSite> sites;
    int32_t error;
  } rows[] = {
      {{site("1", ":80:", "relative/www")}, errors::kErrorInvalidName.number},
      {{site("1", ":80:", "/srv/$host")}, errors::kErrorInvalidName.number},
      {{site("1", ":80:", "/srv/a\";} server {")}, errors::kErrorInvalidName.number},
      {{site("1", ":80:", "/srv/a\nb")}, errors::kErrorInvalidName.number},
      {{site("1", ":80:", "/srv/a\\")}, errors::kErrorInvalidName.number},
      {{site("1", ":80:", "/srv", "/x\"y/")}, errors::kErrorInvalidName.number},
      {{site("1", ":80:", "/srv", "/../")}, errors::kErrorInvalidName.number},
      {{site("1\nserver {", ":80:", "/srv")}, errors::kErrorInvalidName.number},
      {{site("1", ":80:", "/srv"), site("2", "*:80:", "/srv")}, errors::kErrorAlreadyExists.number},
      {{site("1", ":80:a", "/srv"), site("2", ":80:A", "/srv")},
       errors::kErrorAlreadyExists.number},
      {{site("1", ":80:a", "/srv"), site("2", "127.0.0.1:80:a", "/srv")}, 0},
      {{site("1", ":80:", "/srv"), site("2", ":81:", "/srv")}, 0},
  };
  for (const auto& row : rows) {
    EXPECT_THAT(ErrorOf([&] { RenderSites(row.sites); }), ErrorNumberIs(row.error))
        << row.sites.front().directories.front().folder;
  }
}

TEST(NginxConfigTest, AddressWithoutDefaultSiteAnswersUnknownHostsItself) {
  std::string text = RenderSites({{"1", {":80:a", "10.0.0.1:81:", ":80:a"}, {{"/", "/w", true}}},
                                  {"2", {":80:b"}, {{"/", "/v", false}}}});
  EXPECT_EQ(ListenAddresses(text), (std::vector<std::string>{"0.0.0.0:80", "10.0.0.1:81"}));
  // What the default servers and a site without read access answer, real nginx shows below.
  EXPECT_NE(text.find("    listen 10.0.0.1:81 default_server;"), std::string::npos);
}

// Creates a site through the component and returns its number.
std::string CreateSite(WebRoot& web, const std::string& ip, int port,
                       const std::filesystem::path& folder) {
  CallOutcome out = CallMethod(web.platform(), "CreateVirtualWebServer",
                               {Val(Variant(ip)), Val(Variant(std::to_string(port))),
                                Val(Variant(folder.string())), Val(Variant("site")), Ref()});
  EXPECT_EQ(out.text(4), "");
  return ToText(out.result);
}

CallOutcome Start(WebRoot& web, const std::string& site) {
  return CallMethod(web.platform(), "StartVirtualWebServer",
                    {Ref(Variant(site)), Ref(Variant(""))});
}

class NginxTest : public ::testing::Test {
 protected:
  void SetBindings(const std::string& site, const std::string& binding) {
    auto object = web_.platform().GetObject("IIS://LocalHost/W3SVC/" + site);
    object->Put("ServerBindings", Variant::Strings({binding}));
    object->SetInfo();
  }

  WebRoot web_;
};

TEST_F(NginxTest, StartedSiteServesItsRootAndVirtualDirectories) {
  int port = FreePort();
  std::string site =
      CreateSite(web_, "127.0.0.1", port, web_.Folder("main", "index.html", "main page"));
  EXPECT_EQ(HttpGet(port, "/").status, -1) << "a site not started answers nothing";

  CallOutcome started = Start(web_, site);
  ASSERT_EQ(started.result, Variant(true)) << started.text(1);
  EXPECT_EQ(HttpGet(port, "/").body, "main page");

  std::string docs = web_.Folder("docs", "a.txt", "docs file").string();
  CallOutcome published =
      CallMethod(web_.platform(), "CreateVirtualDir",
                 {Ref(Variant(site)), Ref(Variant("docs")), Ref(Variant(docs)), Ref(Variant(""))});
  ASSERT_EQ(published.result, Variant(true)) << published.text(3);
  EXPECT_EQ(HttpGet(port, "/docs/a.txt").body, "docs file");
  EXPECT_EQ(HttpGet(port, "/docs").status, 301);

  auto directory = web_.platform().GetObject("IIS://LocalHost/W3SVC/" + site + "/ROOT/docs");
  directory->Put("AccessRead", Variant(false));
  directory->SetInfo();
  EXPECT_EQ(HttpGet(port, "/docs/a.txt").status, 403);
  EXPECT_EQ(HttpGet(port, "/").body, "main page");

  // Our process starting again brings a stopped nginx back with the same sites.
  web_.StopNginx();
  ASSERT_EQ(HttpGet(port, "/").status, -1);
  web_.Reopen();
  web_.platform().GetObject("IIS://LocalHost/W3SVC");
  EXPECT_EQ(HttpGet(port, "/").body, "main page");
}

TEST_F(NginxTest, HostNamesTellSitesOnOnePortApart) {
  int port = FreePort();
  const std::string bound = ":" + std::to_string(port) + ":";
  std::string a = CreateSite(web_, "", port, web_.Folder("a", "index.html", "site a"));
  std::string b = CreateSite(web_, "", port, web_.Folder("b", "index.html", "site b"));
  SetBindings(a, bound + "a.example");
  SetBindings(b, bound + "B.example");
  ASSERT_EQ(Start(web_, a).result, Variant(true));
  ASSERT_EQ(Start(web_, b).result, Variant(true));

  EXPECT_EQ(HttpGet(port, "/", "a.example").body, "site a");
  EXPECT_EQ(HttpGet(port, "/", "b.example").body, "site b");
  EXPECT_EQ(HttpGet(port, "/", "c.example").status, 400) << "a host binding answers its host only";
}

TEST_F(NginxTest, AddressHeldElsewhereFailsTheStartAndKeepsWhatIsServed) {
  int served_port = FreePort();
  std::string served =
      CreateSite(web_, "127.0.0.1", served_port, web_.Folder("s", "index.html", "up"));
  ASSERT_EQ(Start(web_, served).result, Variant(true));

  int held_port = FreePort();
  int holder = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(held_port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(listen(holder, 1), 0);

  std::string blocked =
      CreateSite(web_, "127.0.0.1", held_port, web_.Folder("x", "index.html", "x"));
  CallOutcome out = Start(web_, blocked);
  close(holder);
  EXPECT_EQ(out.result, Variant(false));
  EXPECT_EQ(out.text(1),
            "-2147024864 ,The process cannot access the file because it is being used by another "
            "process.");
  EXPECT_THROW(web_.platform().GetObject("IIS://LocalHost/W3SVC/" + blocked)->Get("ServerState"),
               AutomationError);
  EXPECT_EQ(HttpGet(served_port, "/").body, "up");
}

// What nginx says when it refuses becomes the call's error, and the refused change is not kept.
TEST(NginxRefusalTest, NginxWordsBecomeCatalogueErrors) {
  struct Row {
    const char* said;
    const char* error;
  } rows[] = {
      {"open() \"/srv/x\" failed (13: Permission denied)", "-2147024891 ,Access is denied."},
      {"a duplicate default server for 0.0.0.0:80",
       "-2147024713 ,Cannot create a file when that file already exists."},
      {"unexpected \"}\"", "-2147467259 ,Unspecified error"},
      {nullptr, "-2147024894 ,The system cannot find the file specified."},
  };
  for (const auto& row : rows) {
    TempDir bin;
    std::filesystem::path fake = bin.path() / "nginx";
    if (row.said) {
      std::ofstream(fake) << "#!/bin/sh\necho 'nginx: [emerg] " << row.said << "' >&2\nexit 1\n";
      std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
    }
    WebRoot web("web.nginx.binary = " + fake.string() + "\n");
    std::string site = CreateSite(web, "127.0.0.1", 8080, web.path());
    EXPECT_EQ(Start(web, site).text(1), row.error) << (row.said ? row.said : "no binary");
    EXPECT_THROW(web.platform().GetObject("IIS://LocalHost/W3SVC/" + site)->Get("ServerState"),
                 AutomationError);
  }
}

}  // namespace
}  // namespace brindlecore::testing
