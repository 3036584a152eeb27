// The JSON-lines host's request decoder: any line becomes a request or a BadRequest whose message
// stays short; any other exception escaping is a crash for libFuzzer.
#include <cstdint>
#include <string_view>

#include "cli/invoke_request.h"
#include "fuzz.h"

using namespace brindlecore::cli;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  try {
    Request request = ParseRequest(line, "Default.Class");
    FUZZ_CHECK(!request.method.empty());
  } catch (const BadRequest& bad) {
    // Names a member or a location at most: never a text that grows with the nesting.
    FUZZ_CHECK(bad.message.size() <= size + 64 * 24 + 100);
  }
  return 0;
}
