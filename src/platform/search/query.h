// The two query dialects of directory search, turned into one LDAP search:
//   select a, b from 'LDAP://...' where attr='value' [and|or|not ...]
//   <LDAP://...>;(filter);a,b;subTree|oneLevel|base
#ifndef BRINDLECORE_PLATFORM_SEARCH_QUERY_H_
#define BRINDLECORE_PLATFORM_SEARCH_QUERY_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindlecore::platform::search {

struct Query {
  std::string root;                  // the search root's path, as written
  std::string filter;                // an LDAP filter
  std::vector<std::string> columns;  // in the order asked for
  std::optional<int> scope;          // only the angle-bracket dialect names one
};

// Far deeper than any real query; what goes deeper is refused rather than recursed into.
inline constexpr int kMaxFilterNesting = 64;

// Throws DB_E_ERRORSINCOMMAND for a text of neither dialect, or whose filter nests parentheses
// or "not"s deeper than kMaxFilterNesting. Values of the select dialect are escaped for the
// filter except "*" inside a quoted value, which stays a wildcard. Linear in the text's length.
Query ParseQuery(std::string_view text);

}  // namespace brindlecore::platform::search

#endif  // BRINDLECORE_PLATFORM_SEARCH_QUERY_H_
