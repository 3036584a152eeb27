// The root of a web site as both site-making methods leave it: readable, running scripts that may
// reach parent paths, and its own application.
#ifndef BRINDLECORE_WEBSERVER_SITE_ROOT_H_
#define BRINDLECORE_WEBSERVER_SITE_ROOT_H_

#include <string>

#include "platform/platform.h"

namespace brindlecore::webserver {

// Points `root` at `folder` and makes it an application: sets AccessRead, AccessScript, Path and
// AspEnableParentPaths, saves, creates a pooled application (AppCreate2 2), names it "Default
// Application" and saves again. Throws the first failure; what was saved before it stays.
void SetUpSiteRoot(platform::DirObject& root, const std::string& folder);

}  // namespace brindlecore::webserver

#endif  // BRINDLECORE_WEBSERVER_SITE_ROOT_H_
