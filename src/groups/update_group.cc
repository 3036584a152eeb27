// UpdateGroup: changes a group's description or deletes the group. It acts on whatever name it
// is given; the pages only offer profile groups.
#include <memory>
#include <string>

#include "component/account_database.h"
#include "component/authentication.h"
#include "component/frame.h"

namespace brindlecore::component {

Variant Authentication::UpdateGroup(Variant sNTDomain, Variant /*sUserName*/, Variant /*sPassword*/,
                                    Variant sGroupName, Variant sGroupDescription, Variant sAction,
                                    Variant& pvError) {
  pvError = std::string();
  const std::string action = sAction.IsString() ? sAction.str() : std::string();
  try {
    const std::string domain_name = ConcatText(sNTDomain);
    if (action == "Update") {
      // The domain bind proves the account database is reachable before the group is touched.
      auto domain = BindDomain(platform_, domain_name);
      auto group = BindGroup(platform_, domain_name, ToText(sGroupName));
      group->SetDescription(ToText(sGroupDescription));
      group->SetInfo();
      return Variant(true);
    }
    if (action == "Delete") {
      auto computer = BindComputer(platform_, domain_name);
      computer->Delete("group", ToText(sGroupName));
      return Variant(true);
    }
    pvError = "Error: Action should be Update or Delete";
  } catch (const AutomationError& e) {
    if (ConcatText(pvError).empty()) pvError = FormD(e);
  }
  return Variant(false);
}

}  // namespace brindlecore::component
