#include "host/limits.h"

#include <array>

namespace brindlecore::host {
namespace {

struct NamedCap {
  std::string_view field;
  FieldCap cap;
};

// Account and group names: 256 covers DOMAIN\name and user principal names; descriptions: the
// directory's 1024; folders: PATH_MAX; return pages: a member list's, with a group name of 256
// percent-encoded. The import file is read line by line by the component, so one megabyte is far
// beyond any real list of administrators.
constexpr std::array<NamedCap, 26> kCaps = {{
    {"username", {256, "user name"}},
    {"password", {256, "password"}},
    {"directory", {2048, "directory"}},
    {"login_type", {32, "kind of administrator"}},
    {"csrf", {128, "form token"}},
    {"user", {256, "user name"}},
    {"UserName", {256, "user name"}},
    {"group", {256, "group name"}},
    {"GroupName", {256, "group name"}},
    {"ListUsers", {256, "group name"}},
    {"GroupDescription", {1024, "group description"}},
    {"description", {1024, "description"}},
    {"action", {16, "action"}},
    {"remove", {16, "option"}},
    {"back", {1024, "return page"}},
    {"RedirPage", {1024, "return page"}},
    {"file", {1 << 20, "import file"}},
    {"ip", {64, "IP address"}},
    {"port", {16, "port"}},
    {"root", {4096, "root folder"}},
    {"comment", {256, "comment"}},
    {"site", {16, "site number"}},
    {"name", {256, "virtual directory"}},
    {"path", {4096, "folder"}},
    {"url", {2048, "address"}},
    {"title", {256, "title"}},
}};
constexpr FieldCap kOther = {4096, "field"};

size_t CodePoints(std::string_view text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

std::string Refusal(std::string_view field, const std::string& value) {
  const FieldCap cap = CapOf(field);
  // Bytes bound code points from above: most values never need counting.
  if (value.size() <= cap.max || CodePoints(value) <= cap.max) return "";
  return "The " + std::string(cap.label) + " is too long (at most " + std::to_string(cap.max) +
         " characters).";
}

}  // namespace

FieldCap CapOf(std::string_view field) {
  for (const NamedCap& c : kCaps) {
    if (c.field == field) return c.cap;
  }
  return kOther;
}

std::string OversizedField(const httplib::Request& req) {
  for (const auto& [name, value] : req.params) {
    if (std::string refusal = Refusal(name, value); !refusal.empty()) return refusal;
  }
  for (const auto& [name, file] : req.files) {
    if (std::string refusal = Refusal(name, file.content); !refusal.empty()) return refusal;
  }
  return "";
}

}  // namespace brindlecore::host
