#include "platform/directory/iis/metabase_store.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/automation/errors.h"

namespace brindlecore::platform::iis {
namespace {

constexpr int64_t kMachineId = 1;

// NOCASE folds ASCII letters only, which is what metabase key and property names use.
constexpr std::string_view kSchemaV1 = R"sql(
CREATE TABLE keys (
  id INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE,
  class TEXT NOT NULL,
  UNIQUE (parent, name)
);
CREATE TABLE properties (
  key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE,
  type INTEGER NOT NULL,
  value,
  PRIMARY KEY (key, name)
);
INSERT INTO keys (id, parent, name, class) VALUES (1, NULL, 'LocalHost', 'IIsComputer');
)sql";

constexpr std::string_view kMigrations[] = {kSchemaV1};

enum PropertyType : int { kText = 1, kBoolean = 2, kInteger = 3, kList = 4 };

// Lists are one column: each item as its byte length, ":", its bytes. Unambiguous for any text.
std::string EncodeList(const Variant::Array& items) {
  std::string out;
  for (const auto& item : items) {
    out += std::to_string(item.str().size()) + ":" + item.str();
  }
  return out;
}

Variant DecodeList(const std::string& text) {
  std::vector<std::string> items;
  size_t pos = 0;
  while (pos < text.size()) {
    // The file may have been edited by hand: a length that is no plain number, or that runs past
    // the value, is a damaged value like any other, not an exception of another kind.
    const size_t colon = text.find(':', pos);
    if (colon == std::string::npos) errors::kEFail.Throw();
    size_t length = 0;
    const auto [end, error] = std::from_chars(text.data() + pos, text.data() + colon, length);
    if (error != std::errc() || end != text.data() + colon || length > text.size() - colon - 1) {
      errors::kEFail.Throw();
    }
    items.push_back(text.substr(colon + 1, length));
    pos = colon + 1 + length;
  }
  return Variant::Strings(items);
}

Variant ReadValue(const sqlite::Statement& row, int type_column) {
  switch (row.Int(type_column)) {
    case kBoolean:
      return Variant(row.Int(type_column + 1) != 0);
    case kInteger:
      return Variant(static_cast<int32_t>(row.Int(type_column + 1)));
    case kList:
      return DecodeList(row.Text(type_column + 1));
    default:
      return Variant(row.Text(type_column + 1));
  }
}

void BindValue(sqlite::Statement& statement, int type_index, const Variant& value) {
  if (value.IsBoolean()) {
    statement.Bind(type_index, kBoolean).Bind(type_index + 1, value.boolean() ? 1 : 0);
  } else if (value.IsArray()) {
    statement.Bind(type_index, kList).Bind(type_index + 1, EncodeList(value.array()));
  } else if (value.IsString()) {
    statement.Bind(type_index, kText).Bind(type_index + 1, value.str());
  } else {
    statement.Bind(type_index, kInteger).Bind(type_index + 1, static_cast<int64_t>(value.number()));
  }
}

}  // namespace

Variant NormalizeMetabaseValue(const Variant& value) {
  switch (value.type()) {
    case VarType::kEmpty:
    case VarType::kBoolean:
    case VarType::kString:
      return value;
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kDouble: {
      double n = value.number();
      if (n != std::floor(n) || n < std::numeric_limits<int32_t>::min() ||
          n > std::numeric_limits<int32_t>::max()) {
        errors::kEAdsPropertyInvalid.Throw();
      }
      return Variant(static_cast<int32_t>(n));
    }
    case VarType::kArray: {
      Variant::Array items;
      for (const auto& item : value.array()) {
        if (item.IsNull() || item.IsArray()) errors::kEAdsPropertyInvalid.Throw();
        items.push_back(Variant(ToText(item)));
      }
      return Variant(std::move(items));
    }
    case VarType::kNull:
      break;
  }
  errors::kEAdsPropertyInvalid.Throw();
}

