#include "support/metabase_fixture.h"

#include <algorithm>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "platform/directory/iis/metabase_store.h"

namespace brindlecore::testing {
namespace {

using platform::iis::MetabaseKey;
using platform::iis::MetabaseStore;

// "IIS://LocalHost/W3SVC/1" → {"W3SVC", "1"}; fixtures name paths only on the local machine.
std::vector<std::string> Elements(const std::string& path) {
  if (!path.starts_with("IIS://LocalHost")) throw std::invalid_argument("not a metabase path");
  std::vector<std::string> out;
  std::istringstream rest(path.substr(std::min(path.size(), std::strlen("IIS://LocalHost/"))));
  for (std::string element; std::getline(rest, element, '/');) out.push_back(element);
  return out;
}

MetabaseKey Service(MetabaseStore& store) {
  auto key = store.Find({"W3SVC"});
  if (!key) throw std::logic_error("call WebService() before adding sites");
  return *key;
}

}  // namespace

MetabaseFixture::MetabaseFixture(const std::filesystem::path& root) : root_(root) {}
MetabaseFixture::~MetabaseFixture() = default;

MetabaseFixture& MetabaseFixture::WebService() {
  platform::iis::InitializeWebService(root_);
  return *this;
}

MetabaseFixture& MetabaseFixture::Site(const std::string& number, const std::string& comment,
                                       const std::vector<std::string>& bindings) {
  auto store = MetabaseStore::Open(root_, false);
  auto site = store->CreateChild(Service(*store).id, "IIsWebServer", number);
  store->SetProperties(site.id, {{"ServerComment", Variant(comment)},
                                 {"ServerBindings", Variant::Strings(bindings)}});
  return *this;
}

MetabaseFixture& MetabaseFixture::Child(const std::string& name, const std::string& cls) {
  auto store = MetabaseStore::Open(root_, false);
  store->CreateChild(Service(*store).id, cls, name);
  return *this;
}

Variant MetabaseFixture::Property(const std::string& path, const std::string& name) const {
  auto store = MetabaseStore::Open(root_, false);
  auto key = store->Find(Elements(path));
  if (!key) return Variant();
  return store->Property(key->id, name).value_or(Variant());
}

bool MetabaseFixture::Exists(const std::string& path) const {
  std::error_code ec;
  if (!std::filesystem::exists(root_ / "metabase.db", ec)) return false;
  return MetabaseStore::Open(root_, false)->Find(Elements(path)).has_value();
}

}  // namespace brindlecore::testing
