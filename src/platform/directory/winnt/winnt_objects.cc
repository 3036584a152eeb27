#include "platform/directory/winnt/winnt_objects.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <utility>
#include <vector>

#include "platform/automation/errors.h"

namespace brindlecore::platform::winnt {
namespace {

using StorePtr = std::shared_ptr<AccountStore>;

std::string AccountPath(const std::string& db, const std::string& account) {
  return "WinNT://" + db + "/" + account;
}

bool PropertyIs(const std::string& property, std::string_view name) {
  return FoldName(property) == FoldName(name);
}

// A group member as the group lists it: a name, the path it was added under, and its kind when
// the account is kept here. Points into the group's entry, which never changes, so yielding one
// copies no text.
class MemberObject : public DirObject {
 public:
  // `db`: the stored name of the group's database.
  MemberObject(AccountPtr group, std::string db, size_t index)
      : group_(std::move(group)), db_(std::move(db)), index_(index) {}
  // Aims this object at another member of the same group.
  void MoveTo(size_t index) { index_ = index; }
  std::string Name() override { return entry().name; }
  std::string ADsPath() override { return entry().Path(db_); }
  std::string Class() override { return IsGroup() ? "Group" : "User"; }
  Variant Get(const std::string& property) override {
    if (PropertyIs(property, "Name")) return Variant(entry().name);
    errors::kEAdsPropertyNotFound.Throw();
  }
  void Put(const std::string&, const Variant&) override {
    errors::kEAdsPropertyNotSupported.Throw();
  }
  void SetInfo() override {}
  bool Supports(DirKind kind) const override {
    if (kind == DirKind::kGroup) return IsGroup();
    return kind == DirKind::kUser && !IsGroup();
  }

 private:
  const MemberEntry& entry() const { return group_->members[index_]; }
  bool IsGroup() const { return entry().kind == AccountKind::kGroup; }

  AccountPtr group_;
  std::string db_;
  size_t index_;
};

// Walks the member list of one entry; the entry holds no transaction, so the caller may change
// the store between steps.
class MemberEnumerator : public DirEnumerator {
 public:
  MemberEnumerator(AccountPtr group, std::string db)
      : group_(std::move(group)), db_(std::move(db)) {}
  std::unique_ptr<DirObject> Next() override {
    if (next_ >= group_->members.size()) return nullptr;
    return std::make_unique<MemberObject>(group_, db_, next_++);
  }
  DirObject* NextBorrowed() override {
    if (next_ >= group_->members.size()) return nullptr;
    if (borrowed_) {
      borrowed_->MoveTo(next_++);
    } else {
      borrowed_.emplace(group_, db_, next_++);
    }
    return &*borrowed_;
  }
  size_t NextNames(std::span<std::string_view> names) override {
    const std::vector<std::string>& members = group_->members.names();
    const size_t count = std::min(names.size(), members.size() - next_);
    for (size_t i = 0; i < count; ++i) names[i] = members[next_ + i];
    next_ += count;
    return count;
  }

 private:
  AccountPtr group_;
  std::string db_;  // stored case
  std::optional<MemberObject> borrowed_;
  size_t next_ = 0;
};

// A user or a group: bound or enumerated with its snapshot entry, or new (after Create) until its
// SetInfo. Its own properties come from that entry, re-read after its SetInfo; Puts go to a
// property cache that reads see at once and SetInfo stores.
class AccountObject : public DirObject {
 public:
  // `version`: the store's cache version `snapshot` was read at (AccountStore::Unchanged).
  // `entry`: one of `snapshot`'s accounts.
  AccountObject(StorePtr store, std::string db, SnapshotPtr snapshot, uint64_t version,
                const AccountEntry* entry)
      : store_(std::move(store)),
        db_(std::move(db)),
        snapshot_(std::move(snapshot)),
        version_(version),
        entry_(entry) {}
  // A new account of `kind`, stored at SetInfo.
  AccountObject(StorePtr store, std::string db, AccountKind kind, std::string name)
      : store_(std::move(store)), db_(std::move(db)), is_new_(true) {
    auto entry = std::make_shared<AccountEntry>();
    entry->kind = kind;
    entry->name = std::move(name);
    entry->group_type = kind == AccountKind::kGroup ? kLocalGroupType : 0;
    entry_ = entry.get();
    own_ = std::move(entry);
  }

  // Aims this object at another account, as if just enumerated from `snapshot`.
  void MoveTo(const SnapshotPtr& snapshot, uint64_t version, const AccountEntry* entry) {
    version_ = version;
    entry_ = entry;
    // The overview re-aims one object at every group for every user: the rest is out of line.
    if (snapshot_.get() != snapshot.get() || changes_.full_name || changes_.description ||
        changes_.group_type) [[unlikely]] {
      Reset(snapshot);
    }
  }

