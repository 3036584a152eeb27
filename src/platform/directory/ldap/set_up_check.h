// The directory set-up, checked step by step as an administrator would: for every configured
// server, resolve, connect, TLS and the certificate's names, the service account's bind, the
// RootDSE's naming context, and with a user, the search for it and its bind.
#ifndef BRINDLECORE_PLATFORM_DIRECTORY_LDAP_SET_UP_CHECK_H_
#define BRINDLECORE_PLATFORM_DIRECTORY_LDAP_SET_UP_CHECK_H_

#include <ostream>
#include <string>

#include "platform/root.h"

namespace brindlecore::platform::ldap {

// Writes each step ("  ok    ..." or "  FAIL  ..." with what to change) to `out`; true when all
// passed. `user` empty: no user steps.
bool CheckSetUp(const PlatformConfig& config, const std::string& user, const std::string& password,
                std::ostream& out);

}  // namespace brindlecore::platform::ldap

#endif  // BRINDLECORE_PLATFORM_DIRECTORY_LDAP_SET_UP_CHECK_H_
