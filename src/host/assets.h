// The static parts of the administration pages: style sheet, page script and icons.
#ifndef BRINDLECORE_HOST_ASSETS_H_
#define BRINDLECORE_HOST_ASSETS_H_

#include <string_view>

namespace brindlecore::host {

struct Asset {
  std::string_view path;  // as requested, e.g. "/images/adduser.gif"
  std::string_view content_type;
  std::string_view body;
};

// The asset served at `path`, or nullptr.
const Asset* FindAsset(std::string_view path);

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_ASSETS_H_
