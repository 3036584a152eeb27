// The local account store: account databases (computers or domains) with their users, groups and
// group members, kept in root/accounts.db.
//
// Names of databases and accounts are unique (a user and a group of one database cannot share a
// name), found case-insensitively (ASCII letters) and reported in the case they were created in.
// Everything enumerates in creation order; members in the order they were added. Every change is
// one SQLite transaction: a refused or failed change leaves the file as it was.
//
// One store is one SQLite connection guarded by a mutex, so objects bound on several threads may
// share it. Reads are served from an immutable snapshot of one account database. Another
// connection's commit discards the cached snapshots (seen through PRAGMA data_version: asked at
// every read outside a call, and once per call inside one, see BeginCall); this connection's own
// changes replace the cached snapshot by a copy with the changed entry, so a write costs no
// reload. A snapshot holds no transaction open, so a caller may write while it walks one.
//
// A name is refused with ERROR_INVALID_NAME when it is empty or holds "/", "\\", "," or a control
// character. Failures are catalogue errors: ERROR_BAD_NETPATH for a database that is not there,
// NERR_GroupNotFound / NERR_UserNotFound for a missing account, and the errors named on each
// call; storage failures as sqlite::MapSqliteError says.
#ifndef BRINDLECORE_PLATFORM_DIRECTORY_WINNT_ACCOUNT_STORE_H_
#define BRINDLECORE_PLATFORM_DIRECTORY_WINNT_ACCOUNT_STORE_H_

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/automation/errors.h"
#include "platform/sqlite/sqlite.h"

namespace brindlecore::platform::winnt {

enum class AccountKind { kUser = 1, kGroup = 2 };

// Group type of a local group, as a new group created through the provider is given.
inline constexpr int32_t kLocalGroupType = 4;

struct MemberEntry {
  int64_t id = 0;    // the membership's own row
  std::string name;  // the account part
  std::string path;  // "WinNT://DB/account": stored case for this database's accounts, else as given
  std::optional<AccountKind> kind;  // unknown for accounts of a database not kept here
};

// A group's members in the order added, with their names also kept side by side: a walk that
// reads only names (the overview compares every member of every group with each user) then
// reads them in one run without a copy.
class MemberList {
 public:
  using const_iterator = std::vector<MemberEntry>::const_iterator;
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const MemberEntry& operator[](size_t i) const { return entries_[i]; }
  const std::vector<std::string>& names() const { return names_; }

  void push_back(MemberEntry member) {
    names_.push_back(member.name);
    entries_.push_back(std::move(member));
  }
  // Removes the members `remove` picks; returns how many.
  template <typename Pred>
  size_t erase_if(Pred remove) {
    size_t kept = 0;
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (remove(std::as_const(entries_[i]))) continue;
      if (kept != i) {
        entries_[kept] = std::move(entries_[i]);
        names_[kept] = std::move(names_[i]);
      }
      ++kept;
    }
    const size_t removed = entries_.size() - kept;
    entries_.resize(kept);
    names_.resize(kept);
    return removed;
  }

 private:
  std::vector<MemberEntry> entries_;
  std::vector<std::string> names_;  // entries_[i].name
};

struct AccountEntry {
  int64_t id = 0;
  AccountKind kind = AccountKind::kUser;
  std::string name;
  std::string full_name;    // users
  std::string description;
  int32_t group_type = 0;   // groups
  bool has_password = false;
  MemberList members;  // groups
};

using AccountPtr = std::shared_ptr<const AccountEntry>;

// The accounts of a snapshot in creation order. Entries are shared between successive snapshots
// of one database, so a change copies pointers and the one entry it touched.
class AccountList {
 public:
  class Iterator {
   public:
    explicit Iterator(std::vector<AccountPtr>::const_iterator it) : it_(it) {}
    const AccountEntry& operator*() const { return **it_; }
    const AccountEntry* operator->() const { return it_->get(); }
    Iterator& operator++() {
      ++it_;
      return *this;
    }
    bool operator==(const Iterator&) const = default;

