#include "component/authentication.h"
#include "platform/automation/errors.h"

namespace brindlecore::component {

// Not built yet: fails towards the host rather than inventing a result.
Variant Authentication::RemoveUserFromGroup(Variant /*psNTDomain*/, Variant /*psUserToRemove*/, Variant /*psGroupToRemoveFrom*/, Variant& /*pvError*/) {
  errors::kENotimpl.Throw();
}

}  // namespace brindlecore::component
