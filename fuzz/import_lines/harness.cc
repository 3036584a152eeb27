// The import file's line splitter: the lines it hands out are the file's text cut at each LF,
// with the CR of a CRLF dropped, and never longer than the limit.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz.h"
#include "platform/automation/errors.h"
#include "platform/files/text_file.h"

using namespace brindlecore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  std::string text(reinterpret_cast<const char*>(data), size);
  std::FILE* file = fmemopen(text.data(), text.size(), "rb");
  FUZZ_CHECK(file != nullptr);
  auto stream = platform::TextStreamOver(file);
  std::string joined;
  bool first = true;
  try {
    while (!stream->AtEndOfStream()) {
      std::string line = stream->ReadLine();
      FUZZ_CHECK(line.size() <= platform::kMaxLineLength);
      FUZZ_CHECK(line.find('\n') == std::string::npos);
      joined += (first ? "" : "\n") + line;
      first = false;
    }
  } catch (const AutomationError& e) {
    FUZZ_CHECK(e.number == errors::kRtOutOfStringSpace.number);
    return 0;
  }
  std::string expected;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    expected += text[i];
  }
  if (!expected.empty() && expected.back() == '\n') expected.pop_back();
  FUZZ_CHECK(joined == expected);
  return 0;
}
