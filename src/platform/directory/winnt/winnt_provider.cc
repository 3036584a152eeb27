#include <memory>

#include "platform/directory/provider.h"
#include "platform/directory/winnt/account_store.h"
#include "platform/directory/winnt/winnt_objects.h"

namespace brindlecore::platform {
namespace {

// One store (one SQLite connection) for the provider's life, shared by every object it binds.
class WinNtProvider : public DirectoryProvider {
 public:
  explicit WinNtProvider(const PlatformConfig& config)
      : store_(std::make_shared<winnt::AccountStore>(config.root, /*create=*/false)) {}
  std::unique_ptr<DirObject> Bind(const std::string& path) override {
    return winnt::BindWinNt(store_, path);
  }
  void BeginCall() override { store_->BeginCall(); }
  void EndCall() override { store_->EndCall(); }

 private:
  std::shared_ptr<winnt::AccountStore> store_;
};

}  // namespace

std::unique_ptr<DirectoryProvider> MakeWinNtProvider(const PlatformConfig& config) {
  return std::make_unique<WinNtProvider>(config);
}

}  // namespace brindlecore::platform
