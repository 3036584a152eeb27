// A platform root in a temporary folder: builders for its account store and metabase, and the
// platform over it. Nothing is created before a builder or the platform is first used.
#ifndef BRINDLECORE_TESTS_SUPPORT_TEST_ROOT_H_
#define BRINDLECORE_TESTS_SUPPORT_TEST_ROOT_H_

#include <gtest/gtest.h>

#include <memory>

#include "platform/default_platform.h"
#include "support/dispatch.h"
#include "support/fault_platform.h"
#include "support/matchers.h"
#include "support/metabase_fixture.h"
#include "support/temp_dir.h"
#include "support/winnt_fixture.h"

namespace brindlecore::testing {

struct TestRoot {
  TempDir dir;
  AccountsFixture accounts{dir.path()};
  MetabaseFixture sites{dir.path()};
  std::unique_ptr<platform::Platform> platform = platform::MakePlatform(dir.path());
};

// The same as a test fixture, for the method tests' members.
class RootTest : public ::testing::Test {
 protected:
  TempDir dir_;
  AccountsFixture accounts_{dir_.path()};
  MetabaseFixture sites_{dir_.path()};
  std::unique_ptr<platform::Platform> platform_ = platform::MakePlatform(dir_.path());
};

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_SUPPORT_TEST_ROOT_H_
