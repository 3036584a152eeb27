// StartVirtualWebServer: creating a site never starts it, so the pages decide in a step of their
// own when a new site begins to serve.
#include "component/authentication.h"
#include "component/frame.h"

namespace brindlecore::component {

bool Authentication::StartVirtualWebServer(std::string& ServerName, std::string& pvError) {
  bool result = false;
  try {
    platform_.GetObject("IIS://LocalHost/W3SVC/" + ServerName)->Start();
    result = true;
  } catch (const AutomationError& e) {
    pvError = FormB(e);
  }
  return result;
}

}  // namespace brindlecore::component
