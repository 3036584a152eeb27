#include "platform/directory/winnt/account_store.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/automation/errors.h"
#include "platform/directory/winnt/password_hash.h"

namespace brindlecore::platform::winnt {
namespace {

constexpr std::array<std::string_view, 2> kSchema = {
    R"sql(
CREATE TABLE account_dbs(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE COLLATE NOCASE);
CREATE TABLE accounts(
  id INTEGER PRIMARY KEY,
  db_id INTEGER NOT NULL REFERENCES account_dbs(id) ON DELETE CASCADE,
  kind INTEGER NOT NULL CHECK (kind IN (1, 2)),
  name TEXT NOT NULL COLLATE NOCASE,
  full_name TEXT NOT NULL DEFAULT '',
  description TEXT NOT NULL DEFAULT '',
  group_type INTEGER NOT NULL DEFAULT 0,
  password_hash TEXT,
  UNIQUE (db_id, name));
-- account_id: a member kept here (this or another database); path: the path as it was given,
-- for members of other databases (NULL for this database's own accounts).
CREATE TABLE members(
  id INTEGER PRIMARY KEY,
  group_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
  account_id INTEGER REFERENCES accounts(id) ON DELETE CASCADE,
  path TEXT COLLATE NOCASE,
  CHECK (account_id IS NOT NULL OR path IS NOT NULL));
CREATE UNIQUE INDEX members_by_account ON members(group_id, account_id)
  WHERE account_id IS NOT NULL;
CREATE UNIQUE INDEX members_by_path ON members(group_id, path) WHERE account_id IS NULL;
CREATE INDEX members_of_account ON members(account_id);
)sql",
    // A group's members are read, and removed with the group, by group_id: the partial index
    // could not serve that (NULLs stay distinct, so uniqueness holds without the WHERE). Members
    // kept by path need no entry in the index that deletes an account's memberships.
    R"sql(
DROP INDEX members_by_account;
CREATE UNIQUE INDEX members_by_account ON members(group_id, account_id);
DROP INDEX members_of_account;
CREATE INDEX members_of_account ON members(account_id) WHERE account_id IS NOT NULL;
)sql",
};

constexpr const char* kAdministratorsDescription =
    "Administrators have complete and unrestricted access to the computer/domain";
constexpr const char* kUsersDescription = "Ordinary users";

const errors::ErrorCode& NotFound(AccountKind kind) {
  return kind == AccountKind::kGroup ? errors::kNerrGroupnotfound : errors::kNerrUsernotfound;
}

// Names become path segments, so the path separators cannot be part of one.
void CheckName(const std::string& name) {
  bool bad = name.empty();
  for (unsigned char c : name) bad = bad || c < 0x20 || c == '/' || c == '\\' || c == ',';
  if (bad) errors::kErrorInvalidName.Throw();
}

constexpr const char* kAccountColumns =
    "SELECT id, kind, name, full_name, description, group_type, password_hash IS NOT NULL "
    "FROM accounts ";

void ReadAccount(const sqlite::Statement& row, AccountEntry& e) {
  e.id = row.Int(0);
  e.kind = static_cast<AccountKind>(row.Int(1));
  e.name = row.Text(2);
  e.full_name = row.Text(3);
  e.description = row.Text(4);
  e.group_type = static_cast<int32_t>(row.Int(5));
  e.has_password = row.Int(6) != 0;
}

// Columns from `first`: members.id, members.path, the member account's name and kind (NULL when
// not kept).
MemberEntry ReadMember(const sqlite::Statement& row, int first) {
  MemberEntry m;
  m.id = row.Int(first++);
  if (row.IsNull(first)) {
    m.name = row.Text(first + 1);
  } else {
    m.given_path = row.Text(first);
    std::string domain;
    SplitMemberPath(m.given_path, &domain, &m.name);
  }
  if (!row.IsNull(first + 2)) m.kind = static_cast<AccountKind>(row.Int(first + 2));
  return m;
}

}  // namespace

bool SplitMemberPath(std::string_view path, std::string* domain, std::string* account) {
  constexpr std::string_view kPrefix = "WinNT://";
  if (!path.starts_with(kPrefix)) return false;
  path.remove_prefix(kPrefix.size());
  size_t slash = path.find('/');
  if (slash == std::string_view::npos || slash == 0 || slash + 1 == path.size()) return false;
  std::string_view rest = path.substr(slash + 1);
  if (rest.find('/') != std::string_view::npos || path.find(',') != std::string_view::npos) {
    return false;
  }
  *domain = std::string(path.substr(0, slash));
  *account = std::string(rest);
  return true;
}

