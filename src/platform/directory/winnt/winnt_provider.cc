#include "platform/automation/errors.h"
#include "platform/directory/provider.h"

namespace brindlecore::platform {
namespace {
class NotBuilt : public DirectoryProvider {
 public:
  std::unique_ptr<DirObject> Bind(const std::string&) override { errors::kENotimpl.Throw(); }
};
}  // namespace

std::unique_ptr<DirectoryProvider> MakeWinNtProvider(const PlatformConfig&) {
  return std::make_unique<NotBuilt>();
}

}  // namespace brindlecore::platform
