#include "component/authentication.h"
#include "platform/automation/errors.h"

namespace brindlecore::component {

// Not built yet: fails towards the host rather than inventing a result.
Variant Authentication::UpdateGroup(Variant /*sNTDomain*/, Variant /*sUserName*/, Variant /*sPassword*/, Variant /*sGroupName*/, Variant /*sGroupDescription*/, Variant /*sAction*/, Variant& /*pvError*/) {
  errors::kENotimpl.Throw();
}

}  // namespace brindlecore::component