AccountStore::AccountStore(std::filesystem::path root, bool create)
    : path_(FileIn(root)), create_(create) {}

AccountStore::~AccountStore() = default;

std::filesystem::path AccountStore::FileIn(const std::filesystem::path& root) {
  return root / "accounts.db";
}

bool AccountStore::OpenIfPresent() {
  if (db_) return true;
  if (!create_ && !std::filesystem::exists(path_)) return false;
  db_.emplace(sqlite::Database::Open(path_, create_, kSchema));
  return true;
}

sqlite::Database& AccountStore::Db() {
  if (!OpenIfPresent()) errors::kErrorBadNetpath.Throw();
  return *db_;
}

int64_t AccountStore::DatabaseId(const std::string& db) {
  sqlite::Statement s = Db().Cached("SELECT id FROM account_dbs WHERE name = ?");
  if (!s.BindAll(db).Step()) errors::kErrorBadNetpath.Throw();
  return s.Int(0);
}

// --- bulk changes

AccountStore::Batch::Batch(AccountStore& store) : store_(store) {
  std::lock_guard lock(store_.mu_);
  tx_.emplace(store_.Db());
}

// The cache was patched with the batch's changes as they were made.
AccountStore::Batch::~Batch() {
  std::lock_guard lock(store_.mu_);
  if (tx_) store_.cache_.Clear();
  tx_.reset();
}

void AccountStore::Batch::Commit() {
  std::lock_guard lock(store_.mu_);
  tx_->Commit();
  tx_.reset();
}

// --- account databases

bool AccountStore::CreateDatabase(const std::string& name) {
  CheckName(name);
  std::lock_guard lock(mu_);
  sqlite::Database& db = Db();
  sqlite::Transaction tx(db);
  sqlite::Statement exists = db.Prepare("SELECT 1 FROM account_dbs WHERE name = ?");
  if (exists.BindAll(name).Step()) return false;
  db.Prepare("INSERT INTO account_dbs(name) VALUES (?)").BindAll(name).Run();
  int64_t id = db.LastInsertRowId();
  sqlite::Statement group = db.Prepare(
      "INSERT INTO accounts(db_id, kind, name, description, group_type) VALUES (?, 2, ?, ?, ?)");
  group.BindAll(id, "Administrators", kAdministratorsDescription, kLocalGroupType).Run();
  group.Reset();
  group.BindAll(id, "Users", kUsersDescription, kLocalGroupType).Run();
  tx.Commit();
  cache_.Clear();
  return true;
}

void AccountStore::DeleteDatabase(const std::string& name) {
  std::lock_guard lock(mu_);
  sqlite::Database& db = Db();
  sqlite::Transaction tx(db);
  int64_t id = DatabaseId(name);
  db.Prepare("DELETE FROM account_dbs WHERE id = ?").BindAll(id).Run();
  tx.Commit();
  cache_.Clear();
}

std::vector<std::string> AccountStore::ListDatabases() {
  std::lock_guard lock(mu_);
  std::vector<std::string> names;
  if (!OpenIfPresent()) return names;
  sqlite::Statement s = db_->Prepare("SELECT name FROM account_dbs ORDER BY id");
  while (s.Step()) names.push_back(s.Text(0));
  return names;
}

// --- reads

void AccountStore::BeginCall() {
  std::lock_guard lock(mu_);
  cache_.BeginCall();
}

void AccountStore::EndCall() {
  std::lock_guard lock(mu_);
  cache_.EndCall();
}

void AccountStore::CheckFresh() {
  if (cache_.MustLook()) cache_.Looked(db_->DataVersion());
}

SnapshotPtr AccountStore::Read(const std::string& db_name, uint64_t* version) {
  std::lock_guard lock(mu_);
  SnapshotPtr snapshot = ReadLocked(db_name);
  *version = cache_.version();
  return snapshot;
}

SnapshotPtr AccountStore::Read(const std::string& db_name) {
  std::lock_guard lock(mu_);
  return ReadLocked(db_name);
}

SnapshotPtr AccountStore::ReadLocked(const std::string& db_name) {
  sqlite::Database& db = Db();
  CheckFresh();
  if (SnapshotPtr cached = cache_.Find(db_name)) return cached;
  sqlite::Statement s = db.Cached("SELECT id, name FROM account_dbs WHERE name = ?");
  if (!s.BindAll(db_name).Step()) errors::kErrorBadNetpath.Throw();
  SnapshotPtr snapshot = Load(s.Int(0), s.Text(1));
  cache_.Put(db_name, snapshot);
  return snapshot;
}

