#include "component/authentication.h"
#include "platform/automation/errors.h"

namespace brindlecore::component {

// Not built yet: fails towards the host rather than inventing a result.
bool Authentication::AddFavorite(std::string& /*pURL*/, std::string& /*pTitle*/, std::string& /*pvError*/) {
  errors::kENotimpl.Throw();
}

}  // namespace brindlecore::component