  std::string Name() override { return entry_->name; }
  std::string_view NameView() override { return entry_->name; }
  std::string ADsPath() override { return AccountPath(db_, entry_->name); }
  std::string Class() override { return IsGroup() ? "Group" : "User"; }

  Variant Get(const std::string& property) override {
    if (PropertyIs(property, "Name")) return Variant(entry_->name);
    if (PropertyIs(property, "Description")) return Variant(Description());
    if (IsGroup() && PropertyIs(property, "groupType")) {
      return Variant(changes_.group_type.value_or(entry_->group_type));
    }
    if (!IsGroup() && PropertyIs(property, "FullName")) return Variant(FullName());
    errors::kEAdsPropertyNotFound.Throw();
  }

  void Put(const std::string& property, const Variant& value) override {
    if (PropertyIs(property, "Description")) {
      SetDescription(ToText(value));
    } else if (IsGroup() && PropertyIs(property, "groupType")) {
      changes_.group_type = ToLong(value);
    } else if (!IsGroup() && PropertyIs(property, "FullName")) {
      changes_.full_name = ToText(value);
    } else {
      errors::kEAdsPropertyNotSupported.Throw();
    }
  }

  void SetInfo() override {
    if (is_new_) {
      std::string description = changes_.description.value_or("");
      if (IsGroup()) {
        store_->AddGroup(db_, entry_->name, description,
                         changes_.group_type.value_or(entry_->group_type));
      } else {
        store_->AddUser(db_, entry_->name, changes_.full_name.value_or(""), description, "");
      }
      is_new_ = false;
    } else if (changes_.full_name || changes_.description || changes_.group_type) {
      store_->UpdateAccount(db_, entry_->kind, entry_->name, changes_);
    } else {
      return;
    }
    changes_ = {};
    Reread();
  }

  bool Supports(DirKind kind) const override {
    return kind == (IsGroup() ? DirKind::kGroup : DirKind::kUser);
  }

  std::string Description() override { return changes_.description.value_or(entry_->description); }
  void SetDescription(const std::string& text) override { changes_.description = text; }
  std::string FullName() override {
    if (IsGroup()) errors::kRtObjectDoesntSupport.Throw();
    return changes_.full_name.value_or(entry_->full_name);
  }

  std::unique_ptr<DirEnumerator> Members() override {
    const AccountEntry& group = CurrentGroup();
    return std::make_unique<MemberEnumerator>(&group == current_.get() ? current_ : Shared(), db_);
  }
  std::span<const std::string> MemberNames() override { return CurrentGroup().members.names(); }
  size_t CountMembersNamed(std::string_view name) override {
    return CurrentGroup().members.Count(name);
  }
  void Add(const std::string& member_path) override {
    RequireGroup();
    store_->AddMember(db_, entry_->name, member_path);
  }
  void Remove(const std::string& member_path) override {
    RequireGroup();
    store_->RemoveMember(db_, entry_->name, member_path);
  }

 private:
  bool IsGroup() const { return entry_->kind == AccountKind::kGroup; }
  void RequireGroup() {
    if (!IsGroup()) errors::kRtObjectDoesntSupport.Throw();
    if (is_new_) errors::kNerrGroupnotfound.Throw();
  }
  // The group as it is now, not as it was at bind: while the store has not changed since, the
  // entry already held; otherwise the entry read now, held until the next call.
  const AccountEntry& CurrentGroup() {
    RequireGroup();
    if (store_->Unchanged(version_)) return *entry_;
    uint64_t version;
    SnapshotPtr now = store_->Read(db_, &version);
    if (now == snapshot_) return *entry_;
    current_ = now->FindShared(entry_->name);
    if (current_ == nullptr || current_->kind != AccountKind::kGroup) {
      errors::kNerrGroupnotfound.Throw();
    }
    return *current_;
  }
  // entry_, owned: through the snapshot it belongs to, or on its own for a new account.
  AccountPtr Shared() const { return snapshot_ ? AccountPtr(snapshot_, entry_) : own_; }
  // After this object's own change: the entry as stored. An account deleted meanwhile keeps the
  // old entry, as a bound object outlives its account.
  void Reread() {
    uint64_t version;
    SnapshotPtr now = store_->Read(db_, &version);
    if (AccountPtr entry = now->FindShared(entry_->name); entry && entry->kind == entry_->kind) {
      snapshot_ = std::move(now);
      version_ = version;
      entry_ = entry.get();
    }
  }

  [[gnu::noinline]] void Reset(const SnapshotPtr& snapshot) {
    snapshot_ = snapshot;
    changes_ = {};
  }

