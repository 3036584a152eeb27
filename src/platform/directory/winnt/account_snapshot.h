// What the account store hands to readers: immutable snapshots of one account database, and the
// cache that keeps them between reads.
//
// A snapshot is one account database as it was when read. It never changes, so it is shared
// freely and holds no transaction open: a caller may write while it walks one. The cache keeps
// one snapshot per database; another connection's commit discards them all (the store asks
// PRAGMA data_version at every read outside a host call, and once per call inside one), while
// this connection's own changes replace the cached snapshot by a copy with the changed entry, so
// a write costs no reload.
#ifndef BRINDLECORE_PLATFORM_DIRECTORY_WINNT_ACCOUNT_SNAPSHOT_H_
#define BRINDLECORE_PLATFORM_DIRECTORY_WINNT_ACCOUNT_SNAPSHOT_H_

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brindlecore::platform::winnt {

enum class AccountKind { kUser = 1, kGroup = 2 };

// Group type of a local group, as a new group created through the provider is given.
inline constexpr int32_t kLocalGroupType = 4;

// ASCII lower case: the store's notion of "the same name".
inline char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
std::string FoldName(std::string_view name);
// Whether FoldName(a) == FoldName(b), without making either. Compared from the end: the paths of
// one group's members differ in their account part.
bool SameFolded(std::string_view a, std::string_view b);
// FoldName(a) < FoldName(b), without making either.
struct FoldedLess {
  bool operator()(std::string_view a, std::string_view b) const {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      if (a[i] == b[i]) continue;
      const auto x = static_cast<unsigned char>(Fold(a[i]));
      const auto y = static_cast<unsigned char>(Fold(b[i]));
      if (x != y) return x < y;
    }
    return a.size() < b.size();
  }
};

struct MemberEntry {
  int64_t id = 0;    // the membership's own row
  std::string name;  // the account part
  // The path as given, for an account of another database; empty for one of the group's own
  // database, whose path is made from the names when asked for: the overview loads thousands of
  // members and never asks.
  std::string given_path;
  std::optional<AccountKind> kind;  // unknown for accounts of a database not kept here

  // "WinNT://DB/account": as given, or for an account of the group's own database `db` (its
  // stored name), from the stored names.
  std::string Path(std::string_view db) const;
  // Whether Path(db) is `path`, letter case aside.
  bool PathIs(std::string_view db, std::string_view path) const;
};

// A group's members in the order added, with their names also kept side by side: a walk that
// reads only names then reads them in one run without a copy. A signature of the names (two bits
// of 64 for each) lets most groups tell at once that they do not hold a name, and a hash kept
// beside each name spares most compares in the rest: the overview asks every group about every
// user. Entries are shared between copies: every membership change copies the group's list, and
// an import makes thousands of them.
class MemberList {
 public:
  // A name to count, hashed once for a walk that asks many groups.
  class Key {
   public:
    explicit Key(std::string_view name) : name_(name), hash_(Hash(name)) {}
    // False when a list of this signature surely holds no member of the name.
    bool MayBeIn(uint64_t signature) const { return (signature & Bits(hash_)) == Bits(hash_); }
    // The signature bits a list holding the name has set.
    uint64_t bits() const { return Bits(hash_); }
    uint64_t hash() const { return hash_; }

   private:
    friend class MemberList;
    std::string_view name_;
    uint64_t hash_;
  };

  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = MemberEntry;
    using difference_type = std::ptrdiff_t;
    using pointer = const MemberEntry*;
    using reference = const MemberEntry&;
    const_iterator() = default;
    explicit const_iterator(std::vector<std::shared_ptr<const MemberEntry>>::const_iterator it)
        : it_(it) {}
    const MemberEntry& operator*() const { return **it_; }
    const MemberEntry* operator->() const { return it_->get(); }
    const_iterator& operator++() {
      ++it_;
      return *this;
    }
    const_iterator operator++(int) { return const_iterator(it_++); }
    bool operator==(const const_iterator&) const = default;

