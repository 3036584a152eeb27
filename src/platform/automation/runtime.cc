#include <cinttypes>
#include <cstdio>

#include "brindlecore/automation.h"
#include "platform/automation/dispatch.h"
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

Variant Object::Call(std::string_view method, std::span<Arg> args) {
  return automation::CallByName(p_, method, args);
}

AutomationError ErrorFromHresult(HRESULT hr) {
  if (const errors::ErrorCode* code = errors::Find(hr)) return code->Make();
  char text[40];
  std::snprintf(text, sizeof text, "Unknown error 0x%08" PRIX32, static_cast<uint32_t>(hr));
  return AutomationError(hr, text);
}

Object CreateObject(std::string_view) { errors::kENotimpl.Throw(); }

}  // namespace brindlecore
