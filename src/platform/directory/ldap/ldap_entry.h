// The LDAP provider and directory search live in a library of their own, libbrindleldap.so, that
// the platform loads with dlopen when a path or a search first needs LDAP: libldap and its TLS
// stack cost every process that loads them milliseconds at start, and most calls never use them.
#ifndef BRINDLECORE_PLATFORM_DIRECTORY_LDAP_LDAP_ENTRY_H_
#define BRINDLECORE_PLATFORM_DIRECTORY_LDAP_LDAP_ENTRY_H_

#include <memory>
#include <ostream>
#include <string>

#include "platform/platform.h"
#include "platform/root.h"

namespace brindlecore::platform {

class DirectoryProvider;

inline constexpr char kLdapLibrary[] = "libbrindleldap.so";
inline constexpr char kLdapEntry[] = "BrindlecoreLdapBackend";

// What the library offers: the "LDAP:" provider and new search connections (MakeLdapProvider
// and NewSearchConnection), and the set-up check of `ldap check` (ldap::CheckSetUp).
struct LdapBackend {
  std::unique_ptr<DirectoryProvider> (*make_provider)(const PlatformConfig& config);
  std::unique_ptr<Connection> (*new_connection)(const PlatformConfig& config);
  bool (*check_set_up)(const PlatformConfig& config, const std::string& user,
                       const std::string& password, std::ostream& out);
};

// The library, loaded at the first call. Throws E_FAIL when it cannot be loaded.
const LdapBackend& LoadLdapBackend();

}  // namespace brindlecore::platform

extern "C" const brindlecore::platform::LdapBackend* BrindlecoreLdapBackend();
using BrindlecoreLdapBackendFn = const brindlecore::platform::LdapBackend* (*)();

#endif  // BRINDLECORE_PLATFORM_DIRECTORY_LDAP_LDAP_ENTRY_H_
