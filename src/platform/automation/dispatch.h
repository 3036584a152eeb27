// Helpers for implementing and calling dispatch interfaces: member tables with parameter kinds,
// the coercion of arguments to string parameters, and calls by name with host-facing errors.
#ifndef BRINDLECORE_PLATFORM_AUTOMATION_DISPATCH_H_
#define BRINDLECORE_PLATFORM_AUTOMATION_DISPATCH_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "brindlecore/automation.h"
#include "brindlecore/variant.h"

namespace brindlecore::automation {

// How a parameter is declared: variants or strings, by value or by reference.
enum class ParamKind { kVariantIn, kVariantInOut, kStringIn, kStringInOut };

struct ParamInfo {
  std::string_view name;
  ParamKind kind;
};

// Whether two member names are the same, ignoring ASCII letter case as the host does.
bool NamesEqual(std::string_view a, std::string_view b);

// The text a string parameter receives for `v`: Empty gives "", numbers and Booleans their text.
// DISP_E_TYPEMISMATCH for Null and arrays (`out` is then untouched).
HRESULT CoerceToText(const Variant& v, std::string* out);

// Whether `v` can be passed to a string parameter, without converting it.
inline bool CoercibleToText(const Variant& v) { return !v.IsNull() && !v.IsArray(); }

// Calls `method` on `target` by name: GetIDsOfNames, then Invoke. Returns the result; by-reference
// arguments hold their final values also on failure. Throws AutomationError: the method's own
// (number, description) for DISP_E_EXCEPTION, else the failed HRESULT with its catalogue text.
Variant CallByName(IDispatch* target, std::string_view method, std::span<Arg> args);

}  // namespace brindlecore::automation

#endif  // BRINDLECORE_PLATFORM_AUTOMATION_DISPATCH_H_