   private:
    std::vector<AccountPtr>::const_iterator it_;
  };
  Iterator begin() const { return Iterator(items_.begin()); }
  Iterator end() const { return Iterator(items_.end()); }
  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  const AccountEntry& operator[](size_t i) const { return *items_[i]; }
  const AccountPtr& Shared(size_t i) const { return items_[i]; }
  // Positions of the accounts of one kind, in creation order: a walk of the groups alone need
  // not step over every user.
  const std::vector<uint32_t>& PositionsOf(AccountKind kind) const {
    return kind == AccountKind::kGroup ? groups_ : users_;
  }
  // `entry` replaces the account at `i`, which has the same kind (an account keeps its kind).
  void Set(size_t i, AccountPtr entry) { items_[i] = std::move(entry); }
  void Append(AccountPtr entry) {
    (entry->kind == AccountKind::kGroup ? groups_ : users_)
        .push_back(static_cast<uint32_t>(items_.size()));
    items_.push_back(std::move(entry));
  }

 private:
  std::vector<AccountPtr> items_;
  std::vector<uint32_t> users_, groups_;
};

// One account database as it was when read. Never changes; share freely.
struct DatabaseSnapshot {
  int64_t id = 0;
  std::string name;
  AccountList accounts;  // creation order
  // nullptr when there is no account of that name (any letter case).
  const AccountEntry* Find(std::string_view name) const;
  AccountPtr FindShared(std::string_view name) const;
  // Folded name to position in `accounts`; shared by snapshots that differ in no name.
  std::shared_ptr<const std::unordered_map<std::string, size_t>> by_folded_name;
};

// Changes to an existing account; unset fields stay as they are.
struct AccountChanges {
  std::optional<std::string> full_name;
  std::optional<std::string> description;
  std::optional<int32_t> group_type;
};

// ASCII lower case: the store's notion of "the same name".
std::string FoldName(std::string_view name);

// Splits "WinNT://DOMAIN/account" into its two parts; false for any other shape.
bool SplitMemberPath(std::string_view path, std::string* domain, std::string* account);

class AccountStore {
 public:
  // `create`: make root/accounts.db (mode 0600) when it is missing; otherwise a missing file is an
  // empty store (no database exists) until someone creates it. Opening is deferred to first use.
  AccountStore(std::filesystem::path root, bool create);
  ~AccountStore();
  static std::filesystem::path FileIn(const std::filesystem::path& root);

  // --- account databases
  // Creates database `name` with its built-in groups "Administrators" and "Users" (empty).
  // Returns false, changing nothing, when one of that name exists.
  bool CreateDatabase(const std::string& name);
  // ERROR_BAD_NETPATH when missing. Its accounts go with it; memberships elsewhere that named
  // them are removed.
  void DeleteDatabase(const std::string& name);
  std::vector<std::string> ListDatabases();

  // --- reads
  // The database as it is now. ERROR_BAD_NETPATH when missing.
  std::shared_ptr<const DatabaseSnapshot> Read(const std::string& db);
  // Read, also giving the version of the store's cache it came from, for Unchanged.
  std::shared_ptr<const DatabaseSnapshot> Read(const std::string& db, uint64_t* version);
  // Whether a Read now would give exactly what the Read at `version` gave, told without a lock
  // or a look at the file: only inside a call that has looked already, and while nothing has
  // changed the cache since. False means "ask Read", not "changed".
  bool Unchanged(uint64_t version) const;

  // --- accounts
  // NERR_UserExists when the name is taken. An empty password makes an account that cannot sign
  // in. `hash_cost` 0 is the hashing library's default work factor.
  void AddUser(const std::string& db, const std::string& name, const std::string& full_name,
               const std::string& description, const std::string& password, int hash_cost = 0);
  // NERR_UserNotFound when there is no such user. Empty: the account can no longer sign in.
  void SetPassword(const std::string& db, const std::string& name, const std::string& password,
                   int hash_cost = 0);
  // ERROR_ALIAS_EXISTS when the name is taken.
  void AddGroup(const std::string& db, const std::string& name, const std::string& description,
                int32_t group_type = kLocalGroupType);
  // Deletes a user or a group (and every membership naming it): NERR_UserNotFound or
  // NERR_GroupNotFound when there is no account of that kind and name.
  void DeleteAccount(const std::string& db, AccountKind kind, const std::string& name);
  void UpdateAccount(const std::string& db, AccountKind kind, const std::string& name,
                     const AccountChanges& changes);

