#include "component/method_table.h"

#include <string>
#include <tuple>
#include <utility>

namespace brindlecore::component {
namespace {

using automation::ParamInfo;
using automation::ParamKind;

// What one C++ parameter receives from its argument. Each adapter is built in place from the
// argument and hands the method the value its declaration asks for; the by-reference ones give
// their final value back when they go out of scope, so a method that throws still leaves its
// outputs with the caller.
template <typename P>
class Slot;

template <>
class Slot<Variant> {
 public:
  explicit Slot(Arg& arg) : arg_(arg) {}
  // The method's by-value parameter is copy-initialised from this: the caller's stays as it was.
  const Variant& get() { return arg_.value; }

 private:
  Arg& arg_;
};

template <>
class Slot<Variant&> {
 public:
  explicit Slot(Arg& arg) : arg_(arg) {
    if (!arg.by_ref) temp_ = arg.value;
  }
  // A by-value argument for a by-reference parameter works on a copy the caller never sees.
  Variant& get() { return arg_.by_ref ? arg_.value : temp_; }

 private:
  Arg& arg_;
  Variant temp_;
};

template <>
class Slot<std::string> {
 public:
  explicit Slot(Arg& arg) { automation::CoerceToText(arg.value, &text_); }
  std::string&& get() { return std::move(text_); }

 private:
  std::string text_;
};

template <>
class Slot<std::string&> {
 public:
  explicit Slot(Arg& arg) : arg_(arg) {
    // The caller's text is moved in and back out, so passing a string by reference costs no copy.
    if (std::string* held = arg.by_ref ? arg.value.mutable_str() : nullptr) {
      text_ = std::move(*held);
    } else {
      automation::CoerceToText(arg.value, &text_);
    }
  }
  ~Slot() {
    if (arg_.by_ref) arg_.value = Variant(std::move(text_));
  }
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;
  std::string& get() { return text_; }

