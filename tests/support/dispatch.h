// Calls by name as a host page makes them, and matchers for their outcomes.
#ifndef BRINDLECORE_TESTS_SUPPORT_DISPATCH_H_
#define BRINDLECORE_TESTS_SUPPORT_DISPATCH_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "brindlecore/automation.h"
#include "brindlecore/variant.h"
#include "platform/platform.h"

namespace brindlecore::testing {

inline Arg Val(Variant v) { return Arg{std::move(v), false}; }
inline Arg Ref(Variant v = Variant()) { return Arg{std::move(v), true}; }

// The outcome of one call: the result on return, or the host-facing error; and the final value
// of every argument (by-value ones unchanged), in argument order.
struct CallOutcome {
  Variant result;
  std::optional<AutomationError> error;
  std::vector<Variant> args;
  const Variant& arg(size_t i) const { return args.at(i); }
  std::string text(size_t i) const;  // arg(i) as text
};

// Creates an Authentication object over `platform` and calls `method` by name once.
CallOutcome CallMethod(platform::Platform& platform, std::string_view method,
                       std::vector<Arg> args);

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_SUPPORT_DISPATCH_H_
