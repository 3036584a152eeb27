// Builds local account databases in one line each, straight into a root's account store.
#ifndef BRINDLECORE_TESTS_SUPPORT_WINNT_FIXTURE_H_
#define BRINDLECORE_TESTS_SUPPORT_WINNT_FIXTURE_H_

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace brindlecore::platform::winnt {
class AccountStore;
}

namespace brindlecore::testing {

class AccountsFixture {
 public:
  explicit AccountsFixture(const std::filesystem::path& root);
  ~AccountsFixture();

  // A new account database with its built-in groups "Administrators" and "Users".
  AccountsFixture& Computer(const std::string& name);
  // A user; an empty password makes an account that cannot sign in.
  AccountsFixture& User(const std::string& computer, const std::string& name,
                        const std::string& password = "", const std::string& full_name = "",
                        const std::string& description = "");
  AccountsFixture& Group(const std::string& computer, const std::string& name,
                         const std::string& description = "");
  // `member`: an account of `computer`, or "DOMAIN/account".
  AccountsFixture& Member(const std::string& computer, const std::string& group,
                          const std::string& member);
  // Runs `build` with every change it makes through this fixture in one transaction of the
  // store: set-ups of thousands of accounts (the benchmarks') would take minutes to write one
  // durable change at a time.
  AccountsFixture& InOneTransaction(const std::function<void(AccountsFixture&)>& build);

  // Reads back, for assertions: "" when absent.
  bool HasGroup(const std::string& computer, const std::string& group) const;
  std::string GroupDescription(const std::string& computer, const std::string& group) const;
  // Member names (account part) in member order, joined with ",".
  std::string Members(const std::string& computer, const std::string& group) const;
  // Group names in creation order, joined with ",".
  std::string Groups(const std::string& computer) const;
  // The stored password hash of `account`, read from the file: the store keeps hashes out of
  // what it reads for everything else.
  std::string PasswordHash(const std::string& computer, const std::string& account) const;

 private:
  // The store of InOneTransaction, else one opened for this change alone.
  std::shared_ptr<platform::winnt::AccountStore> Store() const;
  std::filesystem::path root_;
  std::shared_ptr<platform::winnt::AccountStore> held_;
};

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_SUPPORT_WINNT_FIXTURE_H_
