// The skeleton of a listing page: the call's error above a table of the component's rows.
#ifndef BRINDLECORE_HOST_LISTING_H_
#define BRINDLECORE_HOST_LISTING_H_

#include <string>
#include <string_view>

#include "host/component_call.h"

namespace brindlecore::host {

// The text a listing leaves for the page: its error towards the page, else its pvError.
std::string ListingError(const CallOutcome& o, size_t error_arg);

// `text` in the page's error box; "" for no text.
std::string ErrorBox(const std::string& text);

// ErrorBox(ListingError(o, error_arg)), then table `table_id` with one header row of `headings`
// (the cells' text, already markup) and the call's rows made safe.
std::string Listing(const CallOutcome& o, size_t error_arg, std::string_view table_id,
                    std::initializer_list<std::string_view> headings);

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_LISTING_H_
