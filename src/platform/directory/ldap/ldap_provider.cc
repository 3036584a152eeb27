// The "LDAP:" provider: objects bound by path over libldap with the process's credentials.
#include <ldap.h>

#include <algorithm>

#include "platform/automation/errors.h"
#include "platform/directory/ldap/ldap_names.h"
#include "platform/directory/ldap/ldap_session.h"
#include "platform/directory/provider.h"

namespace brindlecore::platform {
namespace {

using ldap::Attribute;
using ldap::Entry;
using ldap::EqualsIgnoreCase;
using ldap::LdapContext;
using ldap::LdapPath;
using ldap::LdapSession;

// structuralObjectClass names the class on servers that keep it; others list the most specific
// class last, as the original directory does.
const std::vector<std::string> kObjectAttributes = {"*", "structuralObjectClass"};

// Attributes whose values are DNs: shown in our spelling, not the server's.
bool HoldsDns(std::string_view name) {
  for (std::string_view dn_attr : {"member", "memberOf", "manager", "defaultNamingContext",
                                   "namingContexts", "rootDomainNamingContext"}) {
    if (EqualsIgnoreCase(name, dn_attr)) return true;
  }
  return false;
}

const Attribute* Find(const Entry& entry, std::string_view name) {
  for (const Attribute& a : entry.attributes) {
    if (EqualsIgnoreCase(a.name, name)) return &a;
  }
  return nullptr;
}

std::string FirstValue(const Entry& entry, std::string_view name) {
  const Attribute* a = Find(entry, name);
  return a && !a->values.empty() ? a->values[0] : std::string();
}

class LdapObject : public DirObject {
 public:
  LdapObject(std::shared_ptr<LdapSession> session, LdapPath path, Entry entry)
      : session_(std::move(session)), path_(std::move(path)), entry_(std::move(entry)) {}

  std::string Name() override {
    if (path_.root_dse) return "";
    ldap::Rdn rdn = ldap::FirstRdn(path_.dn);
    if (rdn.type == "CN") {
      std::string cn = FirstValue(entry_, "cn");
      return "CN=" + (cn.empty() ? rdn.value : cn);
    }
    return rdn.type + "=" + rdn.value;
  }

  std::string ADsPath() override { return path_.ADsPath(); }

  std::string Class() override {
    if (path_.root_dse) return "RootDSE";
    if (std::string s = FirstValue(entry_, "structuralObjectClass"); !s.empty()) return s;
    const Attribute* classes = Find(entry_, "objectClass");
    return classes && !classes->values.empty() ? classes->values.back() : std::string();
  }

  Variant Get(const std::string& property) override {
    if (EqualsIgnoreCase(property, "distinguishedName") && !path_.root_dse) return path_.dn;
    const Attribute* a = Find(entry_, property);
    if (!a && EqualsIgnoreCase(property, "name") && !path_.root_dse) {
      return ldap::FirstRdn(path_.dn).value;
    }
    if (!a || a->values.empty()) errors::kEAdsPropertyNotFound.Throw();
    std::vector<std::string> values = a->values;
    if (HoldsDns(a->name)) {
      for (auto& v : values) v = ldap::NormalizeDn(v);
    }
    if (values.size() == 1) return values[0];
    return Variant::Strings(values);
  }

  void Put(const std::string& property, const Variant& value) override {
    std::vector<std::string> values;
    if (value.IsArray()) {
      for (const Variant& v : value.array()) values.push_back(ToText(v));
    } else if (!value.IsEmpty()) {
      values.push_back(ToText(value));
    }
    auto staged = std::find_if(staged_.begin(), staged_.end(), [&](const Attribute& a) {
      return EqualsIgnoreCase(a.name, property);
    });
    if (staged == staged_.end()) {
      staged_.push_back({property, std::move(values)});
    } else {
      staged->values = std::move(values);
    }
  }

