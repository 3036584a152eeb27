// The four entry points of the component library and its class factory.
#include <dlfcn.h>

#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "brindlecore/automation.h"
#include "component/authentication_object.h"
#include "component/module.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/errors.h"
#include "platform/automation/registry.h"
#include "platform/default_platform.h"

namespace brindlecore::component {
namespace {

using automation::NamesEqual;

// The marshaler of automation-compatible interfaces: a dual interface needs no proxy of its own.
constexpr std::string_view kAutomationMarshaler = "{00020424-0000-0000-C000-000000000046}";

void Anchor() {}

// The library's own file, wherever it was loaded from, so the registry points back at it.
std::filesystem::path ThisLibrary() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&Anchor), &info) == 0 || info.dli_fname == nullptr) {
    errors::kErrorModNotFound.Throw();
  }
  std::error_code ec;
  std::filesystem::path path = std::filesystem::canonical(info.dli_fname, ec);
  return ec ? std::filesystem::absolute(info.dli_fname) : path;
}

std::vector<automation::RegistryValue> OurEntries(const std::filesystem::path& library) {
  std::string clsid_key = "CLSID\\" + std::string(kClsid);
  std::string iid_key = "Interface\\" + std::string(kIidAuthentication);
  std::string lib_key = "TypeLib\\" + std::string(kLibid) + "\\1.1";
  std::string progid(kProgId);
  return {
      {progid, "", "Authentication"},
      {progid + "\\CLSID", "", std::string(kClsid)},
      {clsid_key, "", progid},
      {clsid_key + "\\InprocServer32", "", library.string()},
      {clsid_key + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {clsid_key + "\\ProgID", "", progid},
      {clsid_key + "\\TypeLib", "", std::string(kLibid)},
      {clsid_key + "\\VERSION", "", "1.1"},
      {iid_key, "", "_Authentication"},
      {iid_key + "\\ProxyStubClsid32", "", std::string(kAutomationMarshaler)},
      {iid_key + "\\TypeLib", "", std::string(kLibid)},
      {iid_key + "\\TypeLib", "Version", "1.1"},
      {lib_key, "", "Brindlecore"},
      {lib_key + "\\FLAGS", "", "0"},
      {lib_key + "\\HELPDIR", "", library.parent_path().string()},
      {lib_key + "\\409\\linux", "", library.string()},
  };
}

std::vector<std::string> OurTrees() {
  return {std::string(kProgId), "CLSID\\" + std::string(kClsid),
          "Interface\\" + std::string(kIidAuthentication), "TypeLib\\" + std::string(kLibid)};
}

// One per library and never destroyed; references to it do not keep the library in use, only
// LockServer does, as in-process servers conventionally count.
class ClassFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(std::string_view iid, void** out) override {
    if (out == nullptr) return errors::kEInvalidarg.number;
    if (NamesEqual(iid, kIidIUnknown) || NamesEqual(iid, kIidIClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      return kSOk;
    }
    *out = nullptr;
    return errors::kENointerface.number;
  }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }

  HRESULT CreateInstance(IUnknown* outer, std::string_view iid, void** out) override {
    if (out == nullptr) return errors::kEInvalidarg.number;
    *out = nullptr;
    if (outer != nullptr) return errors::kClassENoaggregation.number;
    try {
      Object object = NewAuthenticationObject(platform::DefaultPlatform());
      return object.get()->QueryInterface(iid, out);
    } catch (const AutomationError& e) {
      return e.number;
    } catch (const std::bad_alloc&) {
      return errors::kEOutofmemory.number;
    } catch (const std::exception&) {
      return errors::kEFail.number;
    }
  }

  HRESULT LockServer(bool lock) override {
    lock ? ModuleAddRef() : ModuleRelease();
    return kSOk;
  }
};

ClassFactory factory;

// Nothing may leave an entry point as an exception: its callers are C.
template <typename F>
HRESULT Guarded(F&& body) {
  try {
    return body();
  } catch (const AutomationError& e) {
    return e.number;
  } catch (const std::bad_alloc&) {
    return errors::kEOutofmemory.number;
  } catch (...) {
    return errors::kEFail.number;
  }
}

}  // namespace
}  // namespace brindlecore::component

using namespace brindlecore;  // NOLINT(build/namespaces): the entry points are C names.

extern "C" HRESULT DllRegisterServer(void) {
  return component::Guarded([] {
    automation::RegistryWrite(component::OurEntries(component::ThisLibrary()));
    return kSOk;
  });
}

extern "C" HRESULT DllUnregisterServer(void) {
  return component::Guarded([] {
    automation::RegistryDeleteTrees(component::OurTrees());
    return kSOk;
  });
}

extern "C" HRESULT DllGetClassObject(const char* clsid, const char* iid, void** out) {
  if (out == nullptr) return errors::kEInvalidarg.number;
  *out = nullptr;
  if (clsid == nullptr || !automation::NamesEqual(clsid, component::kClsid)) {
    return errors::kClassEClassnotavailable.number;
  }
  if (iid == nullptr) return errors::kEInvalidarg.number;
  return component::factory.QueryInterface(iid, out);
}

extern "C" HRESULT DllCanUnloadNow(void) { return component::ModuleInUse() ? kSFalse : kSOk; }
