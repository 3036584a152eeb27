// The two kinds of user row GetAllUsers writes, built from their values.
#ifndef BRINDLECORE_TESTS_SUPPORT_LISTING_ROWS_H_
#define BRINDLECORE_TESTS_SUPPORT_LISTING_ROWS_H_

#include <string>

namespace brindlecore::testing {

// A link that hands `picked` and the current group to the page's updateField.
inline std::string PickerRow(const std::string& shown, const std::string& picked,
                             const std::string& group, const std::string& display) {
  return "<TR><TD class=TableRow><a href=\"JavaScript:updateField('" + picked + "','" + group +
         "');\">" + shown + "</a></TD><TD class=TableRow>" + display + "</TD></TR>";
}

inline std::string OverviewRow(const std::string& shown, const std::string& display,
                               const std::string& groups) {
  return "<TR><TD class=TableRow>" + shown + "</TD><TD class=TableRow>" + display +
         "</TD><TD class=TableRow>" + groups + "</TD></TR>";
}

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_SUPPORT_LISTING_ROWS_H_
