// The select dialect: any text parses or is refused with the dialect's syntax error, and what
// parses is a filter whose every parenthesis is structure, never a value's.
#include <cctype>
#include <cstdint>
#include <string_view>

#include "fuzz.h"
#include "platform/automation/errors.h"
#include "platform/search/query.h"

using namespace brindlecore;

namespace {

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

void CheckFilter(std::string_view filter) {
  int depth = 0;
  for (size_t i = 0; i < filter.size(); ++i) {
    char c = filter[i];
    if (c == '\\') {
      FUZZ_CHECK(i + 2 < filter.size() && IsHex(filter[i + 1]) && IsHex(filter[i + 2]));
      i += 2;
    } else if (c == '(') {
      ++depth;
      // Each "not" or parenthesis adds at most an operator's level and an operand's.
      FUZZ_CHECK(depth <= 2 * platform::search::kMaxFilterNesting + 2);
    } else if (c == ')') {
      FUZZ_CHECK(--depth >= 0);
      FUZZ_CHECK(depth > 0 || i + 1 == filter.size());
    }
    FUZZ_CHECK(c != '\0');
  }
  FUZZ_CHECK(depth == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t first = text.find_first_not_of(" \t\n\v\f\r");
  if (first != std::string_view::npos && text[first] == '<') return 0;  // the other dialect
  try {
    CheckFilter(platform::search::ParseQuery(text).filter);
  } catch (const AutomationError& e) {
    FUZZ_CHECK(e.number == errors::kDbEErrorsincommand.number);
  }
  return 0;
}
