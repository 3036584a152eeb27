#include "component/authentication.h"
#include "platform/automation/errors.h"

namespace brindlecore::component {

// Not built yet: fails towards the host rather than inventing a result.
std::string Authentication::CreateVirtualWebServer(std::string /*IP*/, std::string /*Port*/, std::string /*RootDir*/, std::string /*ServerComment*/, std::string& /*pvError*/) {
  errors::kENotimpl.Throw();
}

}  // namespace brindlecore::component
