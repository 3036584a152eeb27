// CreateVirtualWebServer: a new web site for a profile under the next free site number, bound to
// the address and port the setup pages chose, with its root ready to run the pages' scripts.
#include <algorithm>
#include <limits>

#include "component/authentication.h"
#include "component/frame.h"
#include "platform/automation/errors.h"
#include "webserver/site_root.h"

namespace brindlecore::component {
namespace {

constexpr char kWebService[] = "IIS://LocalHost/W3SVC";

// A child counts as a site when its class looks like "IIs...Server". Its name is read as a
// number the way the scripting runtime converts text: a name that is no number fails with 13
// "Type mismatch" and one beyond 32 bits with 6 "Overflow", rather than being passed over,
// because guessing past a site we cannot read could hand out a number that is in use.
int32_t HighestSiteNumber(platform::DirObject& service) {
  int32_t highest = 0;
  auto children = service.Enumerate();
  while (auto child = children->Next()) {
    std::string cls = child->Class();
    if (Left(cls, 3) != "IIs" || Right(cls, 6) != "Server") continue;
    highest = std::max(highest, ToLong(Variant(child->Name())));
  }
  return highest;
}

int32_t NextSiteNumber(int32_t highest) {
  // The runtime's integer addition overflows rather than wrapping.
  if (highest == std::numeric_limits<int32_t>::max()) errors::kRtOverflow.Throw();
  return highest + 1;
}

}  // namespace

std::string Authentication::CreateVirtualWebServer(std::string IP, std::string Port,
                                                   std::string RootDir, std::string ServerComment,
                                                   std::string& pvError) {
  std::string result = "0";
  try {
    auto service = platform_.GetObject(kWebService);
    std::string number = NumberText(NextSiteNumber(HighestSiteNumber(*service)));

    auto site = service->Create("IIsWebServer", number);
    site->Put("ServerComment", Variant(ServerComment));
    site->SetInfo();
    site->Put("ServerBindings", Variant::Strings({IP + ":" + Port + ":"}));
    site->SetInfo();

    auto root = site->Create("IIsWebVirtualDir", "ROOT");
    webserver::SetUpSiteRoot(*root, RootDir);

    result = number;
  } catch (const AutomationError& e) {
    // Nothing is undone: a site made before the failure stays as far as it got.
    pvError = FormA(Variant(pvError), e);
  }
  return result;
}

}  // namespace brindlecore::component
