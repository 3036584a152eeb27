#include "platform/web/nginx_config.h"

#include <gtest/gtest.h>

#include "platform/automation/errors.h"
#include "support/matchers.h"

namespace brindlecore::platform::web {
namespace {

using testing::ErrorNumberIs;
using testing::ErrorOf;

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
  EXPECT_NE(text.find("    listen 10.0.0.1:81 default_server;"), std::string::npos);
  EXPECT_NE(text.find("    listen 0.0.0.0:80 default_server;\n    return 400;"), std::string::npos);
  EXPECT_NE(text.find("return 403;"), std::string::npos) << "site 2 has no read access";
}

}  // namespace
}  // namespace brindlecore::platform::web
