// Directory search: the "ADsDSOObject" connection with its two query dialects.
#ifndef BRINDLECORE_PLATFORM_SEARCH_SEARCH_H_
#define BRINDLECORE_PLATFORM_SEARCH_SEARCH_H_

#include <memory>

#include "platform/platform.h"
#include "platform/root.h"

namespace brindlecore::platform {

std::unique_ptr<Connection> NewSearchConnection(const PlatformConfig& config);

}  // namespace brindlecore::platform

#endif  // BRINDLECORE_PLATFORM_SEARCH_SEARCH_H_
