#include "host/rows.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "host/html.h"

namespace brindlecore::host {
namespace {

struct Attribute {
  std::string name;   // lower case
  std::string value;  // entities decoded
  bool has_value = false;
};

struct Tag {
  std::string name;  // lower case
  bool closing = false;
  std::vector<Attribute> attributes;
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerText(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The character reference at text[i] ('&'), as a browser reads the few the rows can hold;
// nullopt leaves the '&' as a literal.
std::optional<uint32_t> Reference(std::string_view text, size_t i, size_t* length) {
  static constexpr std::array<std::pair<std::string_view, uint32_t>, 7> kNamed = {{
      {"&nbsp;", 0xA0},
      {"&amp;", '&'},
      {"&lt;", '<'},
      {"&gt;", '>'},
      {"&quot;", '"'},
      {"&apos;", '\''},
      {"&#39;", '\''},
  }};
  for (const auto& [name, cp] : kNamed) {
    if (text.substr(i, name.size()) == name) {
      *length = name.size();
      return cp;
    }
  }
  if (text.substr(i, 2) != "&#") return std::nullopt;
  size_t j = i + 2;
  const bool hex = j < text.size() && (text[j] == 'x' || text[j] == 'X');
  if (hex) ++j;
  uint32_t cp = 0;
  size_t digits = 0;
  for (; j < text.size() && digits < 8; ++j, ++digits) {
    const char c = Lower(text[j]);
    if (IsDigit(c)) {
      cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      cp = cp * 16 + static_cast<uint32_t>(c - 'a' + 10);
    } else {
      break;
    }
  }
  if (digits == 0 || j >= text.size() || text[j] != ';') return std::nullopt;
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  *length = j + 1 - i;
  return cp;
}

std::string Decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t length = 0;
    if (text[i] == '&') {
      if (std::optional<uint32_t> cp = Reference(text, i, &length)) {
        AppendUtf8(out, *cp);
        i += length;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

// Reads the tag at html[start] ('<') as a browser would; nullopt when it is not a complete tag.
std::optional<Tag> ReadTag(std::string_view html, size_t start, size_t* end) {
  size_t i = start + 1;
  Tag tag;
  if (i < html.size() && html[i] == '/') {
    tag.closing = true;
    ++i;
  }
  if (i >= html.size() || !IsAlpha(html[i])) return std::nullopt;
  while (i < html.size() && !IsSpace(html[i]) && html[i] != '/' && html[i] != '>') {
    tag.name += Lower(html[i++]);
  }
  for (;;) {
    while (i < html.size() && (IsSpace(html[i]) || html[i] == '/')) ++i;
    if (i >= html.size()) return std::nullopt;
    if (html[i] == '>') break;
    Attribute a;
    // A name runs to a space, '/', '>' or '='; a leading '=' belongs to the name.
    a.name += Lower(html[i++]);
    while (i < html.size() && !IsSpace(html[i]) && html[i] != '/' && html[i] != '>' &&
           html[i] != '=') {
      a.name += Lower(html[i++]);
    }
    size_t j = i;
    while (j < html.size() && IsSpace(html[j])) ++j;
    if (j < html.size() && html[j] == '=') {
      ++j;
      while (j < html.size() && IsSpace(html[j])) ++j;
      if (j >= html.size()) return std::nullopt;
      a.has_value = true;
      if (html[j] == '"' || html[j] == '\'') {
        const size_t close = html.find(html[j], j + 1);
        if (close == std::string_view::npos) return std::nullopt;
        a.value = Decode(html.substr(j + 1, close - j - 1));
        i = close + 1;
      } else {
        size_t k = j;
        while (k < html.size() && !IsSpace(html[k]) && html[k] != '>') ++k;
        a.value = Decode(html.substr(j, k - j));
        i = k;
      }
    }
    // A repeated attribute is ignored, as a browser does.
    if (std::none_of(tag.attributes.begin(), tag.attributes.end(),
                     [&](const Attribute& b) { return b.name == a.name; })) {
      tag.attributes.push_back(std::move(a));
    }
  }
  *end = i + 1;
  return tag;
}

// Undoes the escapes of a JavaScript single-quoted string the rows write (\\ and \').
std::string ScriptText(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) ++i;
    out += s[i];
  }
  return out;
}

// "javascript:userAdd(G);", "javascript:listUsers(G);" or "JavaScript:updateField('U','G');" as
// data attributes; "" when the call is none of these.
std::string CallAttributes(std::string_view href) {
  std::string_view call = href.substr(std::string_view("javascript:").size());
  while (!call.empty() && (call.back() == ';' || IsSpace(call.back()))) call.remove_suffix(1);
  const size_t open = call.find('(');
  if (open == std::string_view::npos || call.back() != ')') return "";
  const std::string_view function = call.substr(0, open);
  const std::string_view inner = call.substr(open + 1, call.size() - open - 2);
  if (inner.empty()) return "";
  if (function == "userAdd" || function == "listUsers") {
    return " href=\"#\" data-call=\"" + std::string(function) + "\" data-arg=\"" + Escape(inner) +
           "\"";
  }
  if (function != "updateField") return "";
  const size_t split = inner.find("','");
  if (inner.size() < 5 || inner.front() != '\'' || inner.back() != '\'' ||
      split == std::string_view::npos) {
    return "";
  }
  const std::string user = ScriptText(inner.substr(1, split - 1));
  const std::string group = ScriptText(inner.substr(split + 3, inner.size() - split - 4));
  return " href=\"#\" data-call=\"updateField\" data-arg=\"" + Escape(user) + "\" data-arg2=\"" +
         Escape(group) + "\"";
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

bool IsOwnImage(std::string_view src) {
  constexpr std::string_view kFolder = "./images/";
  if (!StartsWith(src, kFolder) || src.size() <= kFolder.size() + 4 ||
      src.substr(src.size() - 4) != ".gif") {
    return false;
  }
  std::string_view name = src.substr(kFolder.size(), src.size() - kFolder.size() - 4);
  return std::all_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// Bare words the rows leave behind in unquoted attributes ("title=Remove user from group",
// "listUsers(G); return false ;\"").
bool IsStrayWord(const Attribute& a) {
  static constexpr std::string_view kWords[] = {"user", "from", "group", "return", "false", ";\""};
  return !a.has_value &&
         std::find(std::begin(kWords), std::end(kWords), a.name) != std::end(kWords);
}

// The tag re-written, or nullopt when it is not a shape of the rows.
std::optional<std::string> Rewrite(const Tag& tag) {
  struct Shape {
    std::string_view name;
    std::array<std::string_view, 3> attributes;
  };
  static constexpr Shape kShapes[] = {
      {"table", {}},
      {"tr", {}},
      {"td", {"class", "width", "colspan"}},
      {"a", {"href", "title", "class"}},
      {"img", {"src", "border", "title"}},
      {"input", {"class", "name", "id"}},
      {"select", {"class", "name", "id"}},
      {"option", {"value"}},
  };
  const Shape* shape = nullptr;
  for (const Shape& s : kShapes) {
    if (s.name == tag.name) shape = &s;
  }
  if (shape == nullptr) return std::nullopt;
  const bool is_void = tag.name == "img" || tag.name == "input";
  if (tag.closing) return is_void ? "" : "</" + tag.name + ">";

  std::string out = "<" + tag.name;
  for (const Attribute& a : tag.attributes) {
    if (IsStrayWord(a)) continue;
    const bool known = std::find(shape->attributes.begin(), shape->attributes.end(), a.name) !=
                           shape->attributes.end() ||
                       (tag.name == "input" && a.name == "title");
    if (!known) return std::nullopt;
    if (a.name == "href") {
      if (StartsWith(a.value, "./editGroup.asp?") || StartsWith(a.value, "./UserDelete.asp?")) {
        out += " href=\"" + Escape(a.value) + "\"";
        continue;
      }
      if (LowerText(a.value.substr(0, 11)) != "javascript:") return std::nullopt;
      std::string call = CallAttributes(a.value);
      if (call.empty()) return std::nullopt;
      out += call;
      continue;
    }
    if (a.name == "src" && !IsOwnImage(a.value)) return std::nullopt;
    out += " " + a.name + "=\"" + Escape(a.value) + "\"";
  }
  return out + ">";
}

}  // namespace

std::string SafeRows(std::string_view html) {
  std::string out;
  out.reserve(html.size() + html.size() / 4);
  size_t i = 0;
  while (i < html.size()) {
    if (html[i] == '<') {
      size_t end = 0;
      if (std::optional<Tag> tag = ReadTag(html, i, &end)) {
        if (std::optional<std::string> safe = Rewrite(*tag)) {
          out += *safe;
          i = end;
          continue;
        }
      }
      // Not a shape of the rows: its '<' is text, and so is what follows up to the next tag.
      out += "&lt;";
      ++i;
    }
    const size_t next = std::min(html.find('<', i), html.size());
    out += Escape(Decode(html.substr(i, next - i)));
    i = next;
  }
  return out;
}

}  // namespace brindlecore::host
