// The local account store: account databases (computers or domains) with their users, groups and
// group members, kept in root/accounts.db.
//
// Names of databases and accounts are unique (a user and a group of one database cannot share a
// name), found case-insensitively (ASCII letters) and reported in the case they were created in.
// Everything enumerates in creation order; members in the order they were added. Every change is
// one SQLite transaction: a refused or failed change leaves the file as it was.
//
// One store is one SQLite connection guarded by a mutex, so objects bound on several threads may
// share it. Reads are served from immutable snapshots kept in a SnapshotCache
// (account_snapshot.h says when they are read again).
//
// A name is refused with ERROR_INVALID_NAME when it is empty or holds "/", "\\", "," or a control
// character. Failures are catalogue errors: ERROR_BAD_NETPATH for a database that is not there,
// NERR_GroupNotFound / NERR_UserNotFound for a missing account, and the errors named on each
// call; storage failures as sqlite::MapSqliteError says.
#ifndef BRINDLECORE_PLATFORM_DIRECTORY_WINNT_ACCOUNT_STORE_H_
#define BRINDLECORE_PLATFORM_DIRECTORY_WINNT_ACCOUNT_STORE_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/errors.h"
#include "platform/directory/winnt/account_snapshot.h"
#include "platform/sqlite/sqlite.h"

namespace brindlecore::platform::winnt {

// Changes to an existing account; unset fields stay as they are.
struct AccountChanges {
  std::optional<std::string> full_name;
  std::optional<std::string> description;
  std::optional<int32_t> group_type;
};

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
  SnapshotPtr Read(const std::string& db);
  // Read, also giving the version of the store's cache it came from, for Unchanged.
  SnapshotPtr Read(const std::string& db, uint64_t* version);
  // Whether a Read now would give exactly what the Read at `version` gave (see
  // SnapshotCache::Unchanged); told without a lock or a look at the file.
  bool Unchanged(uint64_t version) const { return cache_.Unchanged(version); }

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

  // --- bulk changes
  // Until Commit, every change of this store joins one write transaction (a savepoint each, so a
  // refused change undoes only its own), made durable at once by Commit: for set-ups of thousands
  // of accounts, which one durable commit per change would take minutes to write. Other
  // connections' writers wait for it. Ended without Commit, it keeps nothing. One at a time.
  class Batch {
   public:
    explicit Batch(AccountStore& store);
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    void Commit();

   private:
    AccountStore& store_;
    std::optional<sqlite::Transaction> tx_;
  };

  // --- host calls (Platform::BeginCall): between the two, the first read looks for other
  // connections' commits and later reads trust the cache, so one call reads one state however
  // many objects it binds and walks. Calls may overlap (several threads); each new one looks
  // again. Never throw.
  void BeginCall();
  void EndCall();

 private:
  sqlite::Database& Db();                                    // opens on first use; caller holds mu_
  bool OpenIfPresent();                                      // caller holds mu_
  int64_t DatabaseId(const std::string& db);                 // ERROR_BAD_NETPATH
  int64_t GroupId(int64_t db_id, const std::string& group);  // NERR_GroupNotFound
  SnapshotPtr ReadLocked(const std::string& db);             // caller holds mu_
  SnapshotPtr Load(int64_t id, const std::string& name);
  // Drops the cache when another connection has committed since it was filled; inside a call,
  // only at its first look. Caller holds mu_; inside a write transaction it judges the state the
  // transaction started from.
  void CheckFresh();
  // Every change but those that may touch several databases: under the lock and in one write
  // transaction, runs `change(db, cached, current)`, where `cached` is the snapshot of `db_name`
  // cached before the change (nullptr when none is) and `current` whether it holds the file as
  // the transaction sees it, and commits. `change` returns the entry it changed as it now stands,
  // nullptr when there is no cached snapshot to patch; the cache is patched with it after the
  // commit. Nothing is kept when `change` throws.
  template <typename Change>
  void Write(const std::string& db_name, Change change);
  // Reads account `id` as it stands in the open transaction.
  AccountPtr LoadEntry(int64_t id);
  // LoadEntry for the account `name` of `cached`; nullptr without a cached snapshot.
  AccountPtr Reloaded(const DatabaseSnapshot* cached, const std::string& name);
  // A copy of group `group` (id `group_id`) of `cached` with its members edited by `edit`;
  // nullptr without a cached snapshot or when the snapshot's group is not that one.
  template <typename Edit>
  AccountPtr EditedGroup(const DatabaseSnapshot* cached, const std::string& group, int64_t group_id,
                         Edit edit);
  // The member changes made by ids from a cached snapshot that holds the file as the change sees
  // it: the group's entry as it now stands (nullptr: drop the snapshot); nullopt, having written
  // nothing, when the snapshot cannot tell the ids.
  std::optional<AccountPtr> AddOwnMember(const DatabaseSnapshot& cached, const std::string& group,
                                         const std::string& domain, const std::string& account);
  std::optional<AccountPtr> RemoveListedMember(const DatabaseSnapshot& cached,
                                               const std::string& group,
                                               const std::string& member_path);
  // Throws the error that explains why a membership change on `group` of `db` found nothing to
  // change: ERROR_BAD_NETPATH, NERR_GroupNotFound, else `otherwise`.
  [[noreturn]] void ThrowMemberChangeRefused(const std::string& db, const std::string& group,
                                             const errors::ErrorCode& otherwise);

  std::filesystem::path path_;
  bool create_;
  std::mutex mu_;
  std::optional<sqlite::Database> db_;
  SnapshotCache cache_;  // guarded by mu_, but for Unchanged
};

}  // namespace brindlecore::platform::winnt

#endif  // BRINDLECORE_PLATFORM_DIRECTORY_WINNT_ACCOUNT_STORE_H_
