#include "component/authentication.h"
#include "platform/automation/errors.h"

namespace brindlecore::component {

// Not built yet: fails towards the host rather than inventing a result.
bool Authentication::CreateVirtualDir(std::string& /*ServerName*/, std::string& /*VirtDirName*/, std::string& /*DirPath*/, std::string& /*pvError*/) {
  errors::kENotimpl.Throw();
}

}  // namespace brindlecore::component
