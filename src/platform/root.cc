#include "platform/root.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <system_error>

#include "platform/automation/errors.h"

namespace brindlecore::platform {
namespace {

std::mutex root_mutex;
std::optional<std::filesystem::path> process_root;

std::string TrimWhite(const std::string& s) {
  const char* ws = " \t\r";
  size_t b = s.find_first_not_of(ws);
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(ws);
  return s.substr(b, e - b + 1);
}

}  // namespace

std::string PlatformConfig::Get(const std::string& key, const std::string& fallback) const {
  auto it = values.find(key);
  return it == values.end() ? fallback : it->second;
}

PlatformConfig PlatformConfig::Load(const std::filesystem::path& root) {
  PlatformConfig config;
  config.root = root;
  std::ifstream in(root / "platform.conf");
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::string text = TrimWhite(line);
    if (text.empty() || text[0] == '#') continue;
    size_t eq = text.find('=');
    if (eq == std::string::npos || TrimWhite(text.substr(0, eq)).empty()) {
      throw AutomationError(
          errors::kEInvalidarg.number,
          "platform.conf line " + std::to_string(number) + ": expected 'key = value'");
    }
    config.values[TrimWhite(text.substr(0, eq))] = TrimWhite(text.substr(eq + 1));
  }
  return config;
}

std::filesystem::path ResolveRoot(const std::optional<std::filesystem::path>& flag) {
  if (flag && !flag->empty()) return std::filesystem::absolute(*flag);
  if (const char* env = std::getenv("BRINDLECORE_ROOT"); env && *env) {
    return std::filesystem::absolute(env);
  }
  if (geteuid() == 0) return "/var/lib/brindlecore";
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
    return std::filesystem::path(state) / "brindlecore";
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home ? home : ".") / ".local/state/brindlecore";
}

void EnsureRoot(const std::filesystem::path& root) {
  std::error_code ec;
  if (!std::filesystem::exists(root, ec)) {
    std::filesystem::create_directories(root, ec);
    if (ec) {
      int err = ec.value();
      const errors::ErrorCode* error = &errors::kErrorPathNotFound;
      if (err == EACCES || err == EPERM || err == EROFS) error = &errors::kEAccessdenied;
      if (err == ENOSPC || err == EDQUOT) error = &errors::kErrorDiskFull;
      throw errors::FileError(error->Make(), root.string());
    }
    ::chmod(root.c_str(), 0700);
  }
}

void SetProcessRoot(const std::filesystem::path& root) {
  std::lock_guard lock(root_mutex);
  process_root = root;
}

std::filesystem::path ProcessRoot() {
  {
    std::lock_guard lock(root_mutex);
    if (process_root) return *process_root;
  }
  return ResolveRoot(std::nullopt);
}

}  // namespace brindlecore::platform
