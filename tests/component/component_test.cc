// Calls by name as host pages make them (name look-up, argument counts and kinds, what the
// caller's variables hold afterwards, the thread rule), and the library's entry points as the
// runtime calls them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "brindlecore/automation.h"
#include "component/authentication_object.h"
#include "component/frame.h"
#include "component/method_table.h"
#include "platform/automation/errors.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

using DispatchTest = RootTest;

Variant Array(std::vector<std::string> items) { return Variant::Strings(items); }

TEST_F(DispatchTest, NamesResolveToSlotsInTableOrder) {
  const std::vector<std::string> names = {"ImportProfileAdmins",  "AuthenticateUser",
                                          "GetGroupList",         "GetAllGroupsList",
                                          "AddUserToGroup",       "RemoveUserFromGroup",
                                          "GenerateGroups",       "GetAllUsers",
                                          "GetAllUsersList",      "CreateVirtualWebServer",
                                          "GetVirtualWebServers", "StartVirtualWebServer",
                                          "CreateVirtualDir",     "AddFavorite",
                                          "AddExternalGroup",     "UpdateGroup"};
  Object object = component::NewAuthenticationObject(*platform_);
  ASSERT_EQ(component::MethodTable().size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    int32_t dispid = 0;
    EXPECT_EQ(object.get()->GetIDsOfNames(names[i], &dispid), kSOk) << names[i];
    EXPECT_EQ(dispid, static_cast<int32_t>(i + 1)) << names[i];
  }
}

// Refused calls: the method never runs, so every argument must come back exactly as passed.
TEST_F(DispatchTest, RefusedCallsLeaveEveryArgumentAsPassed) {
  struct Case {
    std::string method;
    std::vector<Arg> args;
    const errors::ErrorCode& error;
  };
  const std::vector<Case> cases = {
      {"NoSuchMethod", {Ref("x")}, errors::kDispEUnknownname},
      {"AddUserToGroupX", {}, errors::kDispEUnknownname},
      {"getvirtualwebservers", {Ref("a"), Ref("b")}, errors::kDispEBadparamcount},
      {"AddFavorite", {Val(Variant::Null()), Ref("T"), Ref("e")}, errors::kDispETypemismatch},
      {"CreateVirtualWebServer",
       {Val("1.2.3.4"), Val(Array({"80"})), Val("/srv"), Val("c"), Ref("e")},
       errors::kDispETypemismatch},
      {"StartVirtualWebServer", {Ref(Array({"1"})), Ref("e")}, errors::kDispETypemismatch},
  };
  for (const Case& c : cases) {
    std::vector<Variant> before;
    for (const Arg& a : c.args) before.push_back(a.value);
    CallOutcome out = CallMethod(*platform_, c.method, c.args);
    EXPECT_THAT(out.error, AutomationErrorIs(c.error)) << c.method;
    EXPECT_EQ(out.args, before) << c.method;
  }
}

TEST_F(DispatchTest, UnknownDispatchIdentifiersAreNotMembers) {
  Object object = component::NewAuthenticationObject(*platform_);
  for (int32_t dispid : {0, -1, 17}) {
    Variant result;
    ExcepInfo excep;
    EXPECT_EQ(object.get()->Invoke(dispid, {}, &result, &excep),
              errors::kDispEMembernotfound.number);
    FuncDesc desc{"kept", {}};
    EXPECT_EQ(object.get()->GetFuncDesc(dispid, &desc), errors::kDispEMembernotfound.number);
    EXPECT_EQ(desc.name, "kept");
  }
  EXPECT_EQ(object.get()->GetFuncDesc(1, nullptr), errors::kEInvalidarg.number);
}

// A host checks calls against these descriptions, so each must say what dispatch enforces.
TEST_F(DispatchTest, MembersDescribeTheirParametersAsDispatchTakesThem) {
  Object object = component::NewAuthenticationObject(*platform_);
  auto describe = [&](std::string_view name) {
    int32_t dispid = 0;
    EXPECT_EQ(object.get()->GetIDsOfNames(name, &dispid), kSOk);
    FuncDesc desc;
    EXPECT_EQ(object.get()->GetFuncDesc(dispid, &desc), kSOk);
    std::vector<std::string> params;
    for (const ParamDesc& p : desc.params) params.push_back(p.name + (p.by_ref ? "&" : ""));
    return desc.name + "(" + ::testing::PrintToString(params) + ")";
  };
  EXPECT_EQ(describe("authenticateUSER"),
            R"(AuthenticateUser({ "psComputerName", "psNTDomain", "psUserName", "psPassword", )"
            R"("pvGroupList&", "pvGroupNames&", "psAdminGroup", "psLoginType", "pvError&" }))");
  EXPECT_EQ(describe("StartVirtualWebServer"),
            R"(StartVirtualWebServer({ "ServerName&", "pvError&" }))");
}

TEST_F(DispatchTest, StringParametersTakeTheTextOfOtherValuesAndGiveBackStrings) {
  // Whatever the method leaves, a by-reference string parameter comes back as a String; a
  // by-value argument in the same place is never touched.
  for (Variant start : {Variant(5), Variant(true), Variant(), Variant(2.5), Variant("x")}) {
    CallOutcome by_ref = CallMethod(*platform_, "GetVirtualWebServers", {Ref(start)});
    EXPECT_TRUE(by_ref.arg(0).IsString()) << TypeName(start.type());
    CallOutcome by_val = CallMethod(*platform_, "GetVirtualWebServers", {Val(start)});
    EXPECT_EQ(by_val.arg(0), start);
  }
}

