// AddFavorite: the web server set-up ends by offering the user a favorites link. The platform's
// shell helper decides how the link is stored or offered; this method only reports the outcome
// in the pages' error form.
#include "component/authentication.h"
#include "component/frame.h"

namespace brindlecore::component {

bool Authentication::AddFavorite(std::string& pURL, std::string& pTitle, std::string& pvError) {
  Variant title(pTitle);
  pvError = "";
  bool result = false;
  try {
    platform_.AddFavorite(pURL, title);
    result = true;
  } catch (const AutomationError& e) {
    pvError = FormB(e);
  }
  return result;
}

}  // namespace brindlecore::component
