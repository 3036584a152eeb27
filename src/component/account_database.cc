#include "component/account_database.h"

namespace brindlecore::component {

std::unique_ptr<platform::DirObject> BindDomain(platform::Platform& platform,
                                                const std::string& name) {
  return platform::Require(platform.GetObject("WinNT://" + name), platform::DirKind::kContainer);
}

std::unique_ptr<platform::DirObject> BindComputer(platform::Platform& platform,
                                                  const std::string& name) {
  return platform::Require(platform.GetObject("WinNT://" + name + ",computer"),
                           platform::DirKind::kContainer);
}

std::unique_ptr<platform::DirObject> BindGroup(platform::Platform& platform,
                                               const std::string& name, const std::string& group) {
  return platform::Require(platform.GetObject("WinNT://" + name + "/" + group),
                           platform::DirKind::kGroup);
}

}  // namespace brindlecore::component
