// The domain controller started once for the whole program, which ctest runs in a network and
// mount namespace of its own ("unshare --net --mount").
#include "ad/dc.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "platform/default_platform.h"
#include "support/command.h"

namespace brindlecore::testing {
namespace fs = std::filesystem;
namespace {

constexpr char kAdminPassword[] = "Adm1n-Passw0rd!";

// Samba's databases skip fsync: the folder is thrown away after the run anyway.
std::vector<std::string> SambaEnvironment() {
  return {"ASAN_OPTIONS", "TDB_NO_FSYNC=1", "LDAPTLS_CACERT=" + SambaDc::Get().ca_file().string()};
}

// Runs provision.sh beside this file (see there for what it makes) on the DC's folder.
void Provision(const fs::path& folder, const std::string& third, const std::string& fourth) {
  const char* source = std::getenv("BRINDLECORE_SOURCE_DIR");
  if (source == nullptr) throw std::runtime_error("BRINDLECORE_SOURCE_DIR is not set");
  const fs::path log = folder / "provision.log";
  if (WaitExit(Spawn({"sh", std::string(source) + "/tests/ad/provision.sh", folder.string(),
                      kAdminPassword, third, fourth},
                     LogTo(log), SambaEnvironment())) != 0) {
    throw std::runtime_error("provision.sh: " + ReadFile(log));
  }
}

}  // namespace

// Registered before main(): the test runner starts the DC before the first test and stops it
// after the last.
SambaDc& SambaDc::Get() {
  static SambaDc* const dc =
      static_cast<SambaDc*>(::testing::AddGlobalTestEnvironment(new SambaDc));
  return *dc;
}
[[maybe_unused]] static const SambaDc& registered = SambaDc::Get();

void SambaDc::SetUp() {
  try {
    Start();
  } catch (const std::exception& e) {
    TearDown();
    FAIL() << e.what();
  }
}

void SambaDc::ResolveDomainNameTo(const std::string& address) {
  std::string hosts = "127.0.0.1 localhost " + std::string(kDcHost) + " dc1\n";
  if (!address.empty()) hosts += address + " " + kDomainHost + "\n";
  // Rewritten in place: the bind mount over /etc/hosts follows the file, not its name.
  std::ofstream(folder_ / "hosts", std::ios::trunc) << hosts;
}

void SambaDc::Start() {
  std::string tmpl = (fs::temp_directory_path() / "brindlecore-ad-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  folder_ = tmpl;
  if (RunShell("ip link set lo up").status != 0) {
    throw std::runtime_error("cannot bring up loopback in the test's network namespace");
  }
  ResolveDomainNameTo("127.0.0.1");
  if (mount((folder_ / "hosts").c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) {
    throw std::runtime_error("cannot mount the namespace's own hosts file");
  }
  Provision(folder_, kServicePassword, kUserPassword);
  fs::path conf = folder_ / "dc" / "etc" / "smb.conf";
  samba_.Start({"samba", "-s", conf.string(), "--foreground", "--no-process-group", "-M", "single"},
               LogTo(folder_ / "samba.log"), SambaEnvironment());
  if (!samba_.WaitReady([] { return PortOpen(636); }, 60)) {
    throw std::runtime_error("samba does not listen: " + ReadFile(folder_ / "samba.log") +
                             ReadFile(folder_ / "dc.log"));
  }
  Provision(folder_, "bulk", std::to_string(kBulkMembers));
}

void SambaDc::TearDown() {
  samba_.Stop();
  umount("/etc/hosts");
  std::error_code ec;
  if (!folder_.empty() && !std::getenv("BRINDLECORE_AD_KEEP")) fs::remove_all(folder_, ec);
}

std::vector<std::string> LdapsConfig() {
  return {"ldap.uri = ldaps://" + std::string(kDcHost),
          "ldap.tls_cacert = " + SambaDc::Get().ca_file().string(), "ldap.timeout = 10",
          "ldap.network_timeout = 2"};
}

AdCase::AdCase(const std::vector<std::string>& config) {
  accounts.Computer(kComputer);
  const fs::path password_file = dir.path() / "ldap-service.password";
  std::ofstream(password_file) << kServicePassword << "\n";
  fs::permissions(password_file, fs::perms::owner_read | fs::perms::owner_write);
  std::ofstream conf(dir.path() / "platform.conf");
  conf << "ldap.bind_dn = " << kServiceDn
       << "\nldap.bind_password_file = " << password_file.string() << "\n";
  for (const std::string& line : config) conf << line << "\n";
  conf.close();
  platform = platform::MakePlatform(dir.path());
}

std::string AdCase::Call(const SignIn& s) {
  CallOutcome out =
      CallMethod(*platform, "AuthenticateUser",
                 {Val(Variant(kComputer)), Val(Variant(s.domain)), Val(Variant(s.user)),
                  Val(Variant(s.password)), Ref(Variant("")), Ref(Variant("")),
                  Val(Variant(s.admin_group)), Val(Variant(s.login_type)), Ref(Variant("x"))});
  if (out.error) return "!" + out.error->description;
  return ToText(out.result) + "|" + out.text(4) + "|" + out.text(5) + "|" + out.text(8);
}

}  // namespace brindlecore::testing
