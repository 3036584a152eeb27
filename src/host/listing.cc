#include "host/listing.h"

#include "host/html.h"
#include "host/rows.h"
#include "host/site.h"

namespace brindlecore::host {

std::string ListingError(const CallOutcome& o, size_t error_arg) {
  return o.error ? ErrorText(*o.error) : o.Text(error_arg);
}

std::string ErrorBox(const std::string& text) {
  return text.empty() ? "" : "<p class=UserInfo4 id=listing-error>" + Escape(text) + "</p>";
}

std::string Listing(const CallOutcome& o, size_t error_arg, std::string_view table_id,
                    std::initializer_list<std::string_view> headings) {
  std::string html = ErrorBox(ListingError(o, error_arg));
  html += "<table class=listing id=" + std::string(table_id) + "><tr>";
  for (std::string_view h : headings) html += "<th>" + std::string(h) + "</th>";
  return html + "</tr>" + SafeRows(o.ResultText()) + "</table>";
}

}  // namespace brindlecore::host
