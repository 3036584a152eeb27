// LDAP paths and DNs: any text parses or is refused with a path or DN error; what parses is
// normalised for good (normalising again changes nothing) and an escaped RDN value reads back.
#include <cstdint>
#include <string>

#include "fuzz.h"
#include "platform/automation/errors.h"
#include "platform/directory/ldap/ldap_names.h"

using namespace brindlecore;
using namespace brindlecore::platform::ldap;

namespace {

void CheckRefusal(const AutomationError& e) {
  FUZZ_CHECK(e.number == errors::kEAdsBadPathname.number ||
             e.number == errors::kErrorDsInvalidDnSyntax.number);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    LdapPath path = ParsePath("LDAP://" + text);
    FUZZ_CHECK(NormalizeDn(path.dn) == path.dn);
    FUZZ_CHECK(ParsePath(path.ADsPath()).ADsPath() == path.ADsPath());
  } catch (const AutomationError& e) {
    CheckRefusal(e);
  }
  try {
    std::string dn = NormalizeDn(text);
    FUZZ_CHECK(NormalizeDn(dn) == dn);
    if (!dn.empty()) FUZZ_CHECK(!FirstRdn(dn).type.empty());
  } catch (const AutomationError& e) {
    CheckRefusal(e);
  }
  if (!text.empty() && text.find('\0') == std::string::npos) {
    FUZZ_CHECK(FirstRdn("CN=" + EscapeRdnValue(text)).value == text);
  }
  return 0;
}
