#include "platform/shell/favorites.h"

#include "platform/automation/errors.h"

namespace brindlecore::platform {

void AddFavorite(const std::filesystem::path&, const std::string&, const Variant&) {
  errors::kENotimpl.Throw();
}

std::vector<Favorite> ListFavorites(const std::filesystem::path&) { return {}; }

}  // namespace brindlecore::platform
