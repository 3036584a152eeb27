#include "platform/directory/winnt/account_snapshot.h"

namespace brindlecore::platform::winnt {

std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = Fold(c);
  return folded;
}

bool SameFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = a.size(); i-- > 0;) {
    if (a[i] != b[i] && Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

namespace {

constexpr std::string_view kPathPrefix = "WinNT://";

}  // namespace

std::string MemberEntry::Path(std::string_view db) const {
  if (!given_path.empty()) return given_path;
  std::string path;
  path.reserve(kPathPrefix.size() + db.size() + 1 + name.size());
  path.append(kPathPrefix).append(db).append(1, '/').append(name);
  return path;
}

bool MemberEntry::PathIs(std::string_view db, std::string_view path) const {
  if (!given_path.empty()) return SameFolded(given_path, path);
  if (path.size() != kPathPrefix.size() + db.size() + 1 + name.size()) return false;
  const std::string_view rest = path.substr(kPathPrefix.size());
  return SameFolded(path.substr(0, kPathPrefix.size()), kPathPrefix) &&
         SameFolded(rest.substr(0, db.size()), db) && rest[db.size()] == '/' &&
         SameFolded(rest.substr(db.size() + 1), name);
}

NameIndex::NameIndex(const AccountList& accounts) {
  slots_.resize(std::bit_ceil(std::max<size_t>(16, accounts.size() * 2)));
  for (size_t i = 0; i < accounts.size(); ++i) Insert(accounts, i);
}

uint64_t NameIndex::Hash(std::string_view name) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (char c : name) hash = (hash ^ static_cast<unsigned char>(Fold(c))) * 0x100000001b3ull;
  return hash ^ hash >> 29;
}

size_t NameIndex::Find(const AccountList& accounts, std::string_view name) const {
  const size_t mask = slots_.size() - 1;
  for (size_t s = Hash(name) & mask;; s = (s + 1) & mask) {
    if (slots_[s] == 0) return kNone;
    const size_t i = slots_[s] - 1;
    if (SameFolded(accounts[i].name, name)) return i;
  }
}

void NameIndex::Add(const AccountList& accounts, size_t i) {
  if ((count_ + 1) * 2 > slots_.size()) {
    std::vector<uint32_t> old = std::exchange(slots_, std::vector<uint32_t>(slots_.size() * 2));
    count_ = 0;
    for (uint32_t slot : old) {
      if (slot != 0) Insert(accounts, slot - 1);
    }
  }
  Insert(accounts, i);
}

void NameIndex::Insert(const AccountList& accounts, size_t i) {
  const size_t mask = slots_.size() - 1;
  size_t s = Hash(accounts[i].name) & mask;
  while (slots_[s] != 0) s = (s + 1) & mask;
  slots_[s] = static_cast<uint32_t>(i + 1);
  ++count_;
}

const AccountEntry* DatabaseSnapshot::Find(std::string_view name) const {
  return FindShared(name).get();
}

AccountPtr DatabaseSnapshot::FindShared(std::string_view name) const {
  const size_t i = by_name ? by_name->Find(accounts, name) : NameIndex::kNone;
  return i == NameIndex::kNone ? nullptr : accounts.Shared(i);
}

void SnapshotCache::BeginCall() {
  ++open_calls_;
  looked_in_call_ = false;
  trusted_.store(false, std::memory_order_release);
  Moved();
}

void SnapshotCache::EndCall() {
  --open_calls_;
  trusted_.store(open_calls_ > 0 && looked_in_call_, std::memory_order_release);
  Moved();
}

void SnapshotCache::Looked(int64_t data_version) {
  if (data_version != data_version_) {
    Clear();
    data_version_ = data_version;
  }
  looked_in_call_ = open_calls_ > 0;
  trusted_.store(looked_in_call_, std::memory_order_release);
}

bool SnapshotCache::Unchanged(uint64_t version) const {
  return trusted_.load(std::memory_order_acquire) &&
         version_.load(std::memory_order_acquire) == version;
}

SnapshotPtr SnapshotCache::Find(const std::string& db) const {
  auto it = snapshots_.find(db);
  return it == snapshots_.end() ? nullptr : it->second;
}

void SnapshotCache::Put(const std::string& db, SnapshotPtr snapshot) {
  snapshots_.emplace(db, std::move(snapshot));
}

void SnapshotCache::Clear() {
  snapshots_.clear();
  Moved();
}

void SnapshotCache::Patch(const SnapshotPtr& snapshot, AccountPtr changed) {
  if (!snapshot) return;
  if (!changed) {
    Clear();
    return;
  }
  auto it = snapshots_.find(snapshot->name);
  if (it == snapshots_.end() || it->second != snapshot) return;
  try {
    auto next = std::make_shared<DatabaseSnapshot>(*snapshot);
    const size_t found = snapshot->by_name->Find(snapshot->accounts, changed->name);
    if (found != NameIndex::kNone) {
      next->accounts.Set(found, std::move(changed));
    } else {
      auto by_name = std::make_shared<NameIndex>(*snapshot->by_name);
      next->accounts.Append(std::move(changed));
      by_name->Add(next->accounts, next->accounts.size() - 1);
      next->by_name = std::move(by_name);
    }
    it->second = std::move(next);
    Moved();
  } catch (...) {
    Clear();
  }
}

}  // namespace brindlecore::platform::winnt
