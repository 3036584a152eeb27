// The component's listing rows, made safe for a page: the component embeds names, descriptions
// and request values unescaped (as it must), so its rows are untrusted markup.
#ifndef BRINDLECORE_HOST_ROWS_H_
#define BRINDLECORE_HOST_ROWS_H_

#include <string>
#include <string_view>

namespace brindlecore::host {

// Re-emits `html` through the small set of shapes the listing and import methods produce: table,
// tr, td, a, img, input, select and option with their known attributes. Every text and attribute
// value is re-escaped; a link is kept only when it leads to editGroup.asp or UserDelete.asp, or
// is one of the page's own calls (userAdd, listUsers, updateField), which becomes
// `href=# data-call=NAME data-arg=... [data-arg2=...]` for the page script. A tag of any other
// shape is shown as escaped text.
std::string SafeRows(std::string_view html);

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_ROWS_H_