SnapshotPtr AccountStore::Load(int64_t id, const std::string& name) {
  auto snap = std::make_shared<DatabaseSnapshot>();
  snap->id = id;
  snap->name = name;
  // One read transaction, so accounts and members come from the same state of the file.
  sqlite::Database& db = *db_;
  sqlite::ReadTransaction read(db);
  // The entries in blocks of a fixed size, each handed out as a pointer sharing its block: an
  // allocation per account, and its free when the snapshot goes, cost a load of the overview more
  // than its rows' text, and one block grown as the rows came touched twice its size in fresh
  // pages.
  constexpr size_t kBlock = 64;
  std::vector<std::shared_ptr<std::vector<AccountEntry>>> blocks;
  std::vector<AccountEntry*> entries;
  std::vector<int64_t> ids;  // ascending, as the rows come
  // Read in table order, filtered as they come: through the (db_id, name) index every row cost a
  // look-up in the table, and the rows then had to be sorted back into creation order.
  sqlite::Statement accounts =
      db.Prepare(std::string(kAccountColumns) + "WHERE +db_id = ? ORDER BY id");
  accounts.BindAll(id);
  while (accounts.Step()) {
    if (entries.size() % kBlock == 0) {
      blocks.push_back(std::make_shared<std::vector<AccountEntry>>());
      blocks.back()->reserve(kBlock);
    }
    AccountEntry& e = blocks.back()->emplace_back();
    ReadAccount(accounts, e);
    entries.push_back(&e);
    ids.push_back(e.id);
  }
  // The position of account `account_id` among those read; entries.size() when not there.
  const auto find = [&](int64_t account_id) -> size_t {
    auto it = std::lower_bound(ids.begin(), ids.end(), account_id);
    return it == ids.end() || *it != account_id ? entries.size()
                                                : static_cast<size_t>(it - ids.begin());
  };
  // Each group's members, gathered to go into its list at once.
  std::vector<std::vector<MemberEntry>> gathered(entries.size());
  // Every membership in table order, its group and its account found among the accounts just
  // read: joining each row to both cost two look-ups in the table per member. Only an account of
  // another database kept here is looked up, for its kind.
  sqlite::Statement members =
      db.Prepare("SELECT group_id, id, account_id, path FROM members ORDER BY id");
  while (members.Step()) {
    const size_t group = find(members.Int(0));
    if (group == entries.size()) continue;
    std::string account_name;
    std::optional<AccountKind> kind;
    if (!members.IsNull(2)) {
      if (const size_t account = find(members.Int(2)); account != entries.size()) {
        account_name = entries[account]->name;
        kind = entries[account]->kind;
      } else {
        sqlite::Statement other = db.Cached("SELECT name, kind FROM accounts WHERE id = ?");
        if (other.BindAll(members.Int(2)).Step()) {
          account_name = other.Text(0);
          kind = static_cast<AccountKind>(other.Int(1));
        }
      }
    }
    MemberEntry m;
    m.id = members.Int(1);
    if (members.IsNull(3)) {
      m.name = std::move(account_name);
    } else {
      m.given_path = members.Text(3);
      std::string domain;
      SplitMemberPath(m.given_path, &domain, &m.name);
    }
    m.kind = kind;
    gathered[group].push_back(std::move(m));
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!gathered[i].empty()) entries[i]->members.Append(std::move(gathered[i]));
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    snap->accounts.Append(AccountPtr(blocks[i / kBlock], entries[i]));
  }
  snap->by_name = std::make_shared<const NameIndex>(snap->accounts);
  return snap;
}

template <typename Change>
void AccountStore::Write(const std::string& db_name, Change change) {
  std::lock_guard lock(mu_);
  sqlite::Database& db = Db();
  sqlite::Transaction tx(db);
  // Asked inside the transaction, so the snapshot is judged against the state the change starts
  // from.
  const bool looks = cache_.MustLook();
  CheckFresh();
  SnapshotPtr cached = cache_.Find(db_name);
  // Inside a call the cache keeps the state the call began with, and lags any commit of another
  // connection since: only when there is none does it hold the file as this change sees it.
  const bool current = cached && (looks || cache_.Seen(db.DataVersion()));
  AccountPtr changed = change(db, cached.get(), current);
  tx.Commit();
  cache_.Patch(cached, std::move(changed));
}

