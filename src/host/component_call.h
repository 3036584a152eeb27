// Calls the component as a host page does: a new object per call, created through its
// programmatic identifier, and one method called by name.
#ifndef BRINDLECORE_HOST_COMPONENT_CALL_H_
#define BRINDLECORE_HOST_COMPONENT_CALL_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "brindlecore/automation.h"
#include "brindlecore/variant.h"

namespace brindlecore::host {

inline constexpr std::string_view kProgId = "Brindlecore.Authentication";

inline Arg In(Variant v) { return Arg{std::move(v), false}; }
inline Arg Out(Variant v = Variant(std::string())) { return Arg{std::move(v), true}; }

struct CallOutcome {
  Variant result;
  // Set when the object could not be created or the call failed towards the page.
  std::optional<AutomationError> error;
  // Every argument's final value, in argument order.
  std::vector<Variant> args;

  // Text of an argument or the result; Null and values without a text read as "".
  std::string Text(size_t i) const;
  std::string ResultText() const;
  // Whether the result is the automation Boolean True.
  bool ResultTrue() const;
};

// Never throws: a failure to create the object or to call it lands in `error`, as a page's
// error handler would see it.
CallOutcome CallComponent(std::string_view method, std::vector<Arg> args);

// Text of a value for display; "" for Null, Empty and arrays.
std::string DisplayText(const Variant& v);

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_COMPONENT_CALL_H_
