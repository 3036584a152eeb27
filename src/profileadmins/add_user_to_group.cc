#include "component/authentication.h"
#include "platform/automation/errors.h"

namespace brindlecore::component {

// Not built yet: fails towards the host rather than inventing a result.
Variant Authentication::AddUserToGroup(Variant /*psUserProvider*/, Variant /*psComputerName*/, Variant /*psUserToAdd*/, Variant /*psGroupToAddTo*/, Variant& /*pvError*/) {
  errors::kENotimpl.Throw();
}

}  // namespace brindlecore::component
