#include <mutex>
#include <string_view>

#include "platform/automation/errors.h"
#include "platform/directory/provider.h"
#include "platform/files/text_file.h"
#include "platform/root.h"
#include "platform/search/search.h"
#include "platform/shell/favorites.h"

namespace brindlecore::platform {
namespace {

// Routes each path to its provider by the provider's name, compared with letter case as the
// namespace names are registered.
class RealPlatform : public Platform {
 public:
  explicit RealPlatform(PlatformConfig config)
      : config_(std::move(config)),
        winnt_(MakeWinNtProvider(config_)),
        iis_(MakeIisProvider(config_)),
        ldap_(MakeLdapProvider(config_)) {}

  std::unique_ptr<DirObject> GetObject(const std::string& path) override {
    std::string_view p = path;
    if (p.starts_with("WinNT:")) return winnt_->Bind(path);
    if (p.starts_with("LDAP:")) return ldap_->Bind(path);
    if (p.starts_with("IIS:")) return iis_->Bind(path);
    errors::kEAdsBadPathname.Throw();
  }

  std::unique_ptr<Connection> NewConnection() override { return NewSearchConnection(config_); }

  std::unique_ptr<TextStream> OpenTextFile(const std::string& path) override {
    return platform::OpenTextFile(path);
  }

  void AddFavorite(const std::string& url, const Variant& title) override {
    platform::AddFavorite(config_.root / "favorites", url, title);
  }

  void BeginCall() override { winnt_->BeginCall(); }
  void EndCall() override { winnt_->EndCall(); }

 private:
  PlatformConfig config_;
  std::unique_ptr<DirectoryProvider> winnt_;
  std::unique_ptr<DirectoryProvider> iis_;
  std::unique_ptr<DirectoryProvider> ldap_;
};

}  // namespace

std::unique_ptr<Platform> MakePlatform(const std::filesystem::path& root) {
  return std::make_unique<RealPlatform>(PlatformConfig::Load(root));
}

Platform& DefaultPlatform() {
  static std::once_flag once;
  static std::unique_ptr<Platform> platform;
  std::call_once(once, [] { platform = MakePlatform(ProcessRoot()); });
  return *platform;
}

}  // namespace brindlecore::platform