 private:
  Arg& arg_;
  std::string text_;
};

template <typename R>
Variant ToResult(R&& r) {
  return Variant(std::forward<R>(r));
}

template <typename R, typename... P, size_t... I>
Variant CallUnpacked(Authentication& self, R (Authentication::*method)(P...), std::span<Arg> args,
                     std::index_sequence<I...>) {
  std::tuple<Slot<P>...> slots(args[I]...);
  return ToResult((self.*method)(std::get<I>(slots).get()...));
}

template <auto Method>
Variant Invoke(Authentication& self, std::span<Arg> args) {
  return []<typename R, typename... P>(Authentication& s, R (Authentication::*m)(P...),
                                       std::span<Arg> a) {
    return CallUnpacked(s, m, a, std::index_sequence_for<P...>{});
  }(self, Method, args);
}

template <typename P>
constexpr ParamKind KindOf() {
  if constexpr (std::is_same_v<P, Variant>) return ParamKind::kVariantIn;
  if constexpr (std::is_same_v<P, Variant&>) return ParamKind::kVariantInOut;
  if constexpr (std::is_same_v<P, std::string>) return ParamKind::kStringIn;
  if constexpr (std::is_same_v<P, std::string&>) return ParamKind::kStringInOut;
}

// Keeps the declared parameter list and the C++ signature from drifting apart.
template <typename R, typename... P, size_t N>
constexpr bool Matches(R (Authentication::*)(P...), const ParamInfo (&params)[N]) {
  constexpr ParamKind kinds[] = {KindOf<P>()...};
  if (sizeof...(P) != N) return false;
  for (size_t i = 0; i < N; ++i) {
    if (kinds[i] != params[i].kind) return false;
  }
  return true;
}

constexpr ParamKind kVIn = ParamKind::kVariantIn;
constexpr ParamKind kVOut = ParamKind::kVariantInOut;
constexpr ParamKind kSIn = ParamKind::kStringIn;
constexpr ParamKind kSOut = ParamKind::kStringInOut;

constexpr ParamInfo kImportProfileAdmins[] = {
    {"psFileName", kVIn}, {"psAuthString", kVIn}, {"psComputerName", kVIn}};
constexpr ParamInfo kAuthenticateUser[] = {
    {"psComputerName", kVIn}, {"psNTDomain", kVIn},   {"psUserName", kVIn},
    {"psPassword", kVIn},     {"pvGroupList", kVOut}, {"pvGroupNames", kVOut},
    {"psAdminGroup", kVIn},   {"psLoginType", kVIn},  {"pvError", kVOut}};
constexpr ParamInfo kGetGroupList[] = {
    {"sNTDomain", kVIn}, {"sUserName", kVIn}, {"sLoginType", kVIn}, {"pvError", kVOut}};
constexpr ParamInfo kGetAllGroupsList[] = {
    {"sNTDomain", kVIn}, {"sUserName", kVIn}, {"sPassword", kVIn}, {"pvError", kVOut}};
constexpr ParamInfo kAddUserToGroup[] = {{"psUserProvider", kVIn},
                                         {"psComputerName", kVIn},
                                         {"psUserToAdd", kVIn},
                                         {"psGroupToAddTo", kVIn},
                                         {"pvError", kVOut}};
constexpr ParamInfo kRemoveUserFromGroup[] = {{"psNTDomain", kVIn},
                                              {"psUserToRemove", kVIn},
                                              {"psGroupToRemoveFrom", kVIn},
                                              {"pvError", kVOut}};
constexpr ParamInfo kGenerateGroups[] = {{"sNTDomain", kVIn},
                                         {"sUserName", kVIn},
                                         {"sPassword", kVIn},
                                         {"sRemoveRedundant", kVIn},
                                         {"pvError", kVOut}};
constexpr ParamInfo kGetAllUsers[] = {{"psUserProvider", kVIn},
                                      {"psComputerName", kVIn},
                                      {"psCurrentGroup", kVIn},
                                      {"psShowGroups", kVIn},
                                      {"pvError", kVOut}};
constexpr ParamInfo kGetAllUsersList[] = {
    {"sNTDomain", kVIn}, {"sUserName", kVIn}, {"sPassword", kVIn}, {"pvError", kVOut}};
constexpr ParamInfo kCreateVirtualWebServer[] = {
    {"IP", kSIn}, {"Port", kSIn}, {"RootDir", kSIn}, {"ServerComment", kSIn}, {"pvError", kSOut}};
constexpr ParamInfo kGetVirtualWebServers[] = {{"pvError", kSOut}};
constexpr ParamInfo kStartVirtualWebServer[] = {{"ServerName", kSOut}, {"pvError", kSOut}};
constexpr ParamInfo kCreateVirtualDir[] = {
    {"ServerName", kSOut}, {"VirtDirName", kSOut}, {"DirPath", kSOut}, {"pvError", kSOut}};
constexpr ParamInfo kAddFavorite[] = {{"pURL", kSOut}, {"pTitle", kSOut}, {"pvError", kSOut}};
constexpr ParamInfo kAddExternalGroup[] = {{"sNTDomain", kVIn},
                                           {"sUserName", kVIn},
                                           {"sPassword", kVIn},
                                           {"sGroupDescription", kVIn},
                                           {"pvError", kVOut}};
constexpr ParamInfo kUpdateGroup[] = {
    {"sNTDomain", kVIn},         {"sUserName", kVIn}, {"sPassword", kVIn}, {"sGroupName", kVIn},
    {"sGroupDescription", kVIn}, {"sAction", kVIn},   {"pvError", kVOut}};

#define BRINDLECORE_METHOD(name)                              \
  MethodInfo{#name, k##name, &Invoke<&Authentication::name>}; \
  static_assert(Matches(&Authentication::name, k##name),      \
                #name ": parameter list differs from the method's signature")

// Declared one by one (not as one initializer) so each entry carries its own check.
constexpr MethodInfo kImportProfileAdminsEntry = BRINDLECORE_METHOD(ImportProfileAdmins);
constexpr MethodInfo kAuthenticateUserEntry = BRINDLECORE_METHOD(AuthenticateUser);
constexpr MethodInfo kGetGroupListEntry = BRINDLECORE_METHOD(GetGroupList);
constexpr MethodInfo kGetAllGroupsListEntry = BRINDLECORE_METHOD(GetAllGroupsList);
constexpr MethodInfo kAddUserToGroupEntry = BRINDLECORE_METHOD(AddUserToGroup);
constexpr MethodInfo kRemoveUserFromGroupEntry = BRINDLECORE_METHOD(RemoveUserFromGroup);
constexpr MethodInfo kGenerateGroupsEntry = BRINDLECORE_METHOD(GenerateGroups);
constexpr MethodInfo kGetAllUsersEntry = BRINDLECORE_METHOD(GetAllUsers);
constexpr MethodInfo kGetAllUsersListEntry = BRINDLECORE_METHOD(GetAllUsersList);
constexpr MethodInfo kCreateVirtualWebServerEntry = BRINDLECORE_METHOD(CreateVirtualWebServer);
constexpr MethodInfo kGetVirtualWebServersEntry = BRINDLECORE_METHOD(GetVirtualWebServers);
constexpr MethodInfo kStartVirtualWebServerEntry = BRINDLECORE_METHOD(StartVirtualWebServer);
constexpr MethodInfo kCreateVirtualDirEntry = BRINDLECORE_METHOD(CreateVirtualDir);
constexpr MethodInfo kAddFavoriteEntry = BRINDLECORE_METHOD(AddFavorite);
constexpr MethodInfo kAddExternalGroupEntry = BRINDLECORE_METHOD(AddExternalGroup);
constexpr MethodInfo kUpdateGroupEntry = BRINDLECORE_METHOD(UpdateGroup);

#undef BRINDLECORE_METHOD

}  // namespace

std::span<const MethodInfo> MethodTable() {
  static const MethodInfo kTable[] = {
      kImportProfileAdminsEntry,  kAuthenticateUserEntry,
      kGetGroupListEntry,         kGetAllGroupsListEntry,
      kAddUserToGroupEntry,       kRemoveUserFromGroupEntry,
      kGenerateGroupsEntry,       kGetAllUsersEntry,
      kGetAllUsersListEntry,      kCreateVirtualWebServerEntry,
      kGetVirtualWebServersEntry, kStartVirtualWebServerEntry,
      kCreateVirtualDirEntry,     kAddFavoriteEntry,
      kAddExternalGroupEntry,     kUpdateGroupEntry,
  };
  return kTable;
}

}  // namespace brindlecore::component
