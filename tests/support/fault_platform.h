// A platform that fails a chosen operation: wraps another platform and every object, connection,
// command, record set and stream it hands out, and throws the chosen error on the n-th matching
// call before the call reaches the real platform.
//
// Operation names: GetObject, OpenDSObject, Name, ADsPath, Class, Get, Put, SetInfo, SetFilter,
// Enumerate, Next, Create, Delete, Description, SetDescription, Members, Add, Remove, FullName,
// AppCreate2, Start (directory objects and enumerators; an enumerator's Next counts under the
// path of the object enumerated); NewConnection, SetProvider, Open, CreateCommand,
// SetCommandText, SetProperty, Execute, Eof, MoveFirst, MoveNext, Field, Close (search; path is
// the command text); OpenTextFile, AtEndOfStream, ReadLine (files; path is the file's);
// AddFavorite (path is the address).
#ifndef BRINDLECORE_TESTS_SUPPORT_FAULT_PLATFORM_H_
#define BRINDLECORE_TESTS_SUPPORT_FAULT_PLATFORM_H_

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
  bool AllFired() const;

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
