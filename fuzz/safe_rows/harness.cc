// The component's rows as the pages re-emit them: whatever a directory entry or a request put in
// them, the output is only the allowed elements and attributes, every value quoted and escaped,
// links only to the two pages or the page script's calls, images only the site's own.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz.h"
#include "host/rows.h"

namespace {

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// At an '&' of escaped text: the length of the escape Escape() writes there, or 0.
size_t EscapeAt(std::string_view s, size_t i) {
  for (std::string_view e : {"&amp;", "&lt;", "&gt;", "&quot;", "&#39;"}) {
    if (StartsWith(s.substr(i), e)) return e.size();
  }
  return 0;
}

// Escaped text up to the next '<' (or '"' inside a value); returns where it stopped.
size_t CheckText(std::string_view s, size_t i, char stop) {
  for (; i < s.size() && s[i] != stop && s[i] != '<'; ++i) {
    FUZZ_CHECK(s[i] != '>' && s[i] != '"' && s[i] != '\'');
    if (s[i] == '&') {
      const size_t length = EscapeAt(s, i);
      FUZZ_CHECK(length > 0);
      i += length - 1;
    }
  }
  return i;
}

bool Allowed(std::string_view element, std::string_view attribute) {
  struct Shape {
    std::string_view element, attributes;
  };
  static constexpr Shape kShapes[] = {
      {"table", ""},
      {"tr", ""},
      {"td", " class width colspan "},
      {"a", " href title class data-call data-arg data-arg2 "},
      {"img", " src border title "},
      {"input", " class name id title "},
      {"select", " class name id "},
      {"option", " value "},
  };
  for (const Shape& shape : kShapes) {
    if (shape.element != element) continue;
    if (attribute.empty()) return true;
    return shape.attributes.find(" " + std::string(attribute) + " ") != std::string_view::npos;
  }
  return false;
}

// The tag at out[i] ('<'); returns the position after its '>'.
size_t CheckTag(std::string_view out, size_t i) {
  size_t j = i + 1;
  const bool closing = j < out.size() && out[j] == '/';
  if (closing) ++j;
  size_t name_end = j;
  while (name_end < out.size() && out[name_end] >= 'a' && out[name_end] <= 'z') ++name_end;
  const std::string_view element = out.substr(j, name_end - j);
  FUZZ_CHECK(Allowed(element, ""));
  j = name_end;
  if (closing) {
    FUZZ_CHECK(j < out.size() && out[j] == '>');
    FUZZ_CHECK(element != "img" && element != "input");
    return j + 1;
  }
  std::string href;
  bool has_call = false;
  while (j < out.size() && out[j] == ' ') {
    size_t eq = out.find("=\"", j + 1);
    FUZZ_CHECK(eq != std::string_view::npos);
    const std::string_view attribute = out.substr(j + 1, eq - j - 1);
    FUZZ_CHECK(attribute.find(' ') == std::string_view::npos);
    FUZZ_CHECK(Allowed(element, attribute));
    const size_t value_start = eq + 2;
    const size_t value_end = CheckText(out, value_start, '"');
    FUZZ_CHECK(value_end < out.size() && out[value_end] == '"');
    const std::string_view value = out.substr(value_start, value_end - value_start);
    if (attribute == "href") href = value;
    if (attribute == "data-call") {
      FUZZ_CHECK(value == "userAdd" || value == "listUsers" || value == "updateField");
      has_call = true;
    }
    if (attribute == "src") {
      FUZZ_CHECK(StartsWith(value, "./images/") && value.size() > 13 &&
                 value.substr(value.size() - 4) == ".gif");
      for (char c : value.substr(9, value.size() - 13)) FUZZ_CHECK(c >= 'a' && c <= 'z');
    }
    j = value_end + 1;
  }
  FUZZ_CHECK(j < out.size() && out[j] == '>');
  if (!href.empty()) {
    FUZZ_CHECK(StartsWith(href, "./editGroup.asp?") || StartsWith(href, "./UserDelete.asp?") ||
               (href == "#" && has_call));
  }
  return j + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string out =
      brindlecore::host::SafeRows(std::string_view(reinterpret_cast<const char*>(data), size));
  for (size_t i = 0; i < out.size();) {
    i = out[i] == '<' ? CheckTag(out, i) : CheckText(out, i, '<');
  }
  return 0;
}