   private:
    std::vector<std::shared_ptr<const MemberEntry>>::const_iterator it_;
  };
  const_iterator begin() const { return const_iterator(entries_.begin()); }
  const_iterator end() const { return const_iterator(entries_.end()); }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const MemberEntry& operator[](size_t i) const { return *entries_[i]; }
  const std::vector<std::string>& names() const { return names_; }
  // Key(names()[i]).hash().
  const std::vector<uint64_t>& hashes() const { return hashes_; }
  uint64_t signature() const { return signature_; }
  // Members named exactly `name`.
  size_t Count(std::string_view name) const { return Count(Key(name)); }
  size_t Count(const Key& key) const {
    if (!key.MayBeIn(signature_)) return 0;
    size_t count = 0;
    for (size_t i = 0; i < hashes_.size(); ++i) {
      count += hashes_[i] == key.hash_ && names_[i] == key.name_;
    }
    return count;
  }

  void push_back(MemberEntry member) {
    const uint64_t hash = Hash(member.name);
    signature_ |= Bits(hash);
    hashes_.push_back(hash);
    names_.push_back(member.name);
    entries_.push_back(std::make_shared<const MemberEntry>(std::move(member)));
  }
  // push_back of each of `members` in turn, the entries held in one block: a load fills every
  // list at once, and an allocation per member cost it more than reading its row.
  void Append(std::vector<MemberEntry> members) {
    auto block = std::make_shared<const std::vector<MemberEntry>>(std::move(members));
    entries_.reserve(entries_.size() + block->size());
    names_.reserve(names_.size() + block->size());
    hashes_.reserve(hashes_.size() + block->size());
    for (const MemberEntry& member : *block) {
      const uint64_t hash = Hash(member.name);
      signature_ |= Bits(hash);
      hashes_.push_back(hash);
      names_.push_back(member.name);
      entries_.emplace_back(block, &member);
    }
  }
  // Removes the members `remove` picks; returns how many.
  template <typename Pred>
  size_t erase_if(Pred remove) {
    size_t kept = 0;
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (remove(std::as_const(*entries_[i]))) continue;
      if (kept != i) {
        entries_[kept] = std::move(entries_[i]);
        names_[kept] = std::move(names_[i]);
        hashes_[kept] = hashes_[i];
      }
      ++kept;
    }
    const size_t removed = entries_.size() - kept;
    entries_.resize(kept);
    names_.resize(kept);
    hashes_.resize(kept);
    signature_ = 0;
    for (uint64_t hash : hashes_) signature_ |= Bits(hash);
    return removed;
  }

 private:
  // From the length and the first and last bytes only (up to eight each): names longer than 16
  // that differ only in their middle share a hash, which costs a compare, never a wrong answer.
  static uint64_t Hash(std::string_view name) {
    const size_t size = name.size();
    const char* p = name.data();
    uint64_t head = 0, tail = 0;
    if (size >= 8) {
      std::memcpy(&head, p, 8);
      std::memcpy(&tail, p + size - 8, 8);
    } else if (size >= 4) {
      uint32_t h, t;
      std::memcpy(&h, p, 4);
      std::memcpy(&t, p + size - 4, 4);
      head = h;
      tail = t;
    } else if (size > 0) {
      head = static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[size / 2]) << 8 |
             static_cast<unsigned char>(p[size - 1]) << 16;
    }
    const uint64_t hash = (head * 0x9E3779B97F4A7C15ull) ^ (tail * 0xC2B2AE3D27D4EB4Full) ^ size;
    return hash * 0x165667B19E3779F9ull;
  }
  // Two bits of the signature for each name: a group of ten members then sets about a quarter of
  // them, and only about one name in fourteen that it does not hold passes.
  static uint64_t Bits(uint64_t hash) {
    return uint64_t{1} << (hash >> 58) | uint64_t{1} << ((hash >> 52) & 63);
  }

  std::vector<std::shared_ptr<const MemberEntry>> entries_;
  std::vector<std::string> names_;  // entries_[i]->name
  std::vector<uint64_t> hashes_;    // Hash of names_[i]
  uint64_t signature_ = 0;          // Bits of every hash
};

struct AccountEntry {
  int64_t id = 0;
  AccountKind kind = AccountKind::kUser;
  std::string name;
  std::string full_name;  // users
  std::string description;
  int32_t group_type = 0;  // groups
  bool has_password = false;
  MemberList members;  // groups
};

using AccountPtr = std::shared_ptr<const AccountEntry>;

