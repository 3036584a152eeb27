#include "host/component_call.h"

namespace brindlecore::host {

std::string DisplayText(const Variant& v) {
  if (v.IsArray()) return "";
  try {
    return ConcatText(v);
  } catch (const AutomationError&) {
    return "";
  }
}

std::string CallOutcome::Text(size_t i) const {
  return i < args.size() ? DisplayText(args[i]) : std::string();
}

std::string CallOutcome::ResultText() const { return DisplayText(result); }

bool CallOutcome::ResultTrue() const { return result.IsBoolean() && result.boolean(); }

CallOutcome CallComponent(std::string_view method, std::vector<Arg> args) {
  CallOutcome outcome;
  try {
    Object object = CreateObject(kProgId);
    outcome.result = object.Call(method, args);
  } catch (const AutomationError& e) {
    outcome.error = e;
  } catch (const std::exception& e) {
    outcome.error = AutomationError(-1, e.what());
  }
  outcome.args.reserve(args.size());
  for (const Arg& a : args) outcome.args.push_back(a.value);
  return outcome;
}

}  // namespace brindlecore::host
