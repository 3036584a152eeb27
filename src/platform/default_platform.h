// The real platform over a root and the process's own platform: what hosts, the class factory
// and tests make platforms with. Apart from root.h, so that what needs only the root's paths and
// configuration (the class registry, the providers) does not reach the top of the platform.
#ifndef BRINDLECORE_PLATFORM_DEFAULT_PLATFORM_H_
#define BRINDLECORE_PLATFORM_DEFAULT_PLATFORM_H_

#include <filesystem>
#include <memory>

#include "platform/platform.h"

namespace brindlecore::platform {

// The real platform over a root: WinNT and IIS providers on the root's SQLite stores, LDAP over
// libldap as platform.conf says, text files, favorites in root/favorites.
std::unique_ptr<Platform> MakePlatform(const std::filesystem::path& root);

// The process's platform over ProcessRoot(), made on first use; what the class factory hands to
// every object it creates.
Platform& DefaultPlatform();

}  // namespace brindlecore::platform

#endif  // BRINDLECORE_PLATFORM_DEFAULT_PLATFORM_H_
