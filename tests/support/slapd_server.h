// A real slapd for the tests: started on a free loopback port in a temporary folder with a small
// directory schema like that of the original platform's directory, stopped at scope exit.
#ifndef BRINDLECORE_TESTS_SUPPORT_SLAPD_SERVER_H_
#define BRINDLECORE_TESTS_SUPPORT_SLAPD_SERVER_H_

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace brindlecore::testing {

class SlapdServer {
 public:
  // Starts the server with the suffix DC=example,DC=test (a domainDNS object with dc=example),
  // an administrator account for the process's binds, and nothing else. Throws on failure.
  SlapdServer();
  ~SlapdServer();  // stops the server and removes its folder

  std::string uri() const;         // ldap://127.0.0.1:PORT
  std::string base_dn() const;     // DC=example,DC=test
  std::string service_dn() const;  // the account the platform binds as "the process"
  std::string service_password() const;

  // Adds entries; `parent_dn` "" means base_dn(). Return the new entry's DN.
  std::string AddOu(const std::string& ou, const std::string& parent_dn = "");
  std::string AddUser(const std::string& cn, const std::string& sam_account_name,
                      const std::string& password, const std::string& given_name = "",
                      const std::string& sn = "", const std::string& parent_dn = "");
  std::string AddGroup(const std::string& cn, const std::string& sam_account_name,
                       const std::string& description, const std::vector<std::string>& member_dns,
                       const std::string& parent_dn = "");
  // Adds `count` users in one go (paging tests, benchmarks): cn and sAMAccountName are
  // prefix + 1 .. prefix + count, givenName "Given" + number, sn "Sn" + number, no password.
  void AddNumberedUsers(const std::string& prefix, int count, const std::string& parent_dn = "");

  // Writes root/platform.conf so the root's platform reaches this server for serverless paths
  // ("LDAP://RootDSE", "LDAP://DC=...") and binds as the service account.
  void WriteConfig(const std::filesystem::path& root) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_SUPPORT_SLAPD_SERVER_H_
