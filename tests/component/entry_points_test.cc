// The library's entry points and class factory, called as the runtime calls them.
#include <gtest/gtest.h>

#include <string>

#include "brindlecore/automation.h"
#include "component/authentication_object.h"
#include "platform/automation/errors.h"
#include "platform/default_platform.h"
#include "platform/root.h"
#include "support/temp_dir.h"

namespace brindlecore::testing {
namespace {

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

TEST(EntryPointsTest, FactoryRefusesAggregationAndCreatesDispatchObjects) {
  TempDir dir;
  platform::SetProcessRoot(dir.path());
  IClassFactory* factory = Factory();
  ASSERT_NE(factory, nullptr);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), kIidIDispatch, &out),
            errors::kClassENoaggregation.number);
  EXPECT_EQ(out, nullptr);

  ASSERT_EQ(factory->CreateInstance(nullptr, kIidIDispatch, &out), kSOk);
  Object object(static_cast<IDispatch*>(out));
  int32_t dispid = 0;
  EXPECT_EQ(object.get()->GetIDsOfNames("AddFavorite", &dispid), kSOk);
  EXPECT_EQ(dispid, 14);
}

TEST(EntryPointsTest, LibraryStaysInUseWhileObjectsOrLocksLive) {
  TempDir dir;
  std::unique_ptr<platform::Platform> platform = platform::MakePlatform(dir.path());
  ASSERT_EQ(DllCanUnloadNow(), kSOk);
  {
    Object object = component::NewAuthenticationObject(*platform);
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