  StorePtr store_;
  std::string db_;        // stored case
  SnapshotPtr snapshot_;  // the one entry_ belongs to; null for a new account
  uint64_t version_ = 0;
  const AccountEntry* entry_;  // kept alive by snapshot_, or by own_
  AccountPtr own_;
  bool is_new_ = false;
  AccountChanges changes_;  // Puts not yet stored
  AccountPtr current_;      // see CurrentGroup
};

class AccountEnumerator : public DirEnumerator {
 public:
  AccountEnumerator(StorePtr store, SnapshotPtr snapshot, uint64_t version, bool users, bool groups)
      : store_(std::move(store)), snapshot_(std::move(snapshot)), version_(version) {
    static const std::vector<uint32_t> kNone;
    if (!users || !groups) {
      of_kind_ = users    ? &snapshot_->accounts.PositionsOf(AccountKind::kUser)
                 : groups ? &snapshot_->accounts.PositionsOf(AccountKind::kGroup)
                          : &kNone;
    }
  }
  std::unique_ptr<DirObject> Next() override {
    const AccountEntry* e = Step();
    return e ? std::make_unique<AccountObject>(store_, snapshot_->name, snapshot_, version_, e)
             : nullptr;
  }
  DirObject* NextBorrowed() override {
    const AccountEntry* e = Step();
    if (e == nullptr) return nullptr;
    if (borrowed_) [[likely]] {
      borrowed_->MoveTo(snapshot_, version_, e);
    } else {
      Borrow(e);
    }
    return &*borrowed_;
  }
  // Straight through the snapshot while the store is as the enumeration read it, when each group
  // is the entry a bound object would count in; otherwise every group is asked as it now stands.
  // A count costs less than a look at the name, so the name is looked at only for a match.
  void CountMembersNamedEach(std::string_view member, MemberCountVisitor& visitor) override {
    if (!store_->Unchanged(version_)) return DirEnumerator::CountMembersNamedEach(member, visitor);
    const MemberList::Key key(member);
    const AccountList& accounts = snapshot_->accounts;
    // A user, which has no members, counts none: asked as a group, it fails and is passed by.
    const size_t size = Size();
    if (of_kind_ == &accounts.PositionsOf(AccountKind::kGroup)) {
      // Only the groups whose signature allows the name, 64 at a time, from where the walk is.
      uint64_t may = ~uint64_t{0} << (next_ % 64);
      for (size_t block = next_ / 64; block < accounts.GroupBlocks(); ++block, may = ~uint64_t{0}) {
        for (may &= accounts.GroupsThatMayHold(key, block); may != 0; may &= may - 1) {
          const size_t n = block * 64 + static_cast<size_t>(std::countr_zero(may));
          next_ = n + 1;
          const AccountEntry& e = accounts[(*of_kind_)[n]];
          const size_t count = e.members.Count(key);
          if (count > 0 && visitor.Asks(e.name)) visitor.Found(e.name, count);
        }
      }
      next_ = size;
      return;
    }
    for (size_t n = next_; n < size; ++n) {
      const size_t position = Position(n);
      if (!key.MayBeIn(accounts.MemberSignature(position))) continue;
      next_ = n + 1;
      const AccountEntry& e = accounts[position];
      const size_t count = e.members.Count(key);
      if (count > 0 && visitor.Asks(e.name)) visitor.Found(e.name, count);
    }
    next_ = size;
  }

 private:
  // Out of line: the walk's every other step only re-aims the object.
  [[gnu::noinline]] void Borrow(const AccountEntry* e) {
    borrowed_.emplace(store_, snapshot_->name, snapshot_, version_, e);
  }
  // The next account of the kinds asked for; nullptr after the last.
  const AccountEntry* Step() {
    return next_ < Size() ? &snapshot_->accounts[Position(next_++)] : nullptr;
  }
  // How many accounts the walk yields, and where the n-th of them is in the snapshot.
  size_t Size() const { return of_kind_ ? of_kind_->size() : snapshot_->accounts.size(); }
  size_t Position(size_t n) const { return of_kind_ ? (*of_kind_)[n] : n; }

  StorePtr store_;
  SnapshotPtr snapshot_;
  uint64_t version_;
  // Positions of the one kind asked for, nullptr when every account is: an overview walks the
  // groups once per user, and stepping over the users made that walk as long as the database.
  const std::vector<uint32_t>* of_kind_ = nullptr;
  size_t next_ = 0;
  std::optional<AccountObject> borrowed_;
};

// An account database: the computer (or domain) whose users and groups it holds.
class DatabaseObject : public DirObject {
 public:
  // `snapshot`: the database as read at `version` of the store's cache.
  DatabaseObject(StorePtr store, SnapshotPtr snapshot, uint64_t version)
      : store_(std::move(store)),
        name_(snapshot->name),
        snapshot_(std::move(snapshot)),
        version_(version) {}
  std::string Name() override { return name_; }
  std::string ADsPath() override { return "WinNT://" + name_; }
  std::string Class() override { return "Computer"; }
  Variant Get(const std::string& property) override {
    if (PropertyIs(property, "Name")) return Variant(name_);
    errors::kEAdsPropertyNotFound.Throw();
  }
  void Put(const std::string&, const Variant&) override {
    errors::kEAdsPropertyNotSupported.Throw();
  }
  void SetInfo() override {}
  bool Supports(DirKind kind) const override { return kind == DirKind::kContainer; }