std::shared_ptr<MetabaseStore> MetabaseStore::Open(const std::filesystem::path& root, bool create) {
  auto db = sqlite::Database::Open(root / "metabase.db", create, kMigrations);
  return std::shared_ptr<MetabaseStore>(new MetabaseStore(std::move(db)));
}

MetabaseKey MetabaseStore::Load(int64_t id) {
  // Walks up to the machine so the path is always spelt with the stored names.
  MetabaseKey key;
  key.id = id;
  std::vector<std::string> names;
  auto statement = db_.Prepare("SELECT parent, name, class FROM keys WHERE id = ?");
  for (int64_t current = id;;) {
    statement.Reset();
    statement.Bind(1, current);
    if (!statement.Step()) errors::kErrorPathNotFound.Throw();
    if (current == id) {
      key.name = statement.Text(1);
      key.cls = statement.Text(2);
    }
    if (statement.IsNull(0)) break;
    names.insert(names.begin(), statement.Text(1));
    current = statement.Int(0);
  }
  key.path = "IIS://LocalHost";
  key.metabase_path = "/LM";
  for (const auto& name : names) {
    key.path += "/" + name;
    key.metabase_path += "/" + name;
  }
  return key;
}

void MetabaseStore::RequireKey(int64_t id) {
  auto statement = db_.Prepare("SELECT 1 FROM keys WHERE id = ?");
  statement.Bind(1, id);
  if (!statement.Step()) errors::kErrorPathNotFound.Throw();
}

MetabaseKey MetabaseStore::Machine() {
  std::lock_guard lock(mutex_);
  return Load(kMachineId);
}

std::optional<MetabaseKey> MetabaseStore::Find(const std::vector<std::string>& elements) {
  std::lock_guard lock(mutex_);
  int64_t id = kMachineId;
  auto statement = db_.Prepare("SELECT id FROM keys WHERE parent = ? AND name = ?");
  for (const auto& element : elements) {
    statement.Reset();
    statement.BindAll(id, element);
    if (!statement.Step()) return std::nullopt;
    id = statement.Int(0);
  }
  return Load(id);
}

std::vector<MetabaseKey> MetabaseStore::Children(int64_t id) {
  std::lock_guard lock(mutex_);
  RequireKey(id);
  std::vector<int64_t> ids;
  auto statement = db_.Prepare("SELECT id FROM keys WHERE parent = ? ORDER BY id");
  statement.Bind(1, id);
  while (statement.Step()) ids.push_back(statement.Int(0));
  std::vector<MetabaseKey> out;
  for (int64_t child : ids) out.push_back(Load(child));
  return out;
}

MetabaseKey MetabaseStore::CreateChild(int64_t parent, const std::string& cls,
                                       const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) errors::kErrorInvalidName.Throw();
  std::lock_guard lock(mutex_);
  int64_t id;
  {
    sqlite::Transaction tx(db_);
    RequireKey(parent);
    auto exists = db_.Prepare("SELECT 1 FROM keys WHERE parent = ? AND name = ?");
    exists.BindAll(parent, name);
    if (exists.Step()) errors::kErrorAlreadyExists.Throw();
    db_.Prepare("INSERT INTO keys (parent, name, class) VALUES (?, ?, ?)")
        .BindAll(parent, name, cls)
        .Run();
    id = db_.LastInsertRowId();
    Commit(tx);
  }
  return Load(id);
}

void MetabaseStore::DeleteChild(int64_t parent, const std::string& cls, const std::string& name) {
  std::lock_guard lock(mutex_);
  sqlite::Transaction tx(db_);
  int changed = db_.Prepare("DELETE FROM keys WHERE parent = ? AND name = ? AND class = ?")
                    .BindAll(parent, name, cls)
                    .Run();
  if (changed == 0) errors::kErrorPathNotFound.Throw();
  Commit(tx);
}

std::optional<Variant> MetabaseStore::Property(int64_t id, const std::string& name) {
  std::lock_guard lock(mutex_);
  RequireKey(id);
  auto statement = db_.Prepare("SELECT type, value FROM properties WHERE key = ? AND name = ?");
  statement.BindAll(id, name);
  if (!statement.Step()) return std::nullopt;
  return ReadValue(statement, 0);
}

