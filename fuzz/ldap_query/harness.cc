// The angle-bracket dialect: any text parses or is refused with the dialect's syntax error, and
// no filter that reaches the LDAP library nests deeper than the bound.
#include <cstdint>
#include <string>

#include "fuzz.h"
#include "platform/automation/errors.h"
#include "platform/search/query.h"

using namespace brindlecore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text = "<" + std::string(reinterpret_cast<const char*>(data), size);
  try {
    platform::search::Query query = platform::search::ParseQuery(text);
    int depth = 0;
    for (char c : query.filter) {
      if (c == '(') FUZZ_CHECK(++depth <= platform::search::kMaxFilterNesting + 1);
      if (c == ')') --depth;
    }
    FUZZ_CHECK(!query.columns.empty());
    FUZZ_CHECK(!query.scope || (*query.scope >= 0 && *query.scope <= 2));
  } catch (const AutomationError& e) {
    FUZZ_CHECK(e.number == errors::kDbEErrorsincommand.number);
  }
  return 0;
}
