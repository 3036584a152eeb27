// AddExternalGroup: a new multi-site profile group under the smallest free number.
#include <memory>
#include <string>

#include "component/account_database.h"
#include "component/authentication.h"
#include "component/frame.h"
#include "component/profile_group_names.h"

namespace brindlecore::component {
namespace {

constexpr int kMaxProbes = 500;

}  // namespace

// Only the probes are trapped: binding the domain and creating the group fail towards the host,
// so a page never reads a half-made group as success.
Variant Authentication::AddExternalGroup(Variant sNTDomain, Variant /*sUserName*/,
                                         Variant /*sPassword*/, Variant sGroupDescription,
                                         Variant& pvError) {
  const std::string domain_name = ConcatText(sNTDomain);
  auto domain = BindDomain(platform_, domain_name);
  pvError = std::string();

  for (int n = 1; n <= kMaxProbes; ++n) {
    const std::string name = std::string(kMultiSitePrefix) + std::to_string(n);
    try {
      BindGroup(platform_, domain_name, name);
      continue;  // taken
    } catch (const AutomationError&) {
      // Any failed probe, not only a missing group, takes the number; a real conflict then
      // shows at SetInfo.
    }
    auto group = domain->Create("group", name);
    group->Put("groupType", Variant(kLocalGroupType));
    group->SetDescription(ToText(sGroupDescription));
    group->SetInfo();
    return Variant(true);
  }

  // The message's wording is what the pages already match on.
  pvError = "Could not create group after 500 attemps - Error: ";
  return Variant(false);
}

}  // namespace brindlecore::component
