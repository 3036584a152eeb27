#include "support/dispatch.h"

#include "component/authentication_object.h"

namespace brindlecore::testing {

std::string CallOutcome::text(size_t i) const { return ToText(arg(i)); }

CallOutcome CallMethod(platform::Platform& platform, std::string_view method,
                       std::vector<Arg> args) {
  Object object = component::NewAuthenticationObject(platform);
  CallOutcome outcome;
  try {
    outcome.result = object.Call(method, args);
  } catch (const AutomationError& e) {
    outcome.error = e;
  }
  outcome.args.reserve(args.size());
  for (Arg& a : args) outcome.args.push_back(std::move(a.value));
  return outcome;
}

}  // namespace brindlecore::testing
