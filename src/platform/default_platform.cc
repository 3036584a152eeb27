#include "platform/default_platform.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <string_view>

#include "platform/automation/errors.h"
#include "platform/directory/ldap/ldap_entry.h"
#include "platform/directory/provider.h"
#include "platform/files/text_file.h"
#include "platform/root.h"
#include "platform/shell/favorites.h"

namespace brindlecore::platform {
namespace {

// The LDAP library, loaded once from beside this one (they are built and installed together).
// E_FAIL when it cannot be loaded; a later use tries again.
const LdapBackend& Ldap() {
  static std::mutex mu;
  static const LdapBackend* backend = nullptr;
  std::lock_guard lock(mu);
  if (backend != nullptr) return *backend;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&Ldap), &info) == 0 || info.dli_fname == nullptr) {
    errors::kEFail.Throw();
  }
  const std::filesystem::path path =
      std::filesystem::path(info.dli_fname).parent_path() / kLdapLibrary;
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) errors::kEFail.Throw();
  auto entry = reinterpret_cast<BrindlecoreLdapBackendFn>(dlsym(library, kLdapEntry));
  if (entry == nullptr) errors::kEFail.Throw();
  backend = entry();
  return *backend;
}

// Routes each path to its provider by the provider's name, compared with letter case as the
// namespace names are registered.
class RealPlatform : public Platform {
 public:
  explicit RealPlatform(PlatformConfig config)
      : config_(std::move(config)),
        winnt_(MakeWinNtProvider(config_)),
        iis_(MakeIisProvider(config_)) {}

  std::unique_ptr<DirObject> GetObject(const std::string& path) override {
    std::string_view p = path;
    if (p.starts_with("WinNT:")) return winnt_->Bind(path);
    if (p.starts_with("LDAP:")) return LdapProvider().Bind(path);
    if (p.starts_with("IIS:")) return iis_->Bind(path);
    errors::kEAdsBadPathname.Throw();
  }

  std::unique_ptr<Connection> NewConnection() override { return Ldap().new_connection(config_); }

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
  // Made at the first LDAP path, so a process that binds none never loads LDAP.
  DirectoryProvider& LdapProvider() {
    std::lock_guard lock(ldap_mu_);
    if (!ldap_) ldap_ = Ldap().make_provider(config_);
    return *ldap_;
  }

  std::mutex ldap_mu_;
  std::unique_ptr<DirectoryProvider> ldap_;
};

}  // namespace

const LdapBackend& LoadLdapBackend() { return Ldap(); }

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
