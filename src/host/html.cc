#include "host/html.h"

#include <array>
#include <cctype>
#include <initializer_list>

namespace brindlecore::host {

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string CsrfField(std::string_view token) {
  return "<input type=hidden name=csrf value=\"" + Escape(token) + "\">";
}

namespace {

struct NavItem {
  std::string_view href;
  std::string_view label;
  std::string_view page;
};

constexpr std::array<NavItem, 5> kAdminNav = {{
    {"ProfileAdministrators.asp", "Profile administrators", "profileadmins"},
    {"Groups.asp", "Profile groups", "groups"},
    {"Users.asp", "Users", "users"},
    {"Import.asp", "Import", "import"},
    {"Sites.asp", "Web sites", "sites"},
}};

}  // namespace

std::string RenderPage(const PageFrame& frame, std::string_view content) {
  // Built by appending pieces: GCC 12 at -O3 misreads `literal + std::string` temporaries as
  // overlapping copies (-Werror=restrict).
  std::string html;
  auto add = [&html](std::initializer_list<std::string_view> pieces) {
    for (std::string_view piece : pieces) html.append(piece);
  };
  // Links from the site's top, so that a page answered at any depth (not found) keeps its look.
  add(
      {"<!DOCTYPE html>\n<html lang=en><head><meta charset=utf-8>"
       "<meta name=viewport content=\"width=device-width, initial-scale=1\"><title>",
       Escape(frame.title),
       " - Brindlecore</title>"
       "<link rel=icon href=/favicon.ico type=\"image/svg+xml\">"
       "<link rel=stylesheet href=/style.css><script src=/app.js defer></script></head>\n"
       "<body data-page=\"",
       Escape(frame.page), "\"><header><h1>Brindlecore administration</h1>"});
  if (!frame.user.empty()) {
    add({"<form method=post action=/logout.asp><span>Signed in as ", Escape(frame.user), "</span> ",
         CsrfField(frame.csrf), " <button type=submit id=bc-signout>Sign out</button></form>"});
  }
  add({"</header>\n"});
  if (frame.admin) {
    add({"<nav>"});
    for (const NavItem& item : kAdminNav) {
      add({"<a href=\"/", item.href, "\"", item.page == frame.page ? " class=current" : "", ">",
           item.label, "</a>"});
    }
    add({"</nav>\n"});
  }
  add({"<main><h2>", Escape(frame.title), "</h2>"});
  // The message box is always there so the page script can report into it.
  add({"<div id=bc-message role=status"});
  if (frame.message.empty()) {
    add({">"});
  } else {
    add({" class=\"message ", frame.message_is_error ? "error" : "ok", "\">",
         Escape(frame.message)});
  }
  add({"</div>\n"});
  if (!frame.hint.empty()) add({"<p class=hint id=bc-hint>", Escape(frame.hint), "</p>\n"});
  add({content, "</main>\n"});
  if (!frame.csrf.empty()) {
    add({"<form id=bc-action method=post hidden>", CsrfField(frame.csrf),
         "<input type=hidden name=user><input type=hidden name=group>"
         "<input type=hidden name=back></form>\n"});
  }
  add({"</body></html>\n"});
  return html;
}

}  // namespace brindlecore::host
