#include "component/authentication.h"
#include "platform/automation/errors.h"

namespace brindlecore::component {

// Not built yet: fails towards the host rather than inventing a result.
Variant Authentication::AuthenticateUser(Variant /*psComputerName*/, Variant /*psNTDomain*/, Variant /*psUserName*/, Variant /*psPassword*/, Variant& /*pvGroupList*/, Variant& /*pvGroupNames*/, Variant /*psAdminGroup*/, Variant /*psLoginType*/, Variant& /*pvError*/) {
  errors::kENotimpl.Throw();
}

}  // namespace brindlecore::component