AccountPtr AccountStore::LoadEntry(int64_t id) {
  sqlite::Database& db = *db_;
  auto e = std::make_shared<AccountEntry>();
  static const std::string kById = std::string(kAccountColumns) + "WHERE id = ?";
  sqlite::Statement account = db.Cached(kById);
  if (!account.BindAll(id).Step()) errors::kEFail.Throw();
  ReadAccount(account, *e);
  sqlite::Statement members = db.Cached(
      "SELECT m.id, m.path, a.name, a.kind FROM members m "
      "LEFT JOIN accounts a ON a.id = m.account_id WHERE m.group_id = ? ORDER BY m.id");
  members.BindAll(id);
  while (members.Step()) e->members.push_back(ReadMember(members, 0));
  return e;
}

AccountPtr AccountStore::Reloaded(const DatabaseSnapshot* cached, const std::string& name) {
  if (cached == nullptr) return nullptr;
  const AccountEntry* old = cached->Find(name);
  return old == nullptr ? nullptr : LoadEntry(old->id);
}

template <typename Edit>
AccountPtr AccountStore::EditedGroup(const DatabaseSnapshot* cached, const std::string& group,
                                     int64_t group_id, Edit edit) {
  if (cached == nullptr) return nullptr;
  const AccountEntry* old = cached->Find(group);
  if (old == nullptr || old->id != group_id) return nullptr;
  auto e = std::make_shared<AccountEntry>(*old);
  edit(e->members);
  return e;
}

// --- accounts

void AccountStore::AddUser(const std::string& db_name, const std::string& name,
                           const std::string& full_name, const std::string& description,
                           const std::string& password, int hash_cost) {
  CheckName(name);
  // Hash before taking the lock: it is the slow part and needs nothing from the store.
  std::optional<std::string> hash;
  if (!password.empty()) hash = HashPassword(password, hash_cost);
  Write(db_name, [&](sqlite::Database& db, const DatabaseSnapshot* cached, bool) -> AccountPtr {
    int64_t id = DatabaseId(db_name);
    sqlite::Statement taken = db.Prepare("SELECT 1 FROM accounts WHERE db_id = ? AND name = ?");
    if (taken.BindAll(id, name).Step()) errors::kNerrUserexists.Throw();
    db.Prepare(
          "INSERT INTO accounts(db_id, kind, name, full_name, description, password_hash) "
          "VALUES (?, 1, ?, ?, ?, ?)")
        .BindAll(id, name, full_name, description, hash)
        .Run();
    return cached ? LoadEntry(db.LastInsertRowId()) : nullptr;
  });
}

void AccountStore::SetPassword(const std::string& db_name, const std::string& name,
                               const std::string& password, int hash_cost) {
  std::optional<std::string> hash;
  if (!password.empty()) hash = HashPassword(password, hash_cost);
  Write(db_name, [&](sqlite::Database& db, const DatabaseSnapshot* cached, bool) {
    int64_t id = DatabaseId(db_name);
    int changed = db.Prepare(
                        "UPDATE accounts SET password_hash = ? "
                        "WHERE db_id = ? AND name = ? AND kind = 1")
                      .BindAll(hash, id, name)
                      .Run();
    if (changed == 0) errors::kNerrUsernotfound.Throw();
    return Reloaded(cached, name);
  });
}

void AccountStore::AddGroup(const std::string& db_name, const std::string& name,
                            const std::string& description, int32_t group_type) {
  CheckName(name);
  Write(db_name, [&](sqlite::Database& db, const DatabaseSnapshot* cached, bool) -> AccountPtr {
    int64_t id = DatabaseId(db_name);
    sqlite::Statement taken = db.Prepare("SELECT 1 FROM accounts WHERE db_id = ? AND name = ?");
    if (taken.BindAll(id, name).Step()) errors::kErrorAliasExists.Throw();
    db.Prepare(
          "INSERT INTO accounts(db_id, kind, name, description, group_type) "
          "VALUES (?, 2, ?, ?, ?)")
        .BindAll(id, name, description, group_type)
        .Run();
    return cached ? LoadEntry(db.LastInsertRowId()) : nullptr;
  });
}

void AccountStore::DeleteAccount(const std::string& db_name, AccountKind kind,
                                 const std::string& name) {
  std::lock_guard lock(mu_);
  sqlite::Database& db = Db();
  sqlite::Transaction tx(db);
  int64_t id = DatabaseId(db_name);
  int changed = db.Prepare("DELETE FROM accounts WHERE db_id = ? AND name = ? AND kind = ?")
                    .BindAll(id, name, static_cast<int>(kind))
                    .Run();
  if (changed == 0) NotFound(kind).Throw();
  tx.Commit();
  // Memberships in other databases' groups went with the account.
  cache_.Clear();
}

