#include "webserver/site_root.h"

#include "brindlecore/variant.h"

namespace brindlecore::webserver {

void SetUpSiteRoot(platform::DirObject& root, const std::string& folder) {
  root.Put("AccessRead", Variant(true));
  root.Put("AccessScript", Variant(true));
  root.Put("Path", Variant(folder));
  root.Put("AspEnableParentPaths", Variant(true));
  root.SetInfo();
  root.AppCreate2(2);
  root.Put("AppFriendlyName", Variant("Default Application"));
  root.SetInfo();
}

}  // namespace brindlecore::webserver
