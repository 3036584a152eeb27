#include "component/authentication.h"
#include "platform/automation/errors.h"

namespace brindlecore::component {

// Not built yet: fails towards the host rather than inventing a result.
Variant Authentication::ImportProfileAdmins(Variant /*psFileName*/, Variant /*psAuthString*/, Variant /*psComputerName*/) {
  errors::kENotimpl.Throw();
}

}  // namespace brindlecore::component
