#include "component/authentication.h"
#include "platform/automation/errors.h"

namespace brindlecore::component {

// Not built yet: fails towards the host rather than inventing a result.
Variant Authentication::GetGroupList(Variant /*sNTDomain*/, Variant /*sUserName*/, Variant /*sLoginType*/, Variant& /*pvError*/) {
  errors::kENotimpl.Throw();
}

}  // namespace brindlecore::component
