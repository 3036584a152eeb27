// The objects of a WinNT account database as the methods bind them by name, with the process's
// own credentials: the path is spelled in one place, and each is taken as the kind it must be.
// Each throws the provider's error, or 13 "Type mismatch" for an object of another kind.
#ifndef BRINDLECORE_COMPONENT_ACCOUNT_DATABASE_H_
#define BRINDLECORE_COMPONENT_ACCOUNT_DATABASE_H_

#include <memory>
#include <string>

#include "platform/platform.h"

namespace brindlecore::component {

// "WinNT://NAME" as a container.
std::unique_ptr<platform::DirObject> BindDomain(platform::Platform& platform,
                                                const std::string& name);

// "WinNT://NAME,computer" as a container.
std::unique_ptr<platform::DirObject> BindComputer(platform::Platform& platform,
                                                  const std::string& name);

// "WinNT://NAME/GROUP" as a group.
std::unique_ptr<platform::DirObject> BindGroup(platform::Platform& platform,
                                               const std::string& name, const std::string& group);

}  // namespace brindlecore::component

#endif  // BRINDLECORE_COMPONENT_ACCOUNT_DATABASE_H_
