// The two libxcrypt functions password hashing calls, bound to libcrypt at the first password
// hashed or checked rather than at every start of a process (see platform/system_library.h).
// Private to the platform library like the SQLite ones; when libcrypt cannot be loaded they
// fail as libxcrypt itself reports failure (a null result), which password hashing turns into
// E_FAIL.
#pragma GCC visibility push(hidden)
#include <crypt.h>
#pragma GCC visibility pop

#include "brindlecore/automation.h"
#include "platform/system_library.h"

namespace brindlecore::platform::winnt {
namespace {

constexpr char kCryptLibrary[] = "libcrypt.so.1";

struct Functions {
  decltype(&::crypt_rn) crypt_rn = nullptr;
  decltype(&::crypt_gensalt_rn) crypt_gensalt_rn = nullptr;
};

// All null when the library cannot be loaded; a later call does not try again.
const Functions& Crypt() noexcept {
  static const Functions functions = []() noexcept {
    Functions f;
    try {
      void* library = OpenSystemLibrary(kCryptLibrary);
      f.crypt_rn = SystemFunction<decltype(&::crypt_rn)>(library, "crypt_rn");
      f.crypt_gensalt_rn =
          SystemFunction<decltype(&::crypt_gensalt_rn)>(library, "crypt_gensalt_rn");
    } catch (const AutomationError&) {
      f = Functions{};
    }
    return f;
  }();
  return functions;
}

}  // namespace
}  // namespace brindlecore::platform::winnt

using brindlecore::platform::winnt::Crypt;

char* crypt_rn(const char* phrase, const char* setting, void* data, int size) noexcept {
  if (Crypt().crypt_rn == nullptr) return nullptr;
  return Crypt().crypt_rn(phrase, setting, data, size);
}

char* crypt_gensalt_rn(const char* prefix, unsigned long count, const char* rbytes, int nrbytes,
                       char* output, int output_size) noexcept {
  if (Crypt().crypt_gensalt_rn == nullptr) return nullptr;
  return Crypt().crypt_gensalt_rn(prefix, count, rbytes, nrbytes, output, output_size);
}
