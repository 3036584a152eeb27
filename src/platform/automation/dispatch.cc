#include "platform/automation/dispatch.h"

#include "platform/automation/errors.h"

namespace brindlecore::automation {

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x == y) continue;
    if ((x | 0x20) != (y | 0x20) || (x | 0x20) < 'a' || (x | 0x20) > 'z') return false;
  }
  return true;
}

HRESULT CoerceToText(const Variant& v, std::string* out) {
  if (!CoercibleToText(v)) return errors::kDispETypemismatch.number;
  if (v.IsString()) {
    *out = v.str();
  } else {
    *out = ToText(v);
  }
  return kSOk;
}

Variant CallByName(IDispatch* target, std::string_view method, std::span<Arg> args) {
  if (target == nullptr) errors::kRtObjectNotSet.Throw();
  int32_t dispid = 0;
  HRESULT hr = target->GetIDsOfNames(method, &dispid);
  if (hr < 0) throw ErrorFromHresult(hr);
  Variant result;
  ExcepInfo excep;
  hr = target->Invoke(dispid, args, &result, &excep);
  if (hr == errors::kDispEException.number) {
    throw AutomationError(excep.scode, std::move(excep.description));
  }
  if (hr < 0) throw ErrorFromHresult(hr);
  return result;
}

}  // namespace brindlecore::automation
