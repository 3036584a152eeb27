// Names of the profile groups. Sign-in, the listings and group upkeep all recognise a profile
// group by these prefixes alone, so the test must be the same everywhere: exact, case-sensitive,
// on the first seven characters.
#ifndef BRINDLECORE_COMPONENT_PROFILE_GROUP_NAMES_H_
#define BRINDLECORE_COMPONENT_PROFILE_GROUP_NAMES_H_

#include <cstdint>
#include <string_view>

namespace brindlecore::component {

// One group per web site: the prefix followed by the site's metabase name.
inline constexpr std::string_view kPerSitePrefix = "QZW3SVC";
// Groups spanning several sites: the prefix followed by a number from 1 on.
inline constexpr std::string_view kMultiSitePrefix = "QZMULTI";
static_assert(kPerSitePrefix.size() == kMultiSitePrefix.size());
// Both families' prefixes are this long; a per-site group's site name starts just after.
inline constexpr long kProfilePrefixLength = static_cast<long>(kPerSitePrefix.size());

// The groupType every profile group is created with: a group local to the account database, so
// that accounts of trusted domains can be members.
inline constexpr int32_t kLocalGroupType = 4;

inline bool HasPrefix(std::string_view name, std::string_view prefix) {
  return name.starts_with(prefix);
}

// Whether the name opens with either family's prefix.
inline bool IsProfileGroupName(std::string_view name) {
  return HasPrefix(name, kPerSitePrefix) || HasPrefix(name, kMultiSitePrefix);
}

}  // namespace brindlecore::component

#endif  // BRINDLECORE_COMPONENT_PROFILE_GROUP_NAMES_H_
