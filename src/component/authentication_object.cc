#include "component/authentication_object.h"

#include <atomic>
#include <new>
#include <optional>
#include <thread>

#include "component/authentication.h"
#include "component/method_table.h"
#include "component/module.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/errors.h"

namespace brindlecore::component {
namespace {

using automation::ParamKind;

bool IsStringKind(ParamKind kind) {
  return kind == ParamKind::kStringIn || kind == ParamKind::kStringInOut;
}

// The dispatch interface of one Authentication object. Apartment-threaded: only the creating
// thread may call it, which is also why the object needs no locks of its own.
class AuthenticationObject final : public IDispatch {
 public:
  explicit AuthenticationObject(platform::Platform& platform)
      : platform_(platform), impl_(platform, this), owner_(std::this_thread::get_id()) {
    ModuleAddRef();
  }
  ~AuthenticationObject() { ModuleRelease(); }

  HRESULT QueryInterface(std::string_view iid, void** out) override {
    if (out == nullptr) return errors::kEInvalidarg.number;
    if (automation::NamesEqual(iid, kIidIUnknown) || automation::NamesEqual(iid, kIidIDispatch) ||
        automation::NamesEqual(iid, kIidAuthentication)) {
      AddRef();
      *out = static_cast<IDispatch*>(this);
      return kSOk;
    }
    *out = nullptr;
    return errors::kENointerface.number;
  }

  uint32_t AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

  uint32_t Release() override {
    uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetIDsOfNames(std::string_view name, int32_t* dispid) override {
    std::span<const MethodInfo> table = MethodTable();
    for (size_t i = 0; i < table.size(); ++i) {
      if (automation::NamesEqual(name, table[i].name)) {
        *dispid = static_cast<int32_t>(i + 1);
        return kSOk;
      }
    }
    return errors::kDispEUnknownname.number;
  }

  HRESULT GetFuncDesc(int32_t dispid, FuncDesc* desc) override {
    if (desc == nullptr) return errors::kEInvalidarg.number;
    std::span<const MethodInfo> table = MethodTable();
    if (dispid < 1 || static_cast<size_t>(dispid) > table.size()) {
      return errors::kDispEMembernotfound.number;
    }
    const MethodInfo& method = table[dispid - 1];
    try {
      FuncDesc filled{std::string(method.name), {}};
      filled.params.reserve(method.params.size());
      for (const automation::ParamInfo& param : method.params) {
        bool by_ref =
            param.kind == ParamKind::kVariantInOut || param.kind == ParamKind::kStringInOut;
        filled.params.push_back({std::string(param.name), by_ref});
      }
      *desc = std::move(filled);
      return kSOk;
    } catch (const std::bad_alloc&) {
      return errors::kEOutofmemory.number;
    }
  }

  HRESULT Invoke(int32_t dispid, std::span<Arg> args, Variant* result, ExcepInfo* excep) override {
    if (std::this_thread::get_id() != owner_) return errors::kRpcEWrongThread.number;
    std::span<const MethodInfo> table = MethodTable();
    if (dispid < 1 || static_cast<size_t>(dispid) > table.size()) {
      return errors::kDispEMembernotfound.number;
    }
    const MethodInfo& method = table[dispid - 1];
    if (args.size() != method.params.size()) return errors::kDispEBadparamcount.number;
    // Every argument is checked before any is unpacked, so a refused call leaves them all as
    // they were.
    for (size_t i = 0; i < args.size(); ++i) {
      if (IsStringKind(method.params[i].kind) && !automation::CoercibleToText(args[i].value)) {
        return errors::kDispETypemismatch.number;
      }
    }
    // Only the outermost call is one host call: a method calling another stays inside it.
    std::optional<platform::CallScope> call;
    if (depth_ == 0) call.emplace(platform_);
    ++depth_;
    struct Leave {
      int& depth;
      ~Leave() { --depth; }
    } leave{depth_};
    try {
      Variant value = method.invoke(impl_, args);
      if (result != nullptr) *result = std::move(value);
      return kSOk;
    } catch (const AutomationError& e) {
      return Exception(e.number, e.description, excep);
    } catch (const std::bad_alloc&) {
      return Exception(errors::kEOutofmemory.number, errors::kEOutofmemory.text, excep);
    } catch (const std::exception&) {
      // Nothing but AutomationError should leave a method; never let anything else cross the
      // interface boundary.
      return Exception(errors::kEFail.number, errors::kEFail.text, excep);
    }
  }

 private:
  static HRESULT Exception(int32_t number, std::string_view description, ExcepInfo* excep) {
    if (excep != nullptr) {
      excep->scode = number;
      excep->description = description;
      excep->source = kProgId;
    }
    return errors::kDispEException.number;
  }

  platform::Platform& platform_;
  Authentication impl_;
  const std::thread::id owner_;
  int depth_ = 0;  // calls in progress on this object, nested ones included
  std::atomic<uint32_t> refs_{1};
};

}  // namespace

Object NewAuthenticationObject(platform::Platform& platform) {
  return Object(new AuthenticationObject(platform));
}

Variant Authentication::CallSelf(std::string_view method, std::span<Arg> args) {
  return automation::CallByName(self_, method, args);
}

}  // namespace brindlecore::component
