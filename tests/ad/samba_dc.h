// A throwaway Active Directory domain controller (Samba) for the tests of this folder: provisioned
// once per run in a temporary folder, inside the private network and mount namespace that main()
// puts the test program in, so the domain's names resolve through a hosts file of our own and
// nothing outside the namespace is reachable or reaches it.
#ifndef BRINDLECORE_TESTS_AD_SAMBA_DC_H_
#define BRINDLECORE_TESTS_AD_SAMBA_DC_H_

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace brindlecore::testing {

inline constexpr char kDomainDn[] = "DC=example,DC=test";
inline constexpr char kDcHost[] = "dc1.example.test";
inline constexpr char kDomainHost[] = "example.test";  // what the DC's referrals name
inline constexpr char kServiceDn[] = "CN=svc-brindle,CN=Users,DC=example,DC=test";
inline constexpr char kServicePassword[] = "Svc-Passw0rd!";
inline constexpr int kBulkMembers = 1600;  // members of "Crowd", past one ranged window

// The directory the DC starts with: see Provision() in samba_dc.cc for each object.
class SambaDc {
 public:
  static SambaDc& Get();

  void Start();  // provisions, fills and starts; throws std::runtime_error with the log
  void Stop();   // stops the DC by its PID and removes its folder

  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path ca_file() const { return folder_ / "tls" / "ca.pem"; }

  // What the domain's own DNS name resolves to: "127.0.0.1" (the DC), another loopback address
  // where nothing listens, or "" for no answer at all.
  void ResolveDomainNameTo(const std::string& address);

  // Writes root/platform.conf: the service account (password file), the CA and `ldap_lines`
  // (each "key = value") after them.
  void WriteConfig(const std::filesystem::path& root, const std::vector<std::string>& lines) const;

 private:
  void Provision();
  void MakeCertificates();
  void AddBulkMembers();
  std::filesystem::path folder_;
  pid_t pid_ = -1;
};

// Runs a program to its end with the DC's environment; its output goes to the DC's log.
// Returns the exit status; throws when it cannot be started.
int RunTool(const std::vector<std::string>& argv);

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_AD_SAMBA_DC_H_