  // --- members: `member_path` is "WinNT://DOMAIN/account".
  // NERR_GroupNotFound for a missing group; E_ADS_BAD_PATHNAME for another shape of path;
  // ERROR_NO_SUCH_MEMBER when DOMAIN is a database here without that account;
  // ERROR_MEMBER_IN_ALIAS when already a member. A DOMAIN not kept here is taken as given.
  void AddMember(const std::string& db, const std::string& group, const std::string& member_path);
  // ERROR_MEMBER_NOT_IN_ALIAS when the path names no member of the group.
  void RemoveMember(const std::string& db, const std::string& group,
                    const std::string& member_path);

  // --- sign-in
  // Whether `account` of `db` exists, has a password, and `password` is that password. Takes the
  // time of one hash verification whatever the outcome, so a caller cannot tell which failed.
  // ERROR_BAD_NETPATH when the database is missing.
  bool CheckPassword(const std::string& db, const std::string& account,
                     const std::string& password);

  // --- host calls (Platform::BeginCall): between the two, the first read looks for other
  // connections' commits and later reads trust the cache, so one call reads one state however
  // many objects it binds and walks. Calls may overlap (several threads); each new one looks
  // again. Never throw.
  void BeginCall();
  void EndCall();

 private:
  sqlite::Database& Db();  // opens on first use; caller holds mu_
  bool OpenIfPresent();    // caller holds mu_
  int64_t DatabaseId(const std::string& db);  // ERROR_BAD_NETPATH
  int64_t GroupId(int64_t db_id, const std::string& group);  // NERR_GroupNotFound
  std::shared_ptr<const DatabaseSnapshot> Load(int64_t id, const std::string& name);
  // Drops the cache when another connection has committed since it was filled; inside a call,
  // only at its first look. Caller holds mu_; inside a write transaction it judges the state the
  // transaction started from.
  void CheckFresh();
  // The cached snapshot of `db` to patch after this connection's own change; nullptr when none
  // is cached. Called inside the write transaction, after its first statement.
  std::shared_ptr<const DatabaseSnapshot> CachedForChange(const std::string& db);
  // Reads account `id` as it stands in the open transaction.
  AccountPtr LoadEntry(int64_t id, const std::string& db_name);
  // A copy of group `group` (id `group_id`) of `cached` with its members edited by `edit`;
  // nullptr without a cached snapshot or when the snapshot's group is not that one.
  template <typename Edit>
  AccountPtr EditedGroup(const std::shared_ptr<const DatabaseSnapshot>& cached,
                         const std::string& group, int64_t group_id, Edit edit);
  // Throws the error that explains why a membership change on `group` of `db` found nothing to
  // change: ERROR_BAD_NETPATH, NERR_GroupNotFound, else `otherwise`.
  [[noreturn]] void ThrowMemberChangeRefused(const std::string& db, const std::string& group,
                                             const errors::ErrorCode& otherwise);
  // LoadEntry for the account `name` of `cached`; nullptr without a cached snapshot.
  AccountPtr Reloaded(const std::shared_ptr<const DatabaseSnapshot>& cached,
                      const std::string& name);
  // After a commit: `snapshot` (from CachedForChange) with `entry` put in place of the entry of
  // the same id, or appended, becomes the cached one.
  void Patch(const std::shared_ptr<const DatabaseSnapshot>& snapshot, AccountPtr entry);
  std::shared_ptr<const DatabaseSnapshot> ReadLocked(const std::string& db);  // holds mu_
  void Changed() {
    snapshots_.clear();
    cache_version_.fetch_add(1, std::memory_order_release);
  }
  // After a commit: Patch with `entry`, or, without one, drop a cached snapshot that lacks the
  // change.
  void PatchOrDrop(const std::shared_ptr<const DatabaseSnapshot>& snapshot, AccountPtr entry);

  std::filesystem::path path_;
  bool create_;
  std::mutex mu_;
  std::optional<sqlite::Database> db_;
  int64_t data_version_ = -1;
  int open_calls_ = 0;
  bool checked_in_call_ = false;  // data_version_ was asked since the latest BeginCall
  // Read without mu_ by Unchanged: whether reads trust the cache (inside a call that has looked),
  // and a counter moved by every change to the cache or to that trust.
  std::atomic<bool> trusted_{false};
  std::atomic<uint64_t> cache_version_{1};  // 0 is no version: never Unchanged
  std::map<std::string, std::shared_ptr<const DatabaseSnapshot>> snapshots_;  // by folded name
};

}  // namespace brindlecore::platform::winnt

#endif  // BRINDLECORE_PLATFORM_DIRECTORY_WINNT_ACCOUNT_STORE_H_
