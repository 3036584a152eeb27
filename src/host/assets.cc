#include "host/assets.h"

#include <array>

namespace brindlecore::host {
namespace {

// The component's rows name these classes; their look is ours to choose.
constexpr std::string_view kStyle = R"css(
body { font-family: "DejaVu Sans", Verdana, Arial, sans-serif; font-size: 13px; margin: 0;
       color: #22313f; background: #f4f6f8; }
header { background: #34495e; color: #fff; padding: 10px 18px; display: flex;
         align-items: center; justify-content: space-between; }
header h1 { font-size: 16px; margin: 0; font-weight: normal; }
header form { margin: 0; }
header button { background: transparent; color: #fff; border: 1px solid #fff; cursor: pointer; }
nav { background: #dfe6ec; padding: 6px 18px; }
nav a { margin-right: 16px; color: #22313f; text-decoration: none; }
nav a.current { font-weight: bold; text-decoration: underline; }
main { padding: 14px 18px; }
h2 { font-size: 15px; margin: 18px 0 8px; }
table.listing { border-collapse: collapse; background: #fff; margin-bottom: 12px; }
table.listing th { text-align: left; background: #dfe6ec; padding: 4px 8px; }
.TableRow { padding: 4px 8px; border-bottom: 1px solid #e3e8ec; vertical-align: middle; }
.UserInfo2 { color: #1e6b3a; padding: 3px 6px; }
.UserInfo4 { color: #a32a1c; padding: 3px 6px; font-weight: bold; }
.ActionItem { text-decoration: none; }
.ActionItem img { vertical-align: middle; }
.graybghl { color: #22313f; background: #eef1f4; padding: 1px 4px; text-decoration: none; }
.graybghl:hover { background: #d5dde4; }
.ItemSelect { font-size: 12px; margin-right: 4px; }
.UserInput { font-size: 12px; width: 120px; margin-right: 4px; }
.message { padding: 6px 10px; margin-bottom: 10px; border-radius: 3px; }
.message.ok { background: #e3f4e8; color: #1e6b3a; }
.message.error { background: #fbe5e1; color: #a32a1c; }
form.panel { background: #fff; padding: 10px 12px; margin: 0 12px 12px 0; display: inline-block;
             vertical-align: top; }
form.panel label { display: block; margin: 4px 0; }
form.panel input[type=text], form.panel input[type=password], form.panel select { width: 240px; }
.signin { max-width: 380px; margin: 40px auto; }
.signin form.panel { display: block; }
.hint { color: #5d6d7e; font-size: 12px; }
)css";

// The component's rows call userAdd, listUsers and updateField; the host hands those calls over
// as data-call/data-arg attributes of the links, and this script runs them. A name given to
// userAdd or listUsers is the id of the select or text field of the same row.
constexpr std::string_view kScript = R"js("use strict";
(function () {
  function element(target) {
    return typeof target === "string" ? document.getElementById(target) : target;
  }
  function post(action, fields) {
    // Looked up as a form: a row's element may carry any id the directory holds.
    var form = document.querySelector("form#bc-action");
    form.action = action;
    Object.keys(fields).forEach(function (k) { form.elements[k].value = fields[k]; });
    form.submit();
  }
  function say(text) {
    var box = document.querySelector("div#bc-message");
    if (box) { box.textContent = text; box.className = "message error"; }
  }
  function userAdd(target) {
    var el = element(target);
    if (!el || !el.id) { say("That row cannot be changed from this page."); return; }
    if (document.body.dataset.page === "groups") {
      var user = el.value.trim();
      if (!user) { say("Type a user name in the group's field first."); return; }
      post("AddUser.asp", { user: user, group: el.id, back: "Groups.asp" });
    } else {
      post("AddUser.asp", { user: el.id, group: el.value, back: "ProfileAdministrators.asp" });
    }
  }
  function listUsers(target) {
    var el = element(target);
    var group = el && el.id ? el.id : String(target);
    location.href = "Groups.asp?ListUsers=" + encodeURIComponent(group) + "#picker";
  }
  function updateField(user, group) {
    var el = document.getElementById(group);
    if (el) { el.value = user; el.focus(); }
  }
  document.addEventListener("click", function (event) {
    var link = event.target.closest ? event.target.closest("a[data-call]") : null;
    if (!link) return;
    event.preventDefault();
    var call = link.dataset.call, arg = link.dataset.arg || "";
    if (call === "userAdd") userAdd(arg);
    else if (call === "listUsers") listUsers(arg);
    else if (call === "updateField") updateField(arg, link.dataset.arg2 || "");
  });
})();
)js";

// 16x16 four-colour icons, made for these pages.
constexpr unsigned char kRemoveUserGif[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x10, 0x00, 0x10, 0x00, 0x81, 0x00, 0x00, 0xff, 0xff, 0xff,
    0x34, 0x49, 0x5e, 0xc0, 0x39, 0x2b, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x10, 0x00, 0x00, 0x02, 0x20, 0x84, 0x1d, 0x79,
    0xcb, 0xe9, 0x0c, 0x9d, 0x82, 0x4b, 0x06, 0xda, 0x26, 0xde, 0xd8, 0xea, 0xec, 0x5d, 0x51, 0x28,
    0x82, 0x1e, 0x15, 0x0a, 0xea, 0xca, 0xad, 0x2c, 0x07, 0xc7, 0xf2, 0xbc, 0x14, 0x00, 0x3b};
constexpr unsigned char kAddUserGif[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x10, 0x00, 0x10, 0x00, 0x81, 0x00, 0x00, 0xff,
    0xff, 0xff, 0x34, 0x49, 0x5e, 0x27, 0xae, 0x60, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x10, 0x00,
    0x00, 0x02, 0x25, 0x84, 0x1d, 0x79, 0xcb, 0xe9, 0x0c, 0x9d, 0x82, 0x4b, 0x06, 0xda,
    0x26, 0xde, 0xd8, 0xea, 0xec, 0x5d, 0x51, 0x18, 0x08, 0x02, 0xe8, 0x99, 0xa8, 0x63,
    0xb6, 0xe7, 0xe6, 0xaa, 0x1c, 0x20, 0xcf, 0xf4, 0x6b, 0xe7, 0x58, 0x01, 0x00, 0x3b};
constexpr unsigned char kListUsersGif[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x10, 0x00, 0x10, 0x00, 0x81, 0x00, 0x00, 0xff, 0xff,
    0xff, 0x34, 0x49, 0x5e, 0x29, 0x80, 0xb9, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x10, 0x00, 0x00, 0x02, 0x29,
    0x84, 0x8f, 0x69, 0xc1, 0xed, 0xbe, 0x94, 0x0a, 0x51, 0x08, 0x60, 0xb3, 0x05, 0x94, 0xcb,
    0xd4, 0x51, 0x9b, 0x96, 0x79, 0xe6, 0x17, 0x79, 0x23, 0x79, 0x85, 0xe8, 0xe1, 0xae, 0xa4,
    0xd9, 0xbd, 0xe1, 0x83, 0x33, 0xef, 0xce, 0xf7, 0x7e, 0x52, 0x00, 0x00, 0x3b};

// The tab's icon: the header's colours, a door ajar. SVG, which every current browser takes for
// an icon, whatever the address's extension.
constexpr std::string_view kFavicon =
    R"svg(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 16 16">)svg"
    R"svg(<rect width="16" height="16" rx="3" fill="#34495e"/>)svg"
    R"svg(<path d="M4 3h8v10H4z" fill="none" stroke="#fff" stroke-width="1.5"/>)svg"
    R"svg(<path d="M4 3l5 1.5v10L4 13z" fill="#fff"/></svg>)svg";

template <size_t N>
std::string_view Bytes(const unsigned char (&data)[N]) {
  return std::string_view(reinterpret_cast<const char*>(data), N);
}

}  // namespace

const Asset* FindAsset(std::string_view path) {
  static const std::array<Asset, 6> kAssets = {{
      {"/style.css", "text/css; charset=utf-8", kStyle},
      {"/app.js", "text/javascript; charset=utf-8", kScript},
      {"/images/removeuser.gif", "image/gif", Bytes(kRemoveUserGif)},
      {"/images/adduser.gif", "image/gif", Bytes(kAddUserGif)},
      {"/images/listusers.gif", "image/gif", Bytes(kListUsersGif)},
      {"/favicon.ico", "image/svg+xml", kFavicon},
  }};
  for (const Asset& a : kAssets) {
    if (a.path == path) return &a;
  }
  return nullptr;
}

}  // namespace brindlecore::host
