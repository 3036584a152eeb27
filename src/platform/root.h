// The platform root (where the account store, the metabase, the class registry, favorites/ and
// platform.conf live) and its configuration. The platforms made over a root are in
// default_platform.h.
#ifndef BRINDLECORE_PLATFORM_ROOT_H_
#define BRINDLECORE_PLATFORM_ROOT_H_

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace brindlecore::platform {

// platform.conf of a root: `key = value` lines, `#` comments. Missing file: no values.
struct PlatformConfig {
  std::filesystem::path root;
  std::map<std::string, std::string> values;

  std::string Get(const std::string& key, const std::string& fallback = "") const;
  // Reads root/platform.conf. Throws AutomationError (E_INVALIDARG, with the line) for a line
  // that is not `key = value`.
  static PlatformConfig Load(const std::filesystem::path& root);
};

// --root DIR when given, else BRINDLECORE_ROOT, else /var/lib/brindlecore for root and
// $XDG_STATE_HOME/brindlecore (~/.local/state/brindlecore) for others.
std::filesystem::path ResolveRoot(const std::optional<std::filesystem::path>& flag);

// Creates the root with mode 0700 when it is missing.
void EnsureRoot(const std::filesystem::path& root);

// The root the process works on: set by a host (the command's --root) before it creates objects;
// ResolveRoot(nullopt) when never set.
void SetProcessRoot(const std::filesystem::path& root);
std::filesystem::path ProcessRoot();

}  // namespace brindlecore::platform

#endif  // BRINDLECORE_PLATFORM_ROOT_H_
