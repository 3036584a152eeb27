// The web server's metabase: a tree of keys under the machine ("LocalHost"), each with a class
// and typed properties (text, Boolean, integer, list of texts), kept in root/metabase.db.
//
// Keys are found case-insensitively ("ROOT" and "Root" are one key) and keep the case they were
// created in; children come back in creation order. Every change is one SQLite transaction, so a
// failed step leaves the file as it was. One store is one connection guarded by a mutex: objects
// bound on several threads may share it. Every failure is an AutomationError of the catalogue:
// ERROR_PATH_NOT_FOUND for a key that is not (or no longer) there, ERROR_ALREADY_EXISTS for a key
// created twice, E_ADS_PROPERTY_NOT_FOUND for a property a key does not have.
#ifndef BRINDLECORE_PLATFORM_DIRECTORY_IIS_METABASE_STORE_H_
#define BRINDLECORE_PLATFORM_DIRECTORY_IIS_METABASE_STORE_H_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "brindlecore/variant.h"
#include "platform/sqlite/sqlite.h"

namespace brindlecore::platform::iis {

// One key as stored. `path` is its full directory path ("IIS://LocalHost/W3SVC/1/ROOT"), spelt
// with the stored names; `metabase_path` the web server's own spelling ("/LM/W3SVC/1/ROOT").
struct MetabaseKey {
  int64_t id = 0;
  std::string name;
  std::string cls;
  std::string path;
  std::string metabase_path;
};

using MetabaseProperties = std::vector<std::pair<std::string, Variant>>;

// A key with its properties and children, as one change leaves them.
struct MetabaseNode {
  MetabaseKey key;
  MetabaseProperties properties;
  std::vector<MetabaseNode> children;
};

// Sees the whole tree as a change would leave it, before that change is committed. Throwing an
// AutomationError refuses the change: it is rolled back and the error is the change's failure.
using MetabaseCommitHook = std::function<void(const MetabaseNode& machine)>;

class MetabaseStore {
 public:
  // Opens root/metabase.db, creating it (mode 0600) only when `create`. ERROR_PATH_NOT_FOUND when
  // it is missing and not to be created.
  static std::shared_ptr<MetabaseStore> Open(const std::filesystem::path& root, bool create);

  // The machine key, parent of the web service.
  MetabaseKey Machine();
  // The key reached from the machine through `elements` ({"W3SVC", "1", "ROOT"}); nullopt when
  // any element is missing.
  std::optional<MetabaseKey> Find(const std::vector<std::string>& elements);
  // The children of a key in creation order.
  std::vector<MetabaseKey> Children(int64_t id);
  // Stores a new child key at once. ERROR_ALREADY_EXISTS when a child of that name (in any case)
  // exists; ERROR_INVALID_NAME for an empty name or one holding "/".
  MetabaseKey CreateChild(int64_t parent, const std::string& cls, const std::string& name);
  // Removes a child of that class and name with everything below it. ERROR_PATH_NOT_FOUND when
  // there is none.
  void DeleteChild(int64_t parent, const std::string& cls, const std::string& name);

  // One property; nullopt when the key does not have it.
  std::optional<Variant> Property(int64_t id, const std::string& name);
  // All properties of a key in the order they were first stored.
  MetabaseProperties Properties(int64_t id);
  // Stores every change in one transaction; an Empty value removes the property. Values are
  // Booleans, 32-bit integers, texts or arrays of texts (see NormalizeMetabaseValue).
  void SetProperties(int64_t id, const MetabaseProperties& changes);

  // The whole tree from the machine key down, as committed.
  MetabaseNode Snapshot();
  // Runs `hook` inside every later change's transaction (CreateChild, DeleteChild,
  // SetProperties). Should the commit itself fail after the hook accepted, the hook is run
  // again with the tree as it stayed, so what it drives follows the store.
  void SetCommitHook(MetabaseCommitHook hook);

 private:
  explicit MetabaseStore(sqlite::Database db) : db_(std::move(db)) {}
  MetabaseKey Load(int64_t id);  // ERROR_PATH_NOT_FOUND when gone; caller holds the lock
  void RequireKey(int64_t id);
  MetabaseNode SnapshotLocked(const MetabaseKey& key);
  void Commit(sqlite::Transaction& tx);  // runs the hook first; caller holds the lock

  std::mutex mutex_;
  sqlite::Database db_;
  MetabaseCommitHook hook_;
};

// The value as the metabase keeps it: Booleans stay, whole numbers become 32-bit integers, texts
// stay, arrays become arrays of their elements' texts, Empty means "remove". Throws
// E_ADS_PROPERTY_INVALID for Null, a fraction or a number out of range.
Variant NormalizeMetabaseValue(const Variant& value);

// Makes the web service "IIS://LocalHost/W3SVC" (class IIsWebService) with its children "Info"
// (IIsWebInfo) and "Filters" (IIsFilters) in root/metabase.db, creating the file when missing.
// Idempotent: what exists is left as it is.
void InitializeWebService(const std::filesystem::path& root);

}  // namespace brindlecore::platform::iis

#endif  // BRINDLECORE_PLATFORM_DIRECTORY_IIS_METABASE_STORE_H_