  void SetInfo() override {
    if (staged_.empty()) return;
    std::vector<LDAPMod> mods(staged_.size());
    std::vector<std::vector<char*>> value_lists(staged_.size());
    std::vector<LDAPMod*> mod_ptrs;
    for (size_t i = 0; i < staged_.size(); ++i) {
      for (auto& v : staged_[i].values) value_lists[i].push_back(v.data());
      value_lists[i].push_back(nullptr);
      mods[i].mod_op = LDAP_MOD_REPLACE;
      mods[i].mod_type = staged_[i].name.data();
      mods[i].mod_values = value_lists[i].data();
      mod_ptrs.push_back(&mods[i]);
    }
    mod_ptrs.push_back(nullptr);
    int rc =
        ldap_modify_ext_s(session_->handle(), path_.dn.c_str(), mod_ptrs.data(), nullptr, nullptr);
    if (rc != LDAP_SUCCESS) throw ldap::LdapError(rc, LdapContext::kObject);
    for (Attribute& change : staged_) {
      auto it =
          std::find_if(entry_.attributes.begin(), entry_.attributes.end(),
                       [&](const Attribute& a) { return EqualsIgnoreCase(a.name, change.name); });
      if (it != entry_.attributes.end()) entry_.attributes.erase(it);
      if (!change.values.empty()) entry_.attributes.push_back(std::move(change));
    }
    staged_.clear();
  }

  bool Supports(DirKind kind) const override {
    switch (kind) {
      case DirKind::kGroup:
        return HasClass("group");
      case DirKind::kUser:
        return HasClass("user");
      case DirKind::kContainer:
        return !path_.root_dse && !HasClass("user");
    }
    return false;
  }

  void SetFilter(const std::vector<std::string>& classes) override {
    RequireKind(DirKind::kContainer);
    filter_ = classes;
  }

  std::unique_ptr<DirEnumerator> Enumerate() override;

  std::string Description() override {
    RequireDescribed();
    return FirstValue(entry_, "description");
  }

  void SetDescription(const std::string& text) override {
    RequireDescribed();
    Put("description", text);
  }

  std::string FullName() override {
    RequireKind(DirKind::kUser);
    return FirstValue(entry_, "displayName");
  }

  std::unique_ptr<DirEnumerator> Members() override;

  void Add(const std::string& member_path) override { ChangeMember(member_path, LDAP_MOD_ADD); }
  void Remove(const std::string& member_path) override {
    ChangeMember(member_path, LDAP_MOD_DELETE);
  }

 private:
  bool HasClass(std::string_view cls) const {
    const Attribute* classes = Find(entry_, "objectClass");
    if (!classes) return false;
    return std::any_of(classes->values.begin(), classes->values.end(),
                       [&](const std::string& v) { return EqualsIgnoreCase(v, cls); });
  }

  void RequireKind(DirKind kind) const {
    if (!Supports(kind)) errors::kRtObjectDoesntSupport.Throw();
  }

  void RequireDescribed() const {
    if (!Supports(DirKind::kGroup) && !Supports(DirKind::kUser)) {
      errors::kRtObjectDoesntSupport.Throw();
    }
  }

  void ChangeMember(const std::string& member_path, int op) {
    RequireKind(DirKind::kGroup);
    std::string dn = ldap::ParsePath(member_path).dn;
    char* values[] = {dn.data(), nullptr};
    char type[] = "member";
    LDAPMod mod{op, type, {values}};
    LDAPMod* mods[] = {&mod, nullptr};
    int rc = ldap_modify_ext_s(session_->handle(), path_.dn.c_str(), mods, nullptr, nullptr);
    if (rc != LDAP_SUCCESS) throw ldap::LdapError(rc, LdapContext::kObject);
    Attribute* members = const_cast<Attribute*>(Find(entry_, "member"));
    if (!members) members = &entry_.attributes.emplace_back(Attribute{"member", {}});
    if (op == LDAP_MOD_ADD) {
      members->values.push_back(dn);
    } else {
      std::erase_if(members->values, [&](const std::string& v) {
        return EqualsIgnoreCase(ldap::NormalizeDn(v), dn);
      });
    }
  }

  std::shared_ptr<LdapSession> session_;
  LdapPath path_;
  Entry entry_;
  std::vector<Attribute> staged_;
  std::vector<std::string> filter_;
};

// Binds each member by its DN on the group's connection, one at a time, so one member that
// cannot be bound fails only its own step.
class MemberEnumerator : public DirEnumerator {
 public:
  MemberEnumerator(std::shared_ptr<LdapSession> session, std::string server,
                   std::vector<std::string> dns)
      : session_(std::move(session)), server_(std::move(server)), dns_(std::move(dns)) {}

