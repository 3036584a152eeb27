// The Active Directory tests run in a network and mount namespace of their own: main() starts the
// program again inside one, and the DC is provisioned once for all cases.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "ad/samba_dc.h"

namespace {

class DcEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    try {
      brindlecore::testing::SambaDc::Get().Start();
    } catch (const std::exception& e) {
      brindlecore::testing::SambaDc::Get().Stop();
      FAIL() << e.what();
    }
  }
  void TearDown() override { brindlecore::testing::SambaDc::Get().Stop(); }
};

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("BRINDLECORE_AD_NAMESPACE")) {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return 1;
    self[n] = '\0';
    setenv("BRINDLECORE_AD_NAMESPACE", "1", 1);
    std::vector<char*> args = {const_cast<char*>("unshare"), const_cast<char*>("--net"),
                               const_cast<char*>("--mount"), const_cast<char*>("--"), self};
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    execvp("unshare", args.data());
    std::perror("unshare (the tests need a network namespace of their own)");
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new DcEnvironment);
  return RUN_ALL_TESTS();
}
