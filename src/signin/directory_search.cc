#include "signin/directory_search.h"

#include <cstdint>

#include "brindlecore/variant.h"

namespace brindlecore::signin {

std::string ResolveSearchRoot(platform::Platform& platform, const std::string& provider_text) {
  if (provider_text != "LDAP://RootDSE") return provider_text;
  std::unique_ptr<platform::DirObject> root_dse = platform.GetObject("LDAP://RootDSE");
  return "LDAP://" + ToText(root_dse->Get("defaultNamingContext"));
}

void SetSingleRowSearchProperties(platform::Command& command) {
  command.SetProperty("Page Size", Variant(int16_t{1000}));
  command.SetProperty("Timeout", Variant(int16_t{240}));
  command.SetProperty("searchscope", Variant(int32_t{2}));
  command.SetProperty("Chase referrals", Variant(int32_t{64}));
  command.SetProperty("Cache Results", Variant(false));
  command.SetProperty("Size Limit", Variant(int16_t{1}));
}

}  // namespace brindlecore::signin
