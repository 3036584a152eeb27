// Names of the profile groups. Sign-in, the listings and group upkeep all recognise a profile
// group by these prefixes alone, so the test must be the same everywhere: exact, case-sensitive,
// on the first seven characters.
#ifndef BRINDLECORE_GROUPS_PROFILE_GROUP_NAMES_H_
#define BRINDLECORE_GROUPS_PROFILE_GROUP_NAMES_H_

#include <string_view>

namespace brindlecore::component {

// One group per web site: the prefix followed by the site's metabase name.
inline constexpr std::string_view kPerSitePrefix = "QZW3SVC";
// Groups spanning several sites: the prefix followed by a number from 1 on.
inline constexpr std::string_view kMultiSitePrefix = "QZMULTI";

inline bool HasPrefix(std::string_view name, std::string_view prefix) {
  return name.substr(0, prefix.size()) == prefix;
}

}  // namespace brindlecore::component

#endif  // BRINDLECORE_GROUPS_PROFILE_GROUP_NAMES_H_
