// Password hashes of the account store: yescrypt through libxcrypt, never a clear text kept.
#ifndef BRINDLECORE_PLATFORM_DIRECTORY_WINNT_PASSWORD_HASH_H_
#define BRINDLECORE_PLATFORM_DIRECTORY_WINNT_PASSWORD_HASH_H_

#include <optional>
#include <string>

namespace brindlecore::platform::winnt {

// A new yescrypt hash of `password` with a fresh random salt; `cost` 0 is the library's default.
// E_FAIL when the library refuses (no randomness, out of memory).
std::string HashPassword(const std::string& password, int cost = 0);

// Whether `password` matches `hash`, compared in constant time. Without a hash (an account that
// has none, or no account) a stand-in hash is verified instead and the answer is false, so every
// refusal takes as long as a real check.
bool VerifyPassword(const std::string& password, const std::optional<std::string>& hash);

}  // namespace brindlecore::platform::winnt

#endif  // BRINDLECORE_PLATFORM_DIRECTORY_WINNT_PASSWORD_HASH_H_
