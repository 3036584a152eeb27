// Favorites: Internet Shortcut files in a folder of the platform root.
#ifndef BRINDLECORE_PLATFORM_SHELL_FAVORITES_H_
#define BRINDLECORE_PLATFORM_SHELL_FAVORITES_H_

#include <filesystem>
#include <string>
#include <vector>

#include "brindlecore/variant.h"

namespace brindlecore::platform {

struct Favorite {
  std::string title;
  std::string url;
};

// See Platform::AddFavorite. `folder` is root/favorites, made when missing.
void AddFavorite(const std::filesystem::path& folder, const std::string& url, const Variant& title);

// The favorites of a folder, ordered by title.
std::vector<Favorite> ListFavorites(const std::filesystem::path& folder);

}  // namespace brindlecore::platform

#endif  // BRINDLECORE_PLATFORM_SHELL_FAVORITES_H_
