// Filter values: the escaped text carries no character a filter gives meaning to, and reads
// back as the value.
#include <cstdint>
#include <string>

#include "fuzz.h"
#include "platform/directory/ldap/ldap_names.h"

using brindlecore::platform::ldap::EscapeFilterValue;

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void Check(std::string_view value, bool keep_wildcards) {
  std::string escaped = EscapeFilterValue(value, keep_wildcards);
  std::string decoded;
  for (size_t i = 0; i < escaped.size(); ++i) {
    char c = escaped[i];
    FUZZ_CHECK(c != '(' && c != ')' && c != '\0');
    FUZZ_CHECK(keep_wildcards || c != '*');
    if (c == '\\') {
      FUZZ_CHECK(i + 2 < escaped.size());
      int high = HexValue(escaped[i + 1]), low = HexValue(escaped[i + 2]);
      FUZZ_CHECK(high >= 0 && low >= 0);
      decoded += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      decoded += c;
    }
  }
  FUZZ_CHECK(decoded == value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view value(reinterpret_cast<const char*>(data), size);
  Check(value, false);
  Check(value, true);
  return 0;
}
