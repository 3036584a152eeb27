// A platform root configured for the test domain controller, and the sign-in call.
#ifndef BRINDLECORE_TESTS_AD_AD_CASE_H_
#define BRINDLECORE_TESTS_AD_AD_CASE_H_

#include <memory>
#include <string>
#include <vector>

#include "ad/samba_dc.h"
#include "platform/platform.h"
#include "support/dispatch.h"
#include "support/temp_dir.h"
#include "support/winnt_fixture.h"

namespace brindlecore::testing {

inline constexpr char kComputer[] = "WEBSRV1";
inline constexpr char kUserPassword[] = "Us3r-Passw0rd!";
inline constexpr char kAlicePath[] = "LDAP://CN=Alice Smith,CN=Users,DC=example,DC=test";

// The configuration every case starts from: the DC over ldaps, trusted through our CA file.
std::vector<std::string> LdapsConfig();

struct SignIn {
  std::string domain = "LDAP://RootDSE";
  std::string user = "alice";
  std::string password = kUserPassword;
  std::string admin_group = "WebAdmins";
  std::string login_type = "ServerAdministrator";
};

// Result, list, names and error text of one AuthenticateUser call, "!" + the host-facing error
// when the call itself failed.
struct SignInOutcome {
  std::string result, list, names, error;
  bool operator==(const SignInOutcome&) const = default;
};
std::ostream& operator<<(std::ostream& out, const SignInOutcome& o);

class AdCase {
 public:
  explicit AdCase(const std::vector<std::string>& config = LdapsConfig());
  void Configure(const std::vector<std::string>& config);
  platform::Platform& platform() { return *platform_; }
  const std::filesystem::path& root() const { return dir_.path(); }
  AccountsFixture& accounts() { return accounts_; }
  SignInOutcome Call(const SignIn& s);

 private:
  TempDir dir_;
  AccountsFixture accounts_;
  std::unique_ptr<platform::Platform> platform_;
};

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_AD_AD_CASE_H_