  void SetFilter(const std::vector<std::string>& classes) override {
    users_ = groups_ = classes.empty();
    for (const std::string& c : classes) {
      users_ = users_ || SameFolded(c, "user");
      groups_ = groups_ || SameFolded(c, "group");
    }
  }
  // While the store is unchanged since the snapshot held was read, it is what a read would give:
  // the overview binds the database and walks it once per user.
  std::unique_ptr<DirEnumerator> Enumerate() override {
    if (!store_->Unchanged(version_)) snapshot_ = store_->Read(name_, &version_);
    return std::make_unique<AccountEnumerator>(store_, snapshot_, version_, users_, groups_);
  }
  std::unique_ptr<DirObject> Create(const std::string& cls, const std::string& name) override {
    return std::make_unique<AccountObject>(store_, name_, KindOf(cls), name);
  }
  void Delete(const std::string& cls, const std::string& name) override {
    store_->DeleteAccount(name_, KindOf(cls), name);
  }

 private:
  static AccountKind KindOf(const std::string& cls) {
    std::string folded = FoldName(cls);
    if (folded == "group") return AccountKind::kGroup;
    if (folded == "user") return AccountKind::kUser;
    errors::kEAdsUnknownObject.Throw();
  }

  StorePtr store_;
  std::string name_;  // stored case
  SnapshotPtr snapshot_;
  uint64_t version_;
  bool users_ = true, groups_ = true;
};

// "WinNT:": binds with explicit credentials.
class NamespaceObject : public DirObject {
 public:
  explicit NamespaceObject(StorePtr store) : store_(std::move(store)) {}
  std::string Name() override { return "WinNT:"; }
  std::string ADsPath() override { return "WinNT:"; }
  std::string Class() override { return "Namespace"; }
  Variant Get(const std::string&) override { errors::kEAdsPropertyNotFound.Throw(); }
  void Put(const std::string&, const Variant&) override {
    errors::kEAdsPropertyNotSupported.Throw();
  }
  void SetInfo() override {}
  bool Supports(DirKind) const override { return false; }

  std::unique_ptr<DirObject> OpenDSObject(const std::string& path, const std::string& user,
                                          const std::string& password, int32_t) override {
    WinNtPath parsed = ParseWinNtPath(path);
    if (parsed.kind == WinNtPath::Kind::kNamespace) errors::kEAdsBadPathname.Throw();
    // "DB\account" or a bare account, both of the database bound. The first backslash splits;
    // an account part that holds another one names no account and fails like any other.
    std::string account = user;
    bool same_database = true;
    if (size_t slash = user.find('\\'); slash != std::string::npos) {
      account = user.substr(slash + 1);
      same_database = FoldName(user.substr(0, slash)) == FoldName(parsed.database);
    }
    bool accepted = store_->CheckPassword(parsed.database, same_database ? account : "", password);
    if (!accepted || !same_database) errors::kErrorLogonFailure.Throw();
    return BindWinNt(store_, path);
  }

 private:
  StorePtr store_;
};

}  // namespace

std::unique_ptr<DirObject> BindWinNt(const StorePtr& store, const std::string& path) {
  WinNtPath parsed = ParseWinNtPath(path);
  if (parsed.kind == WinNtPath::Kind::kNamespace) return std::make_unique<NamespaceObject>(store);
  uint64_t version;
  SnapshotPtr snapshot = store->Read(parsed.database, &version);
  if (parsed.kind == WinNtPath::Kind::kDatabase) {
    return std::make_unique<DatabaseObject>(store, std::move(snapshot), version);
  }
  AccountPtr entry = snapshot->FindShared(parsed.account);
  bool want_user = parsed.want == WinNtPath::Want::kUser;
  if (entry == nullptr || (parsed.want != WinNtPath::Want::kAny &&
                           entry->kind != (want_user ? AccountKind::kUser : AccountKind::kGroup))) {
    (want_user ? errors::kNerrUsernotfound : errors::kNerrGroupnotfound).Throw();
  }
  return std::make_unique<AccountObject>(store, snapshot->name, snapshot, version, entry.get());
}

}  // namespace brindlecore::platform::winnt
