// The directory search as the methods that look accounts up in a domain set it up: where a
// search runs, the connection and command it runs on, and the command properties it is given.
#ifndef BRINDLECORE_COMPONENT_DIRECTORY_SEARCH_H_
#define BRINDLECORE_COMPONENT_DIRECTORY_SEARCH_H_

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace brindlecore::component {

// The path every domain's own root is reached by.
inline constexpr char kRootDsePath[] = "LDAP://RootDSE";

// "LDAP://" + the default naming context read from RootDSE. Throws the directory's error when
// RootDSE cannot be bound or read; nothing is left bound.
std::string DefaultNamingContextPath(platform::Platform& platform);

// The LDAP path a search runs under: for exactly "LDAP://RootDSE" (letter case included), the
// default naming context's path; any other text is its own search root.
std::string ResolveSearchRoot(platform::Platform& platform, const std::string& provider_text);

// A command on a newly opened "ADsDSOObject" connection: with the process's own credentials, or
// with `user` and `password` set on the connection before it opens. Throws the first failure.
std::unique_ptr<platform::Command> OpenSearchCommand(platform::Platform& platform);
std::unique_ptr<platform::Command> OpenSearchCommand(platform::Platform& platform,
                                                     const std::string& user,
                                                     const std::string& password);

// How long, in seconds, a search may take: a check for one account, and a listing of them all.
inline constexpr int16_t kLookupTimeout = 240;
inline constexpr int16_t kListingTimeout = 360;

// Sets, in this order, "Page Size" 1000, "Timeout" `timeout` (16-bit), "searchscope" 2, "Chase
// referrals" 64 (32-bit), "Cache Results" False and "Size Limit" 1 (16-bit): one row is all a
// search needs unless its caller raises the limit. Throws the first failure.
void SetSearchProperties(platform::Command& command, int16_t timeout);

// The dialect's query for the account whose sAMAccountName is `account_name` under
// `base_path`. The name goes in as typed: the dialect has no escape for a quote anyway.
std::string AccountQuery(const std::string& columns, const std::string& base_path,
                         const std::string& account_name);

}  // namespace brindlecore::component

#endif  // BRINDLECORE_COMPONENT_DIRECTORY_SEARCH_H_