  std::unique_ptr<DirObject> Next() override {
    if (next_ >= dns_.size()) return nullptr;
    const std::string& raw = dns_[next_++];
    LdapPath path;
    path.server = server_;
    path.dn = ldap::NormalizeDn(raw);
    Entry entry = session_->Read(path.dn, kObjectAttributes, LdapContext::kObject);
    return std::make_unique<LdapObject>(session_, std::move(path), std::move(entry));
  }

 private:
  std::shared_ptr<LdapSession> session_;
  std::string server_;
  std::vector<std::string> dns_;
  size_t next_ = 0;
};

class EntryEnumerator : public DirEnumerator {
 public:
  EntryEnumerator(std::shared_ptr<LdapSession> session, std::string server,
                  std::vector<Entry> entries)
      : session_(std::move(session)), server_(std::move(server)), entries_(std::move(entries)) {}

  std::unique_ptr<DirObject> Next() override {
    if (next_ >= entries_.size()) return nullptr;
    Entry& entry = entries_[next_++];
    LdapPath path;
    path.server = server_;
    path.dn = entry.dn;
    return std::make_unique<LdapObject>(session_, std::move(path), std::move(entry));
  }

 private:
  std::shared_ptr<LdapSession> session_;
  std::string server_;
  std::vector<Entry> entries_;
  size_t next_ = 0;
};

// Asked of the server window by window: a large group's members come in ranges.
std::unique_ptr<DirEnumerator> LdapObject::Members() {
  RequireKind(DirKind::kGroup);
  return std::make_unique<MemberEnumerator>(
      session_, path_.server, session_->ReadAllValues(path_.dn, "member", LdapContext::kObject));
}

std::unique_ptr<DirEnumerator> LdapObject::Enumerate() {
  RequireKind(DirKind::kContainer);
  std::string filter = "(objectClass=*)";
  if (!filter_.empty()) {
    filter = "(|";
    for (const auto& cls : filter_) {
      filter += "(objectClass=" + ldap::EscapeFilterValue(cls, false) + ")";
    }
    filter += ")";
  }
  ldap::SearchRequest request;
  request.base = path_.dn;
  request.scope = LDAP_SCOPE_ONELEVEL;
  request.filter = filter;
  request.attrs = kObjectAttributes;
  ldap::PagedSearch search(session_, request, LdapContext::kObject);
  std::vector<Entry> entries;
  while (search.NextPage([&](LDAPMessage* e) { entries.push_back(session_->ParseEntry(e)); })) {
  }
  return std::make_unique<EntryEnumerator>(session_, path_.server, std::move(entries));
}

class LdapProvider : public DirectoryProvider {
 public:
  explicit LdapProvider(const PlatformConfig& config) : config_(config) {}

  std::unique_ptr<DirObject> Bind(const std::string& text) override {
    LdapPath path = ldap::ParsePath(text);
    // Read per bind so that a changed service password is picked up without a restart.
    ldap::LdapSettings settings = ldap::LdapSettings::FromConfig(config_);
    auto session = LdapSession::Open(settings, path.server, true, LdapContext::kObjectBind);
    if (path.root_dse) {
      Entry root = session->Read("", {"*", "+"}, LdapContext::kObject);
      if (!Find(root, "defaultNamingContext")) {
        // Servers without the attribute name their first naming context the default.
        std::string context = session->DefaultNamingContext(LdapContext::kObject);
        root.attributes.push_back({"defaultNamingContext", {context}});
      }
      return std::make_unique<LdapObject>(session, std::move(path), std::move(root));
    }
    if (path.dn.empty()) path.dn = session->DefaultNamingContext(LdapContext::kObject);
    Entry entry = session->Read(path.dn, kObjectAttributes, LdapContext::kObject);
    return std::make_unique<LdapObject>(session, std::move(path), std::move(entry));
  }

 private:
  PlatformConfig config_;
};

}  // namespace

std::unique_ptr<DirectoryProvider> MakeLdapProvider(const PlatformConfig& config) {
  return std::make_unique<LdapProvider>(config);
}

}  // namespace brindlecore::platform