// A Variant output passed by value: the method works on a copy the caller never sees.
TEST_F(DispatchTest, AnOutputPassedByValueStaysTheCallers) {
  CallOutcome out = CallMethod(*platform_, "AuthenticateUser",
                               {Val("PC"), Val(Variant::Null()), Val("u"), Val("p"), Ref(), Ref(),
                                Val("Admins"), Val("ServerAdministrator"), Val("x")});
  ASSERT_FALSE(out.error);
  EXPECT_EQ(out.arg(8), Variant("x"));
}

TEST_F(DispatchTest, AnotherThreadIsRefused) {
  Object object = component::NewAuthenticationObject(*platform_);
  std::optional<AutomationError> error;
  std::thread([&] {
    std::vector<Arg> args = {Ref("")};
    error = ErrorOf([&] { object.Call("GetVirtualWebServers", args); });
  }).join();
  EXPECT_THAT(error, AutomationErrorIs(errors::kRpcEWrongThread));
}

TEST_F(DispatchTest, ObjectAnswersOnlyForItsInterfaces) {
  Object object = component::NewAuthenticationObject(*platform_);
  for (std::string_view iid : {kIidIUnknown, kIidIDispatch, component::kIidAuthentication}) {
    void* out = nullptr;
    ASSERT_EQ(object.get()->QueryInterface(iid, &out), kSOk) << iid;
    EXPECT_EQ(out, static_cast<void*>(object.get()));
    object.get()->Release();
  }
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(object.get()->QueryInterface(kIidIClassFactory, &out), errors::kENointerface.number);
  EXPECT_EQ(out, nullptr);
}

// The host's positions count from 1; a position or length out of range is error 5.
TEST(StringFunctionsTest, FollowTheHostsPositionRules) {
  using component::InStr, component::Left, component::Mid, component::Right;
  EXPECT_EQ(Mid("WinNT://HOST", 9), "HOST");
  EXPECT_EQ(Mid("WinNT://", 9), "");
  EXPECT_EQ(Mid("abc", 2, 1), "b");
  EXPECT_EQ(Mid("abc", 3, 10), "c");
  EXPECT_EQ(Left("abc", 10), "abc");
  EXPECT_EQ(Right("abc", 2), "bc");
  EXPECT_EQ(Right("abc", 0), "");
  EXPECT_EQ(InStr(1, "a,b,c", ","), 2);
  EXPECT_EQ(InStr(3, "a,b,c", ","), 4);
  EXPECT_EQ(InStr(1, "abc", ","), 0);
  EXPECT_EQ(InStr(4, "abc", ""), 4);
  for (auto bad : {+[] { Right("WinNT", 5 - 8); }, +[] { Left("a", -1); }, +[] { Mid("a", 0); },
                   +[] { Mid("a", 1, -1); }, +[] { InStr(0, "a", "a"); }}) {
    EXPECT_THAT(ErrorOf(bad), AutomationErrorIs(5, "Invalid procedure call or argument"));
  }
}

IClassFactory* Factory() {
  void* out = nullptr;
  EXPECT_EQ(DllGetClassObject(std::string(component::kClsid).c_str(),
                              std::string(kIidIClassFactory).c_str(), &out),
            kSOk);
  return static_cast<IClassFactory*>(out);
}

TEST(EntryPointsTest, ClassObjectOnlyForOurClass) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject("{00000000-0000-0000-0000-000000000001}",
                              std::string(kIidIClassFactory).c_str(), &out),
            errors::kClassEClassnotavailable.number);
  EXPECT_EQ(out, nullptr);
  // Identifiers compare without regard to letter case, as registry texts do.
  std::string lower(component::kClsid);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(DllGetClassObject(lower.c_str(), std::string(kIidIClassFactory).c_str(), &out), kSOk);
}

// Creating through the factory is what every call through `brindlecore invoke` does.
TEST(EntryPointsTest, FactoryRefusesAggregation) {
  IClassFactory* factory = Factory();
  ASSERT_NE(factory, nullptr);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), kIidIDispatch, &out),
            errors::kClassENoaggregation.number);
  EXPECT_EQ(out, nullptr);
}

TEST_F(DispatchTest, LibraryStaysInUseWhileObjectsOrLocksLive) {
  ASSERT_EQ(DllCanUnloadNow(), kSOk);
  {
    Object object = component::NewAuthenticationObject(*platform_);
    Object copy = object;
    EXPECT_EQ(DllCanUnloadNow(), kSFalse);
    object = Object();
    EXPECT_EQ(DllCanUnloadNow(), kSFalse);  // the copy still holds it
  }
  EXPECT_EQ(DllCanUnloadNow(), kSOk);

  IClassFactory* factory = Factory();
  factory->LockServer(true);
  EXPECT_EQ(DllCanUnloadNow(), kSFalse);
  factory->LockServer(false);
  EXPECT_EQ(DllCanUnloadNow(), kSOk);
}

}  // namespace
}  // namespace brindlecore::testing