// The accounts of a snapshot in creation order. Entries are shared between successive snapshots
// of one database, and so are the runs of 64 pointers to them, so a change copies the one entry
// it touched and the run that holds it, whatever the size of the database.
class AccountList {
 public:
  class Iterator {
   public:
    Iterator(const AccountList* list, size_t i) : list_(list), i_(i) {}
    const AccountEntry& operator*() const { return (*list_)[i_]; }
    const AccountEntry* operator->() const { return &(*list_)[i_]; }
    Iterator& operator++() {
      ++i_;
      return *this;
    }
    bool operator==(const Iterator&) const = default;

   private:
    const AccountList* list_;
    size_t i_;
  };
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, size_); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const AccountEntry& operator[](size_t i) const { return *Shared(i); }
  const AccountPtr& Shared(size_t i) const { return (*runs_[i / kRun])[i % kRun]; }
  // Positions of the accounts of one kind, in creation order: a walk of the groups alone need
  // not step over every user.
  const std::vector<uint32_t>& PositionsOf(AccountKind kind) const {
    return kind == AccountKind::kGroup ? groups_ : users_;
  }
  // The signature of the members of the account at `i` (MemberList::signature): a walk asking
  // every group about one name passes most of them without a look at their entries.
  uint64_t MemberSignature(size_t i) const { return member_signatures_[i]; }
  // `entry` replaces the account at `i`, which has the same kind (an account keeps its kind).
  void Set(size_t i, AccountPtr entry) {
    member_signatures_[i] = entry->members.signature();
    if (entry->kind == AccountKind::kGroup) {
      const auto g = std::lower_bound(groups_.begin(), groups_.end(), i) - groups_.begin();
      Index(static_cast<size_t>(g), entry->members);
    }
    Own(i / kRun)[i % kRun] = std::move(entry);
  }
  void Append(AccountPtr entry) {
    const uint64_t signature = entry->members.signature();
    if (entry->kind == AccountKind::kGroup) {
      if (groups_.size() % 64 == 0) group_bits_.resize(group_bits_.size() + kFilterBits);
      Index(groups_.size(), entry->members);
    }
    (entry->kind == AccountKind::kGroup ? groups_ : users_).push_back(static_cast<uint32_t>(size_));
    member_signatures_.push_back(signature);
    if (size_ % kRun == 0) {
      runs_.push_back(std::make_shared<Run>());
      runs_.back()->reserve(kRun);
    }
    Own(size_ / kRun).push_back(std::move(entry));
    ++size_;
  }

  // Which groups of the 64 from PositionsOf(kGroup)[64 * block] on may hold a member named as
  // `key`, bit j for the j-th of them: the overview asks every group about every user, and this
  // passes 64 groups at a time where a look at each signature took one. A filter of its own, two
  // bits of 256 per name, wider than a list's signature: through the signature's 64, about one
  // group in fourteen let a name it does not hold pass, and each cost a look at its members.
  size_t GroupBlocks() const { return group_bits_.size() / kFilterBits; }
  uint64_t GroupsThatMayHold(const MemberList::Key& key, size_t block) const {
    const uint64_t* bits = &group_bits_[block * kFilterBits];
    return bits[key.hash() >> 56] & bits[key.hash() >> 48 & 0xff];
  }

 private:
  static constexpr size_t kFilterBits = 256;
  // Files the g-th group under the filter bits of each of `members`, and under no other.
  void Index(size_t g, const MemberList& members) {
    uint64_t* bits = &group_bits_[g / 64 * kFilterBits];
    const uint64_t self = uint64_t{1} << (g % 64);
    for (size_t b = 0; b < kFilterBits; ++b) bits[b] &= ~self;
    for (uint64_t hash : members.hashes()) {
      bits[hash >> 56] |= self;
      bits[hash >> 48 & 0xff] |= self;
    }
  }

  static constexpr size_t kRun = 64;
  using Run = std::vector<AccountPtr>;
  // Run `r`, for a change: a copy of it first when another list shares it. A list is changed only
  // before its snapshot is handed out, so a run no other list holds is this list's alone.
  Run& Own(size_t r) {
    if (runs_[r].use_count() != 1) runs_[r] = std::make_shared<Run>(*runs_[r]);
    return *runs_[r];
  }

  std::vector<std::shared_ptr<Run>> runs_;  // account i is (*runs_[i / kRun])[i % kRun]
  size_t size_ = 0;
  std::vector<uint64_t> member_signatures_;  // of account i
  std::vector<uint32_t> users_, groups_;
  // For each 64 groups, for each filter bit, which of them have it set.
  std::vector<uint64_t> group_bits_;
};

