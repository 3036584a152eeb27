#include "platform/directory/winnt/password_hash.h"

#include <crypt.h>

#include <cstring>
#include <memory>

#include "platform/automation/errors.h"

namespace brindlecore::platform::winnt {
namespace {

// libxcrypt's failure tokens start with '*'; anything else is a hash.
std::string Crypt(const std::string& password, const char* setting) {
  auto data = std::make_unique<crypt_data>();
  std::memset(data.get(), 0, sizeof(crypt_data));
  const char* out = crypt_rn(password.c_str(), setting, data.get(), sizeof(crypt_data));
  if (out == nullptr || out[0] == '*') errors::kEFail.Throw();
  return out;
}

bool ConstantTimeEquals(const std::string& a, const std::string& b) {
  // Length is not secret (yescrypt output lengths are fixed per setting).
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

const std::string& StandInHash() {
  static const std::string hash = HashPassword("stand-in for a missing password");
  return hash;
}

}  // namespace

std::string HashPassword(const std::string& password, int cost) {
  char setting[CRYPT_GENSALT_OUTPUT_SIZE];
  if (crypt_gensalt_rn("$y$", cost, nullptr, 0, setting, sizeof(setting)) == nullptr) {
    errors::kEFail.Throw();
  }
  return Crypt(password, setting);
}

bool VerifyPassword(const std::string& password, const std::optional<std::string>& hash) {
  const std::string& reference = hash ? *hash : StandInHash();
  std::string computed;
  try {
    computed = Crypt(password, reference.c_str());
  } catch (const AutomationError&) {
    return false;
  }
  return ConstantTimeEquals(computed, reference) && hash.has_value();
}

}  // namespace brindlecore::platform::winnt