void AccountStore::UpdateAccount(const std::string& db_name, AccountKind kind,
                                 const std::string& name, const AccountChanges& changes) {
  Write(db_name, [&](sqlite::Database& db, const DatabaseSnapshot* cached, bool) {
    int64_t id = DatabaseId(db_name);
    int changed = db.Prepare(
                        "UPDATE accounts SET full_name = coalesce(?, full_name), "
                        "description = coalesce(?, description), "
                        "group_type = coalesce(?, group_type) "
                        "WHERE db_id = ? AND name = ? AND kind = ?")
                      .BindAll(changes.full_name, changes.description, changes.group_type, id, name,
                               static_cast<int>(kind))
                      .Run();
    if (changed == 0) NotFound(kind).Throw();
    return Reloaded(cached, name);
  });
}

// --- members

int64_t AccountStore::GroupId(int64_t db_id, const std::string& group) {
  sqlite::Statement g =
      db_->Cached("SELECT id FROM accounts WHERE db_id = ? AND name = ? AND kind = 2");
  if (!g.BindAll(db_id, group).Step()) errors::kNerrGroupnotfound.Throw();
  return g.Int(0);
}

void AccountStore::ThrowMemberChangeRefused(const std::string& db_name, const std::string& group,
                                            const errors::ErrorCode& otherwise) {
  GroupId(DatabaseId(db_name), group);
  otherwise.Throw();
}

// With the cache holding the file as the change sees it, the group and a member of its own
// database are found there, and the change is one insert by ids, its patch made from what the
// cache holds and the new row's id. Nothing is written when that cannot be done.
std::optional<AccountPtr> AccountStore::AddOwnMember(const DatabaseSnapshot& cached,
                                                     const std::string& group,
                                                     const std::string& domain,
                                                     const std::string& account) {
  if (!SameFolded(domain, cached.name)) return std::nullopt;
  const AccountEntry* g = cached.Find(group);
  const AccountEntry* a = cached.Find(account);
  if (g == nullptr || g->kind != AccountKind::kGroup || a == nullptr) return std::nullopt;
  sqlite::Statement insert = db_->Cached("INSERT INTO members(group_id, account_id) VALUES (?, ?)");
  try {
    insert.BindAll(g->id, a->id).Run();
  } catch (const sqlite::SqliteError& e) {
    // Both accounts exist: the unique index is the one constraint left to break.
    if (e.IsConstraint()) errors::kErrorMemberInAlias.Throw();
    throw;
  }
  auto e = std::make_shared<AccountEntry>(*g);
  e->members.push_back(MemberEntry{db_->LastInsertRowId(), a->name, "", a->kind});
  return e;
}

// As AddOwnMember, for a removal: the rows to delete are the group's members listed under the
// path, letter case aside. A member kept here is listed under a path naming its database and
// account, which is how the path given names it; one of another database, under the path given.
std::optional<AccountPtr> AccountStore::RemoveListedMember(const DatabaseSnapshot& cached,
                                                           const std::string& group,
                                                           const std::string& member_path) {
  const AccountEntry* g = cached.Find(group);
  if (g == nullptr || g->kind != AccountKind::kGroup) return std::nullopt;
  std::vector<int64_t> ids;
  for (const MemberEntry& m : g->members) {
    if (m.PathIs(cached.name, member_path)) ids.push_back(m.id);
  }
  if (ids.empty()) return std::nullopt;
  sqlite::Statement remove = db_->Cached("DELETE FROM members WHERE id = ?");
  size_t removed = 0;
  for (int64_t id : ids) removed += static_cast<size_t>(remove.BindAll(id).Run());
  auto e = std::make_shared<AccountEntry>(*g);
  e->members.erase_if(
      [&](const MemberEntry& m) { return std::find(ids.begin(), ids.end(), m.id) != ids.end(); });
  // Should the list and the file disagree, the change stands and the cached copy goes.
  return removed == ids.size() ? AccountPtr(std::move(e)) : nullptr;
}

