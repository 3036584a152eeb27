#include "platform/search/search.h"

#include "platform/automation/errors.h"

namespace brindlecore::platform {

std::unique_ptr<Connection> NewSearchConnection(const PlatformConfig&) {
  errors::kENotimpl.Throw();
}

}  // namespace brindlecore::platform
