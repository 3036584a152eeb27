// A platform that fails a chosen operation: wraps another platform and every object, connection,
// command, record set and stream it hands out, and throws the chosen error on the n-th matching
// call before the call reaches the real platform. Operations go by their method's name (Get,
// SetInfo, Next, Execute, ReadLine, AddFavorite, ...) under a path: a directory object's (its
// enumerators' Next too), the command text for a search (empty before it is set), a file's, or the
// favorite's address.
#ifndef BRINDLECORE_TESTS_SUPPORT_FAULT_PLATFORM_H_
#define BRINDLECORE_TESTS_SUPPORT_FAULT_PLATFORM_H_

#include <algorithm>
#include <string>
#include <vector>

#include "brindlecore/automation.h"
#include "platform/platform.h"

namespace brindlecore::testing {

class FaultPlatform : public platform::PlatformWrapper {
 public:
  explicit FaultPlatform(platform::Platform& target);
  ~FaultPlatform() override;

  // Fails the `nth` (1-based; 0 = every) call of `operation` whose path contains `path_part`
  // ("" matches every path), with `error`. For Get/Put/Field the property or column name must
  // equal `argument` when it is given.
  FaultPlatform& Fail(std::string operation, std::string path_part, int nth, AutomationError error,
                      std::string argument = "");
  // Whether every rule fired at least once.
  bool AllFired() const {
    return std::all_of(rules_.begin(), rules_.end(), [](const Rule& r) { return r.fired; });
  }

  std::unique_ptr<platform::DirObject> GetObject(const std::string& path) override;
  std::unique_ptr<platform::Connection> NewConnection() override;
  std::unique_ptr<platform::TextStream> OpenTextFile(const std::string& path) override;
  void AddFavorite(const std::string& url, const Variant& title) override;

  // Called by the wrappers before each operation: throws when a rule matches.
  void Check(const std::string& operation, const std::string& path,
             const std::string& argument = "");

 private:
  struct Rule {
    std::string operation, path_part, argument;
    int nth;
    AutomationError error;
    int seen = 0;
    bool fired = false;
  };
  std::vector<Rule> rules_;
};

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_SUPPORT_FAULT_PLATFORM_H_
