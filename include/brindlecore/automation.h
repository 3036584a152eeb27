// The in-process automation model: errors, the dispatch interface, class factories, and
// CreateObject, through which a host creates a registered class by its programmatic identifier.
#ifndef BRINDLECORE_AUTOMATION_H_
#define BRINDLECORE_AUTOMATION_H_

#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "brindlecore/variant.h"

namespace brindlecore {

using HRESULT = int32_t;
inline constexpr HRESULT kSOk = 0;
inline constexpr HRESULT kSFalse = 1;

// The one error type of the system: a signed 32-bit number and a description. Thrown by every
// failing platform operation and by the component's own refusals (number -1).
struct AutomationError : std::exception {
  AutomationError(int32_t n, std::string d) : number(n), description(std::move(d)) {}
  const char* what() const noexcept override { return description.c_str(); }
  int32_t number;
  std::string description;
};

// Interface identifiers are registry-format GUID texts.
inline constexpr std::string_view kIidIUnknown = "{00000000-0000-0000-C000-000000000046}";
inline constexpr std::string_view kIidIDispatch = "{00020400-0000-0000-C000-000000000046}";
inline constexpr std::string_view kIidIClassFactory = "{00000001-0000-0000-C000-000000000046}";

class IUnknown {
 public:
  virtual HRESULT QueryInterface(std::string_view iid, void** out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

// Filled by Invoke when a method fails towards its caller (DISP_E_EXCEPTION).
struct ExcepInfo {
  int32_t scode = 0;
  std::string description;
  std::string source;
};

// One argument of a call. A by-reference argument receives what the method leaves in it; a
// by-value argument is never changed as the caller sees it.
struct Arg {
  Variant value;
  bool by_ref = false;
};

// One member of a dispatch interface as its object declares it: the name as the object spells
// it, and each parameter's name and whether the member writes back into it.
struct ParamDesc {
  std::string name;
  bool by_ref = false;
};
struct FuncDesc {
  std::string name;
  std::vector<ParamDesc> params;
};

class IDispatch : public IUnknown {
 public:
  // Name look-up is case-insensitive. DISP_E_UNKNOWNNAME for a name the class does not have.
  virtual HRESULT GetIDsOfNames(std::string_view name, int32_t* dispid) = 0;
  // Calls the member. On DISP_E_EXCEPTION, `excep` holds the error that left the method;
  // other failures are the dispatch errors themselves (bad count, type mismatch, wrong thread).
  virtual HRESULT Invoke(int32_t dispid, std::span<Arg> args, Variant* result,
                         ExcepInfo* excep) = 0;
  // Describes the member `dispid`, so a host can check a call before making it.
  // DISP_E_MEMBERNOTFOUND for an identifier the class does not have, E_INVALIDARG for a null
  // `desc`, E_NOTIMPL from an object that cannot describe its members; `desc` is left as it was
  // on every failure.
  virtual HRESULT GetFuncDesc(int32_t dispid, FuncDesc* desc) = 0;

 protected:
  ~IDispatch() = default;
};

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown* outer, std::string_view iid, void** out) = 0;
  virtual HRESULT LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

// A host's reference to an object, like a script variable holding one: releases on scope exit.
class Object {
 public:
  Object() = default;
  explicit Object(IDispatch* adopted) : p_(adopted) {}
  Object(const Object& o);
  Object& operator=(Object o) noexcept;
  ~Object();

  // Calls `method` by name. Returns its result; by-reference arguments hold their final values,
  // also when the call fails. Throws AutomationError with the host-facing number and description.
  Variant Call(std::string_view method, std::span<Arg> args);

  IDispatch* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  IDispatch* p_ = nullptr;
};

// Creates the class registered under `progid` in the platform's class registry: look-up, load of
// the library, DllGetClassObject, class factory. Throws AutomationError: CO_E_CLASSSTRING for an
// unknown identifier, ERROR_MOD_NOT_FOUND when the registered library is gone.
Object CreateObject(std::string_view progid);

// The signed decimal error number of a failed HRESULT, with the catalogue's description.
AutomationError ErrorFromHresult(HRESULT hr);

}  // namespace brindlecore

// The four entry points of an in-process server library.
extern "C" {
brindlecore::HRESULT DllRegisterServer(void);
brindlecore::HRESULT DllUnregisterServer(void);
brindlecore::HRESULT DllGetClassObject(const char* clsid, const char* iid, void** out);
brindlecore::HRESULT DllCanUnloadNow(void);
}

#endif  // BRINDLECORE_AUTOMATION_H_