// Otherwise one statement per change: the group and the member are found inside it, and the few
// columns a cached snapshot needs come back from it. Only a refused change pays for finding out
// why.
void AccountStore::AddMember(const std::string& db_name, const std::string& group,
                             const std::string& member_path) {
  std::string domain, account;
  const bool well_formed = SplitMemberPath(member_path, &domain, &account);
  Write(db_name, [&](sqlite::Database& db, const DatabaseSnapshot* cached, bool current) {
    if (current && well_formed) {
      if (auto added = AddOwnMember(*cached, group, domain, account)) return *added;
    }
    // A member of this database is kept by account alone; one of another database kept here by
    // account and path as given; one of a database not kept here by path alone.
    sqlite::Statement insert = db.Cached(
        "INSERT INTO members(group_id, account_id, path) "
        "SELECT g.id, a.id, CASE WHEN a.db_id = d.id THEN NULL ELSE ?5 END "
        "FROM account_dbs d JOIN accounts g ON g.db_id = d.id AND g.name = ?2 AND g.kind = 2 "
        "LEFT JOIN account_dbs md ON md.name = ?3 "
        "LEFT JOIN accounts a ON a.db_id = md.id AND a.name = ?4 "
        "WHERE d.name = ?1 AND (md.id IS NULL OR a.id IS NOT NULL) "
        "RETURNING group_id, id, path, "
        "(SELECT name FROM accounts WHERE accounts.id = members.account_id), "
        "(SELECT kind FROM accounts WHERE accounts.id = members.account_id)");
    bool added = false;
    if (well_formed) {
      try {
        added = insert.BindAll(db_name, group, domain, account, member_path).Step();
      } catch (const sqlite::SqliteError& e) {
        // The unique indexes are the only constraint a well-found row can break.
        if (e.IsConstraint()) errors::kErrorMemberInAlias.Throw();
        throw;
      }
    }
    if (!added) {
      if (!well_formed) ThrowMemberChangeRefused(db_name, group, errors::kEAdsBadPathname);
      ThrowMemberChangeRefused(db_name, group, errors::kErrorNoSuchMember);
    }
    return EditedGroup(cached, group, insert.Int(0),
                       [&](MemberList& members) { members.push_back(ReadMember(insert, 1)); });
  });
}

void AccountStore::RemoveMember(const std::string& db_name, const std::string& group,
                                const std::string& member_path) {
  std::string domain, account;
  const bool well_formed = SplitMemberPath(member_path, &domain, &account);
  Write(db_name, [&](sqlite::Database& db, const DatabaseSnapshot* cached, bool current) {
    if (current && well_formed) {
      if (auto left = RemoveListedMember(*cached, group, member_path)) return *left;
    }
    // A member kept here is named by any spelling of its database and account; one of another
    // database by its path, letter case aside.
    sqlite::Statement remove = db.Cached(
        "DELETE FROM members WHERE group_id = ("
        "  SELECT g.id FROM accounts g JOIN account_dbs d ON d.id = g.db_id "
        "  WHERE d.name = ?1 AND g.name = ?2 AND g.kind = 2) AND ("
        "  account_id = (SELECT a.id FROM accounts a "
        "                JOIN account_dbs d ON d.id = a.db_id "
        "                WHERE d.name = ?3 AND a.name = ?4)"
        "  OR (account_id IS NULL AND path = ?5)) "
        "RETURNING group_id, id");
    std::vector<int64_t> removed;
    int64_t group_id = 0;
    if (well_formed) {
      remove.BindAll(db_name, group, domain, account, member_path);
      while (remove.Step()) {
        group_id = remove.Int(0);
        removed.push_back(remove.Int(1));
      }
    }
    if (removed.empty()) ThrowMemberChangeRefused(db_name, group, errors::kErrorMemberNotInAlias);
    return EditedGroup(cached, group, group_id, [&](MemberList& members) {
      members.erase_if([&](const MemberEntry& m) {
        return std::find(removed.begin(), removed.end(), m.id) != removed.end();
      });
    });
  });
}

// --- sign-in

bool AccountStore::CheckPassword(const std::string& db_name, const std::string& account,
                                 const std::string& password) {
  std::optional<std::string> hash;
  {
    std::lock_guard lock(mu_);
    sqlite::Database& db = Db();
    int64_t db_id = DatabaseId(db_name);
    sqlite::Statement s = db.Prepare(
        "SELECT password_hash FROM accounts WHERE db_id = ? AND name = ? AND kind = 1 "
        "AND password_hash IS NOT NULL");
    if (s.BindAll(db_id, account).Step()) hash = s.Text(0);
  }
  // Verified outside the lock: it is slow and other callers need not wait for it.
  if (password.empty()) hash.reset();
  return VerifyPassword(password, hash);
}

}  // namespace brindlecore::platform::winnt
