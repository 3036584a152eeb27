// The "IIS:" provider: binds metabase keys of root/metabase.db as directory objects.
#include <cctype>
#include <mutex>
#include <string_view>

#include "platform/automation/errors.h"
#include "platform/directory/iis/metabase_store.h"
#include "platform/directory/provider.h"
#include "platform/web/web_server.h"

namespace brindlecore::platform {
namespace {

using iis::MetabaseKey;
using iis::MetabaseProperties;
using iis::MetabaseStore;
using iis::NormalizeMetabaseValue;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool IsApplicationClass(const std::string& cls) {
  return cls == "IIsWebVirtualDir" || cls == "IIsWebDirectory";
}

class MetabaseObject;

// Children are read when enumeration starts; a key added meanwhile shows in the next one.
class MetabaseEnumerator : public DirEnumerator {
 public:
  MetabaseEnumerator(std::shared_ptr<MetabaseStore> store, std::vector<MetabaseKey> keys)
      : store_(std::move(store)), keys_(std::move(keys)) {}
  std::unique_ptr<DirObject> Next() override;

 private:
  std::shared_ptr<MetabaseStore> store_;
  std::vector<MetabaseKey> keys_;
  size_t next_ = 0;
};

class MetabaseObject : public DirObject {
 public:
  MetabaseObject(std::shared_ptr<MetabaseStore> store, MetabaseKey key)
      : store_(std::move(store)), key_(std::move(key)) {}

  std::string Name() override { return key_.name; }
  std::string ADsPath() override { return key_.path; }
  std::string Class() override { return key_.cls; }

  // What was put and not yet stored is read back first, as from a property cache.
  Variant Get(const std::string& property) override {
    for (auto it = staged_.rbegin(); it != staged_.rend(); ++it) {
      if (!EqualsIgnoringCase(it->first, property)) continue;
      if (it->second.IsEmpty()) errors::kEAdsPropertyNotFound.Throw();
      return it->second;
    }
    auto value = store_->Property(key_.id, property);
    if (!value) errors::kEAdsPropertyNotFound.Throw();
    return *value;
  }

  void Put(const std::string& property, const Variant& value) override {
    if (property.empty()) errors::kEAdsPropertyNotSupported.Throw();
    staged_.emplace_back(property, NormalizeMetabaseValue(value));
  }

  // Staged values stay staged when storing fails, so a retry stores the same.
  void SetInfo() override {
    store_->SetProperties(key_.id, staged_);
    staged_.clear();
  }

  bool Supports(DirKind kind) const override { return kind == DirKind::kContainer; }

  void SetFilter(const std::vector<std::string>& classes) override { filter_ = classes; }

  std::unique_ptr<DirEnumerator> Enumerate() override {
    std::vector<MetabaseKey> keys;
    for (auto& child : store_->Children(key_.id)) {
      if (Passes(child.cls)) keys.push_back(std::move(child));
    }
    return std::make_unique<MetabaseEnumerator>(store_, std::move(keys));
  }

  std::unique_ptr<DirObject> Create(const std::string& cls, const std::string& name) override {
    if (cls.empty()) errors::kEAdsUnknownObject.Throw();
    return std::make_unique<MetabaseObject>(store_, store_->CreateChild(key_.id, cls, name));
  }

  void Delete(const std::string& cls, const std::string& name) override {
    store_->DeleteChild(key_.id, cls, name);
  }

  // Like the web server's own call, this writes at once rather than at the next SetInfo.
  void AppCreate2(int32_t mode) override {
    if (!IsApplicationClass(key_.cls)) errors::kRtObjectDoesntSupport.Throw();
    if (mode < 0 || mode > 2) errors::kEInvalidarg.Throw();
    store_->SetProperties(
        key_.id, {{"AppIsolated", Variant(mode)}, {"AppRoot", Variant(key_.metabase_path)}});
  }

  // Recording the state (2 = started) is what makes the web server serve the site: the store
  // shows every change to it before committing, and its refusal is this call's failure.
  void Start() override {
    if (key_.cls != "IIsWebServer") errors::kRtObjectDoesntSupport.Throw();
    store_->SetProperties(key_.id, {{"ServerState", Variant(int32_t{2})}});
  }

 private:
  bool Passes(const std::string& cls) const {
    if (filter_.empty()) return true;
    for (const auto& wanted : filter_) {
      if (EqualsIgnoringCase(wanted, cls)) return true;
    }
    return false;
  }

  std::shared_ptr<MetabaseStore> store_;
  MetabaseKey key_;
  MetabaseProperties staged_;
  std::vector<std::string> filter_;
};

std::unique_ptr<DirObject> MetabaseEnumerator::Next() {
  if (next_ >= keys_.size()) return nullptr;
  return std::make_unique<MetabaseObject>(store_, keys_[next_++]);
}

// "IIS://LocalHost/W3SVC/1/ROOT" → {"W3SVC", "1", "ROOT"}. The machine name is the only one
// this metabase serves.
std::vector<std::string> ParsePath(const std::string& path) {
  constexpr std::string_view kScheme = "IIS://";
  if (path.size() < kScheme.size() || !EqualsIgnoringCase(path.substr(0, 6), kScheme)) {
    errors::kEAdsBadPathname.Throw();
  }
  std::string_view rest = std::string_view(path).substr(kScheme.size());
  size_t slash = rest.find('/');
  std::string_view machine = rest.substr(0, slash);
  if (machine.empty()) errors::kEAdsBadPathname.Throw();
  if (!EqualsIgnoringCase(machine, "LocalHost")) errors::kErrorBadNetpath.Throw();
  std::vector<std::string> elements;
  while (slash != std::string_view::npos) {
    rest = rest.substr(slash + 1);
    slash = rest.find('/');
    elements.emplace_back(rest.substr(0, slash));
  }
  return elements;
}

class IisProvider : public DirectoryProvider {
 public:
  explicit IisProvider(PlatformConfig config) : config_(std::move(config)) {}

  std::unique_ptr<DirObject> Bind(const std::string& path) override {
    auto elements = ParsePath(path);
    auto store = Store();
    // No key has an empty name, so "W3SVC/" + an empty site number names nothing.
    auto key = store->Find(elements);
    if (!key) errors::kErrorPathNotFound.Throw();
    return std::make_unique<MetabaseObject>(std::move(store), std::move(*key));
  }

 private:
  // Opened on first use and kept: until the web service is initialised there is no file, and
  // every bind fails as for a path that is not there. The web server follows every change.
  std::shared_ptr<MetabaseStore> Store() {
    std::lock_guard lock(mutex_);
    if (!store_) store_ = web::OpenServedMetabase(config_, /*create=*/false);
    return store_;
  }

  PlatformConfig config_;
  std::mutex mutex_;
  std::shared_ptr<MetabaseStore> store_;
};

}  // namespace

std::unique_ptr<DirectoryProvider> MakeIisProvider(const PlatformConfig& config) {
  return std::make_unique<IisProvider>(config);
}

}  // namespace brindlecore::platform
