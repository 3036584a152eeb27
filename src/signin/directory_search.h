// Pieces of the directory search that the sign-in and the addition of domain users share: where
// a search runs, and the command properties every such search is given.
#ifndef BRINDLECORE_SIGNIN_DIRECTORY_SEARCH_H_
#define BRINDLECORE_SIGNIN_DIRECTORY_SEARCH_H_

#include <string>

#include "platform/platform.h"

namespace brindlecore::signin {

// The LDAP path a search runs under: for exactly "LDAP://RootDSE" (letter case included),
// "LDAP://" + the domain's default naming context; any other text is its own search root.
// Throws the directory's error when RootDSE cannot be bound or read; nothing is left bound.
std::string ResolveSearchRoot(platform::Platform& platform, const std::string& provider_text);

// Sets, in this order, "Page Size" 1000, "Timeout" 240 (16-bit), "searchscope" 2, "Chase
// referrals" 64 (32-bit), "Cache Results" False and "Size Limit" 1 (16-bit): only whether one
// row exists matters to the callers. Throws the first failure.
void SetSingleRowSearchProperties(platform::Command& command);

}  // namespace brindlecore::signin

#endif  // BRINDLECORE_SIGNIN_DIRECTORY_SEARCH_H_
