// nginx as the platform's web server (see web_server.h for its configuration keys).
#ifndef BRINDLECORE_PLATFORM_WEB_NGINX_SERVER_H_
#define BRINDLECORE_PLATFORM_WEB_NGINX_SERVER_H_

#include <memory>

#include "platform/root.h"
#include "platform/web/web_server.h"

namespace brindlecore::platform::web {

// A change is applied as: render next to the live file, `nginx -t`, rename over the live file,
// SIGHUP to the master and wait for its new workers. A refusal at any step puts the live file
// back, so the master keeps serving what it served.
std::unique_ptr<WebServer> MakeNginxServer(const PlatformConfig& config);

}  // namespace brindlecore::platform::web

#endif  // BRINDLECORE_PLATFORM_WEB_NGINX_SERVER_H_
