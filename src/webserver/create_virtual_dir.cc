// CreateVirtualDir: the setup pages publish a folder either as a site's own root or as a
// directory below it, and run again on every reinstall, so a directory that already exists is
// success with a note rather than a failure.
#include "component/authentication.h"
#include "component/frame.h"
#include "platform/automation/errors.h"
#include "webserver/site_root.h"

namespace brindlecore::component {
namespace {

constexpr char kReinstallNote[] =
    "\r\nNOTE: This error can occur when using an existing virtual"
    "\r\ndirectory, especially when reinstalling - please ignore.";

void PointSiteRootAt(platform::Platform& platform, const std::string& site,
                     const std::string& folder) {
  auto root = platform.GetObject("IIS://LocalHost/W3SVC/" + site + "/ROOT");
  webserver::SetUpSiteRoot(*root, folder);
}

void AddVirtualDirectory(platform::Platform& platform, const std::string& site,
                         const std::string& name, const std::string& folder) {
  auto root = platform.GetObject("IIS://LocalHost/W3SVC/" + site + "/Root");
  auto directory = root->Create("IIsWebVirtualDir", name);
  directory->Put("Path", Variant(folder));
  directory->Put("AccessRead", Variant(true));
  directory->Put("AccessScript", Variant(true));
  directory->SetInfo();
}

}  // namespace

bool Authentication::CreateVirtualDir(std::string& ServerName, std::string& VirtDirName,
                                      std::string& DirPath, std::string& pvError) {
  pvError = "";
  bool result = false;
  try {
    if (VirtDirName.empty()) {
      PointSiteRootAt(platform_, ServerName, DirPath);
    } else {
      AddVirtualDirectory(platform_, ServerName, VirtDirName, DirPath);
    }
    result = true;
  } catch (const AutomationError& e) {
    if (errors::kErrorAlreadyExists.Is(e)) {
      // Setup pages run again on reinstall: an existing directory is what they wanted.
      pvError = Trim("Error: " + NumberText(e.number) + " ," + e.description) + kReinstallNote;
      result = true;
    } else {
      pvError = FormB(e);
    }
  }
  return result;
}

}  // namespace brindlecore::component
