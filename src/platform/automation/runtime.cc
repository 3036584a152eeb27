#include "brindlecore/automation.h"
#include "platform/automation/errors.h"

namespace brindlecore {

Object::Object(const Object& o) : p_(o.p_) {
  if (p_) p_->AddRef();
}
Object& Object::operator=(Object o) noexcept {
  std::swap(p_, o.p_);
  return *this;
}
Object::~Object() {
  if (p_) p_->Release();
}
Variant Object::Call(std::string_view, std::span<Arg>) { errors::kENotimpl.Throw(); }
Object CreateObject(std::string_view) { errors::kENotimpl.Throw(); }
AutomationError ErrorFromHresult(HRESULT hr) { return AutomationError(hr, "Unknown error"); }

}  // namespace brindlecore
