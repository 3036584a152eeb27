#include <dlfcn.h>

#include <cinttypes>
#include <cstdio>
#include <optional>
#include <string>

#include "brindlecore/automation.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/errors.h"
#include "platform/automation/registry.h"

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

Object CreateObject(std::string_view progid) {
  if (progid.empty() || progid.find('\\') != std::string_view::npos) {
    errors::kCoEClassstring.Throw();
  }
  std::optional<std::string> clsid = automation::RegistryRead(std::string(progid) + "\\CLSID");
  if (!clsid) errors::kCoEClassstring.Throw();
  std::optional<std::string> library =
      automation::RegistryRead("CLSID\\" + *clsid + "\\InprocServer32");
  if (!library) errors::kRegdbEClassnotreg.Throw();

  void* handle = automation::LoadResidentLibrary(*library);
  using GetClassObject = HRESULT (*)(const char*, const char*, void**);
  auto get_class_object = reinterpret_cast<GetClassObject>(::dlsym(handle, "DllGetClassObject"));
  if (get_class_object == nullptr) errors::kRtCannotCreateObject.Throw();

  void* out = nullptr;
  HRESULT hr = get_class_object(clsid->c_str(), std::string(kIidIClassFactory).c_str(), &out);
  if (hr < 0) throw ErrorFromHresult(hr);
  auto* factory = static_cast<IClassFactory*>(out);
  out = nullptr;
  hr = factory->CreateInstance(nullptr, kIidIDispatch, &out);
  factory->Release();
  if (hr < 0) throw ErrorFromHresult(hr);
  return Object(static_cast<IDispatch*>(out));
}

}  // namespace brindlecore
