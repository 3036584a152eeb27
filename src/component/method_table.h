// The Authentication class's members in slot order, with the parameter names and kinds that
// dispatch by name checks before it unpacks a call into the C++ method.
#ifndef BRINDLECORE_COMPONENT_METHOD_TABLE_H_
#define BRINDLECORE_COMPONENT_METHOD_TABLE_H_

#include <span>
#include <string_view>

#include "brindlecore/automation.h"
#include "component/authentication.h"
#include "platform/automation/dispatch.h"

namespace brindlecore::component {

// Calls the method with `args`, which hold exactly its parameter count, with a value a string
// parameter accepts wherever one is declared. By-reference arguments receive the method's final
// values also when it throws. Returns the method's result as a variant.
using MethodInvoker = Variant (*)(Authentication& self, std::span<Arg> args);

struct MethodInfo {
  std::string_view name;
  std::span<const automation::ParamInfo> params;
  MethodInvoker invoke;
};

// Slots 1 to 16; a member's dispatch identifier is its slot number.
std::span<const MethodInfo> MethodTable();

}  // namespace brindlecore::component

#endif  // BRINDLECORE_COMPONENT_METHOD_TABLE_H_
