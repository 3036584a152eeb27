// One directory provider ("WinNT:", "LDAP:", "IIS:") behind the platform's GetObject.
#ifndef BRINDLECORE_PLATFORM_DIRECTORY_PROVIDER_H_
#define BRINDLECORE_PLATFORM_DIRECTORY_PROVIDER_H_

#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/root.h"

namespace brindlecore::platform {

class DirectoryProvider {
 public:
  virtual ~DirectoryProvider() = default;
  // Binds a path that begins with this provider's name, with the process's credentials.
  virtual std::unique_ptr<DirObject> Bind(const std::string& path) = 0;
  // Platform::BeginCall and EndCall, for providers that keep state between binds.
  virtual void BeginCall() {}
  virtual void EndCall() {}
};

// Each provider is made from the root's configuration; they live in their own folders.
std::unique_ptr<DirectoryProvider> MakeWinNtProvider(const PlatformConfig& config);
std::unique_ptr<DirectoryProvider> MakeIisProvider(const PlatformConfig& config);
std::unique_ptr<DirectoryProvider> MakeLdapProvider(const PlatformConfig& config);

}  // namespace brindlecore::platform

#endif  // BRINDLECORE_PLATFORM_DIRECTORY_PROVIDER_H_
