// The longest values the pages accept, field by field, at sizes real directories and web servers
// use: anything longer is refused before the component sees it.
#ifndef BRINDLECORE_HOST_LIMITS_H_
#define BRINDLECORE_HOST_LIMITS_H_

#include <httplib.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace brindlecore::host {

// The cap of a request field in characters (UTF-8 code points), and how the refusal names it.
struct FieldCap {
  size_t max;
  std::string_view label;
};

// The cap of `field`; fields the pages do not know get a generic one.
FieldCap CapOf(std::string_view field);

// The refusal text for the first field of `req` (query, form or upload) over its cap, e.g.
// "The user name is too long (at most 256 characters)."; "" when every field fits.
std::string OversizedField(const httplib::Request& req);

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_LIMITS_H_
