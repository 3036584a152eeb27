#include "support/winnt_fixture.h"

#include <sqlite3.h>

#include <optional>
#include <vector>

#include "platform/automation/errors.h"
#include "platform/directory/winnt/account_store.h"

namespace brindlecore::testing {
namespace {

using platform::winnt::AccountEntry;
using platform::winnt::AccountKind;
using platform::winnt::AccountStore;

// The cheapest work factor: tests sign in often, and the hash's strength is not what they test.
constexpr int kTestHashCost = 1;

std::string Join(const std::vector<std::string>& items) {
  std::string joined;
  for (const std::string& item : items) joined += (joined.empty() ? "" : ",") + item;
  return joined;
}

std::optional<AccountEntry> FindGroup(AccountStore& store, const std::string& computer,
                                      const std::string& group) {
  try {
    auto snapshot = store.Read(computer);
    const AccountEntry* entry = snapshot->Find(group);
    if (entry != nullptr && entry->kind == AccountKind::kGroup) return *entry;
  } catch (const AutomationError&) {
  }
  return std::nullopt;
}

}  // namespace

AccountsFixture::AccountsFixture(const std::filesystem::path& root) : root_(root) {}
AccountsFixture::~AccountsFixture() = default;

std::shared_ptr<AccountStore> AccountsFixture::Store() const {
  if (held_) return held_;
  std::filesystem::create_directories(root_);
  return std::make_shared<AccountStore>(root_, /*create=*/true);
}

// Should `build` throw, the batch keeps nothing and later changes commit one by one.
AccountsFixture& AccountsFixture::InOneTransaction(
    const std::function<void(AccountsFixture&)>& build) {
  const auto store = held_ = Store();
  AccountStore::Batch batch(*store);
  build(*this);
  batch.Commit();
  held_.reset();
  return *this;
}

AccountsFixture& AccountsFixture::Computer(const std::string& name) {
  if (!Store()->CreateDatabase(name)) errors::kErrorAlreadyExists.Throw();
  return *this;
}

AccountsFixture& AccountsFixture::User(const std::string& computer, const std::string& name,
                                       const std::string& password, const std::string& full_name,
                                       const std::string& description) {
  Store()->AddUser(computer, name, full_name, description, password, kTestHashCost);
  return *this;
}

AccountsFixture& AccountsFixture::Group(const std::string& computer, const std::string& name,
                                        const std::string& description) {
  Store()->AddGroup(computer, name, description);
  return *this;
}

AccountsFixture& AccountsFixture::Member(const std::string& computer, const std::string& group,
                                         const std::string& member) {
  std::string path = member.find('/') == std::string::npos ? computer + "/" + member : member;
  Store()->AddMember(computer, group, "WinNT://" + path);
  return *this;
}

bool AccountsFixture::HasGroup(const std::string& computer, const std::string& group) const {
  return FindGroup(*Store(), computer, group).has_value();
}

std::string AccountsFixture::GroupDescription(const std::string& computer,
                                              const std::string& group) const {
  auto entry = FindGroup(*Store(), computer, group);
  return entry ? entry->description : "";
}

std::string AccountsFixture::Members(const std::string& computer, const std::string& group) const {
  auto entry = FindGroup(*Store(), computer, group);
  std::vector<std::string> names;
  if (entry) {
    for (const auto& member : entry->members) names.push_back(member.name);
  }
  return Join(names);
}

std::string AccountsFixture::Groups(const std::string& computer) const {
  std::vector<std::string> names;
  try {
    const auto snapshot = Store()->Read(computer);  // outlives the store that read it
    for (const AccountEntry& e : snapshot->accounts) {
      if (e.kind == AccountKind::kGroup) names.push_back(e.name);
    }
  } catch (const AutomationError&) {
  }
  return Join(names);
}

std::string AccountsFixture::PasswordHash(const std::string& computer,
                                          const std::string& account) const {
  sqlite3* db = nullptr;
  sqlite3_stmt* stmt = nullptr;
  std::string hash;
  if (sqlite3_open_v2(AccountStore::FileIn(root_).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
          SQLITE_OK &&
      sqlite3_prepare_v2(db,
                         "SELECT a.password_hash FROM accounts a JOIN account_dbs d "
                         "ON d.id = a.db_id WHERE d.name = ? AND a.name = ?",
                         -1, &stmt, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(stmt, 1, computer.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 2, account.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0) != nullptr) {
      hash = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return hash;
}

}  // namespace brindlecore::testing
