// Builds web sites in a root's metabase in one line each.
#ifndef BRINDLECORE_TESTS_SUPPORT_METABASE_FIXTURE_H_
#define BRINDLECORE_TESTS_SUPPORT_METABASE_FIXTURE_H_

#include <filesystem>
#include <string>
#include <vector>

#include "brindlecore/variant.h"

namespace brindlecore::testing {

class MetabaseFixture {
 public:
  explicit MetabaseFixture(const std::filesystem::path& root);
  ~MetabaseFixture();

  // The web service "IIS://LocalHost/W3SVC" with its non-site children (Info, Filters).
  MetabaseFixture& WebService();
  // A site of class IIsWebServer named `number` (any text), with a comment and bindings.
  MetabaseFixture& Site(const std::string& number, const std::string& comment = "",
                        const std::vector<std::string>& bindings = {":80:"});
  // Any child of the web service, for non-site objects (class "IIsWebInfo", ...).
  MetabaseFixture& Child(const std::string& name, const std::string& cls);

  // A stored property of the object at `path` ("IIS://LocalHost/W3SVC/1/ROOT"); Empty when absent.
  Variant Property(const std::string& path, const std::string& name) const;
  bool Exists(const std::string& path) const;

 private:
  std::filesystem::path root_;
};

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_SUPPORT_METABASE_FIXTURE_H_