// Positions in an AccountList by name, letter case aside: a table of positions probed by a hash
// of the folded name, the names themselves compared where the list keeps them. A map of folded
// names cost every load a node and a string per account, and the process as many frees.
class NameIndex {
 public:
  static constexpr size_t kNone = ~size_t{0};
  // Every account of `accounts`, whose names differ when folded.
  explicit NameIndex(const AccountList& accounts);
  // The position of the account named `name` in `accounts`, the list indexed; kNone if none.
  size_t Find(const AccountList& accounts, std::string_view name) const;
  // Indexes accounts[i], named as no account indexed so far.
  void Add(const AccountList& accounts, size_t i);

 private:
  static uint64_t Hash(std::string_view name);
  void Insert(const AccountList& accounts, size_t i);

  std::vector<uint32_t> slots_;  // position + 1, 0 when free; at most half of them taken
  size_t count_ = 0;
};

// One account database as it was when read. Never changes; share freely.
struct DatabaseSnapshot {
  int64_t id = 0;
  std::string name;
  AccountList accounts;  // creation order
  // nullptr when there is no account of that name (any letter case).
  const AccountEntry* Find(std::string_view name) const;
  AccountPtr FindShared(std::string_view name) const;
  // Of `accounts`; shared by snapshots that differ in no name.
  std::shared_ptr<const NameIndex> by_name;
};

using SnapshotPtr = std::shared_ptr<const DatabaseSnapshot>;

// The snapshots of one store's connection, by database, and how far readers may trust them. Not
// locked itself: the store calls it under its own lock, except Unchanged, which any thread may
// call at any time.
class SnapshotCache {
 public:
  // --- host calls (Platform::BeginCall): between the two, the first read looks for other
  // connections' commits and later reads trust the cache. Calls may overlap; each new one looks
  // again.
  void BeginCall();
  void EndCall();
  // Whether the next read must ask the file for other connections' commits: outside a call
  // always, inside one only until it has looked.
  bool MustLook() const { return open_calls_ == 0 || !looked_in_call_; }
  // After that look: `data_version` is what the connection now reports; a change drops every
  // snapshot.
  void Looked(int64_t data_version);
  // Whether `data_version`, asked now, is the one the cache last looked at: no other connection
  // has committed since, so the cache, with this connection's own changes patched in, holds the
  // file as it is.
  bool Seen(int64_t data_version) const { return data_version == data_version_; }

  // The version of the cache a read now gets, for Unchanged.
  uint64_t version() const { return version_.load(std::memory_order_relaxed); }
  // Whether a read now would give exactly what the read at `version` gave, told without a lock:
  // only inside a call that has looked, and while nothing has changed the cache since. False
  // means "ask the store", not "changed".
  bool Unchanged(uint64_t version) const;

  // The cached snapshot of database `db` (any letter case); nullptr when there is none.
  SnapshotPtr Find(const std::string& db) const;
  void Put(const std::string& db, SnapshotPtr snapshot);
  // Drops every snapshot.
  void Clear();
  // After this connection's own commit to the database of `snapshot` (what Find gave inside the
  // transaction, or nullptr): `changed` (the entry as it now stands) put in place of the entry
  // of the same name, or appended. Without `changed` the snapshot, which lacks the change, is
  // dropped: a cache without a committed change would hide it from this connection for good,
  // data_version never reporting its own writes.
  void Patch(const SnapshotPtr& snapshot, AccountPtr changed);

 private:
  void Moved() { version_.fetch_add(1, std::memory_order_release); }

  // By name, letter case aside: a folded copy of the name for each look-up cost more than the
  // look-up, and the overview looks twice per user.
  std::map<std::string, SnapshotPtr, FoldedLess> snapshots_;
  int64_t data_version_ = -1;
  int open_calls_ = 0;
  bool looked_in_call_ = false;  // data_version_ was asked since the latest BeginCall
  // Read without the store's lock by Unchanged: whether reads trust the cache (inside a call
  // that has looked), and a counter moved by every change to the cache or to that trust.
  std::atomic<bool> trusted_{false};
  std::atomic<uint64_t> version_{1};  // 0 is no version: never Unchanged
};

}  // namespace brindlecore::platform::winnt

#endif  // BRINDLECORE_PLATFORM_DIRECTORY_WINNT_ACCOUNT_SNAPSHOT_H_