MetabaseProperties MetabaseStore::Properties(int64_t id) {
  std::lock_guard lock(mutex_);
  RequireKey(id);
  MetabaseProperties out;
  auto statement =
      db_.Prepare("SELECT name, type, value FROM properties WHERE key = ? ORDER BY rowid");
  statement.Bind(1, id);
  while (statement.Step()) out.emplace_back(statement.Text(0), ReadValue(statement, 1));
  return out;
}

void MetabaseStore::SetProperties(int64_t id, const MetabaseProperties& changes) {
  std::lock_guard lock(mutex_);
  sqlite::Transaction tx(db_);
  RequireKey(id);
  for (const auto& [name, raw] : changes) {
    Variant value = NormalizeMetabaseValue(raw);
    if (value.IsEmpty()) {
      db_.Prepare("DELETE FROM properties WHERE key = ? AND name = ?").BindAll(id, name).Run();
      continue;
    }
    // An update in place keeps the property's first position among the key's properties.
    auto upsert = db_.Prepare(
        "INSERT INTO properties (key, name, type, value) VALUES (?, ?, ?, ?) "
        "ON CONFLICT (key, name) DO UPDATE SET type = excluded.type, value = excluded.value");
    upsert.BindAll(id, name);
    BindValue(upsert, 3, value);
    upsert.Run();
  }
  Commit(tx);
}

MetabaseNode MetabaseStore::SnapshotLocked(const MetabaseKey& key) {
  MetabaseNode node;
  node.key = key;
  auto properties =
      db_.Prepare("SELECT name, type, value FROM properties WHERE key = ? ORDER BY rowid");
  properties.Bind(1, key.id);
  while (properties.Step()) {
    node.properties.emplace_back(properties.Text(0), ReadValue(properties, 1));
  }
  std::vector<int64_t> ids;
  auto children = db_.Prepare("SELECT id FROM keys WHERE parent = ? ORDER BY id");
  children.Bind(1, key.id);
  while (children.Step()) ids.push_back(children.Int(0));
  for (int64_t child : ids) node.children.push_back(SnapshotLocked(Load(child)));
  return node;
}

MetabaseNode MetabaseStore::Snapshot() {
  std::lock_guard lock(mutex_);
  return SnapshotLocked(Load(kMachineId));
}

void MetabaseStore::SetCommitHook(MetabaseCommitHook hook) {
  std::lock_guard lock(mutex_);
  hook_ = std::move(hook);
}

void MetabaseStore::Commit(sqlite::Transaction& tx) {
  if (!hook_) {
    tx.Commit();
    return;
  }
  hook_(SnapshotLocked(Load(kMachineId)));
  try {
    tx.Commit();
  } catch (const AutomationError&) {
    // The hook already acted on a tree that was not kept: bring it back to the stored one.
    tx.Rollback();
    try {
      hook_(SnapshotLocked(Load(kMachineId)));
    } catch (const AutomationError&) {
    }
    throw;
  }
}

void InitializeWebService(const std::filesystem::path& root) {
  auto store = MetabaseStore::Open(root, /*create=*/true);
  // Another process initialising the same root at once may win a creation; that is success too.
  auto ensure = [&](int64_t parent, const std::vector<std::string>& path, const char* cls) {
    if (auto key = store->Find(path)) return *key;
    try {
      return store->CreateChild(parent, cls, path.back());
    } catch (const AutomationError& e) {
      if (!errors::kErrorAlreadyExists.Is(e)) throw;
      return *store->Find(path);
    }
  };
  MetabaseKey service = ensure(kMachineId, {"W3SVC"}, "IIsWebService");
  ensure(service.id, {"W3SVC", "Info"}, "IIsWebInfo");
  ensure(service.id, {"W3SVC", "Filters"}, "IIsFilters");
}

}  // namespace brindlecore::platform::iis
