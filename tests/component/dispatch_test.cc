// Calls by name as host pages make them: name look-up, argument counts and kinds, what the
// caller's variables hold afterwards, and the thread rule.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "component/authentication_object.h"
#include "component/method_table.h"
#include "platform/automation/errors.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

using DispatchTest = RootTest;

Variant Array(std::vector<std::string> items) { return Variant::Strings(items); }

TEST_F(DispatchTest, NamesResolveCaseInsensitivelyToSlotsInTableOrder) {
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
    std::string upper = names[i];
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& name : {names[i], upper}) {
      int32_t dispid = 0;
      EXPECT_EQ(object.get()->GetIDsOfNames(name, &dispid), kSOk) << name;
      EXPECT_EQ(dispid, static_cast<int32_t>(i + 1)) << name;
    }
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
      {"GetVirtualWebServers", {}, errors::kDispEBadparamcount},
      {"getvirtualwebservers", {Ref("a"), Ref("b")}, errors::kDispEBadparamcount},
      {"AuthenticateUser",
       {Val("PC"), Val("WinNT://PC"), Val("u"), Val("p"), Ref(), Ref(), Val("A"), Ref("e")},
       errors::kDispEBadparamcount},
      // A later string parameter refused: the earlier by-reference strings are not consumed.
      {"AddFavorite",
       {Ref("http://a"), Ref("T"), Ref(Variant::Null())},
       errors::kDispETypemismatch},
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
  EXPECT_EQ(describe("CreateVirtualWebServer"),
            R"(CreateVirtualWebServer({ "IP", "Port", "RootDir", "ServerComment", "pvError&" }))");
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

TEST_F(DispatchTest, VariantOutputsAreWrittenBackAndInputsStayTheCallers) {
  CallOutcome out = CallMethod(*platform_, "AuthenticateUser",
                               {Val("PC"), Val(Variant::Null()), Val("u"), Val("p"), Ref("g"),
                                Ref("n"), Val("Admins"), Val("ServerAdministrator"), Ref("x")});
  ASSERT_FALSE(out.error);
  EXPECT_EQ(out.result, Variant(""));
  EXPECT_EQ(out.arg(8), Variant("x - -1,Invalid NT Domain -- Null"));
  EXPECT_EQ(out.arg(1), Variant::Null());
  EXPECT_EQ(out.arg(0), Variant("PC"));

  // The same output passed by value: the method works on a copy the caller never sees.
  CallOutcome by_val = CallMethod(*platform_, "AuthenticateUser",
                                  {Val("PC"), Val(Variant::Null()), Val("u"), Val("p"), Ref(),
                                   Ref(), Val("Admins"), Val("ServerAdministrator"), Val("x")});
  EXPECT_EQ(by_val.arg(8), Variant("x"));
}

TEST_F(DispatchTest, AMethodsOwnErrorReachesTheHostWithItsNumberAndText) {
  CallOutcome out = CallMethod(*platform_, "RemoveUserFromGroup",
                               {Val(Variant()), Val("bob"), Val("QZW3SVC1"), Ref("keep")});
  EXPECT_THAT(out.error, AutomationErrorIs(-1, "Invalid Computer Name To Remove From -- Empty"));
  EXPECT_EQ(out.arg(3), Variant("keep"));
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

}  // namespace
}  // namespace brindlecore::testing
