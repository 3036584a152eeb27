#include "platform/directory/winnt/account_snapshot.h"

namespace brindlecore::platform::winnt {

std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

const AccountEntry* DatabaseSnapshot::Find(std::string_view name) const {
  return FindShared(name).get();
}

AccountPtr DatabaseSnapshot::FindShared(std::string_view name) const {
  if (!by_folded_name) return nullptr;
  auto it = by_folded_name->find(FoldName(name));
  return it == by_folded_name->end() ? nullptr : accounts.Shared(it->second);
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
  auto it = snapshots_.find(FoldName(db));
  return it == snapshots_.end() ? nullptr : it->second;
}

void SnapshotCache::Put(const std::string& db, SnapshotPtr snapshot) {
  snapshots_.emplace(FoldName(db), std::move(snapshot));
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
  auto it = snapshots_.find(FoldName(snapshot->name));
  if (it == snapshots_.end() || it->second != snapshot) return;
  try {
    auto next = std::make_shared<DatabaseSnapshot>(*snapshot);
    auto found = snapshot->by_folded_name->find(FoldName(changed->name));
    if (found != snapshot->by_folded_name->end()) {
      next->accounts.Set(found->second, std::move(changed));
    } else {
      auto by_name =
          std::make_shared<std::unordered_map<std::string, size_t>>(*snapshot->by_folded_name);
      by_name->emplace(FoldName(changed->name), next->accounts.size());
      next->accounts.Append(std::move(changed));
      next->by_folded_name = std::move(by_name);
    }
    it->second = std::move(next);
    Moved();
  } catch (...) {
    Clear();
  }
}

}  // namespace brindlecore::platform::winnt
