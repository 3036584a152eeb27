#include "platform/search/search.h"

#include <ldap.h>

#include <algorithm>
#include <optional>

#include "platform/automation/errors.h"
#include "platform/directory/ldap/ldap_names.h"
#include "platform/directory/ldap/ldap_session.h"
#include "platform/search/query.h"

namespace brindlecore::platform {
namespace {

using ldap::EqualsIgnoreCase;
using ldap::LdapContext;
using ldap::LdapSession;

// The most a server of the original kind answers per page; asking more makes some servers
// refuse the whole search rather than answer less.
constexpr int kMaxPageSize = 1000;

struct ConnectionState {
  PlatformConfig config;
  std::string provider;
  std::optional<std::string> user;
  std::string password;
  bool open = false;
};

// Columns the record set computes from the entry's DN instead of asking the server.
enum class Computed { kNone, kAdsPath, kName, kDistinguishedName };

struct Column {
  std::string name;
  Computed computed = Computed::kNone;
  int server_index = -1;  // position among the attributes asked of the server
};

using Row = std::vector<std::optional<std::string>>;

std::unique_ptr<ldap::PagedSearch> StartSearch(std::shared_ptr<LdapSession> session,
                                               const ldap::SearchRequest& request) {
  return std::make_unique<ldap::PagedSearch>(std::move(session), request, LdapContext::kSearch);
}

class LdapRecordset : public Recordset {
 public:
  LdapRecordset(std::shared_ptr<LdapSession> session, ldap::SearchRequest request,
                std::vector<Column> columns, std::string prefix, bool cache)
      : session_(std::move(session)),
        request_(std::move(request)),
        columns_(std::move(columns)),
        prefix_(std::move(prefix)),
        cache_(cache) {
    search_ = StartSearch(session_, request_);
    Fill();  // the first page, so refused credentials and missing roots fail Execute
  }

  bool Eof() override {
    RequireOpen();
    while (position_ >= first_ + rows_.size() && search_) Fill();
    return position_ >= first_ + rows_.size();
  }

  void MoveFirst() override {
    RequireOpen();
    if (first_ == 0) {
      position_ = 0;
      return;
    }
    // Rows already dropped (no caching): ask the server again from the start.
    rows_.clear();
    first_ = position_ = 0;
    search_ = StartSearch(session_, request_);
    Fill();
  }

  void MoveNext() override {
    if (Eof()) errors::kAdErrNoCurrentRecord.Throw();
    ++position_;
  }

  Variant Field(const std::string& name) override {
    RequireOpen();
    auto column = std::find_if(columns_.begin(), columns_.end(),
                               [&](const Column& c) { return EqualsIgnoreCase(c.name, name); });
    if (column == columns_.end()) errors::kAdErrItemNotFound.Throw();
    if (Eof()) errors::kAdErrNoCurrentRecord.Throw();
    const std::optional<std::string>& cell = rows_[position_ - first_][column - columns_.begin()];
    return cell ? Variant(*cell) : Variant::Null();
  }

  void Close() override {
    RequireOpen();
    search_.reset();
    rows_.clear();
    session_.reset();
    closed_ = true;
  }

 private:
  void RequireOpen() const {
    if (closed_) errors::kAdErrObjectClosed.Throw();
  }

  void Fill() {
    if (!search_) return;
    if (!cache_ && position_ >= first_ + rows_.size()) {
      first_ += rows_.size();
      rows_.clear();
    }
    LDAP* ld = session_->handle();
    bool more = search_->NextPage([&](LDAPMessage* entry) { rows_.push_back(MakeRow(ld, entry)); });
    if (!more) search_.reset();
  }

  Row MakeRow(LDAP* ld, LDAPMessage* entry) {
    Row row(columns_.size());
    std::string dn;
    if (char* raw = ldap_get_dn(ld, entry)) {
      dn = raw;
      ldap_memfree(raw);
    }
    std::string normalized = ldap::NormalizeDn(dn);
    for (size_t i = 0; i < columns_.size(); ++i) {
      switch (columns_[i].computed) {
        case Computed::kAdsPath:
          row[i] = prefix_ + normalized;
          break;
        case Computed::kDistinguishedName:
          row[i] = normalized;
          break;
        case Computed::kName:
          row[i] = ldap::FirstRdn(normalized).value;
          break;
        case Computed::kNone:
          if (berval** values = ldap_get_values_len(ld, entry, columns_[i].name.c_str())) {
            if (values[0]) row[i].emplace(values[0]->bv_val, values[0]->bv_len);
            ldap_value_free_len(values);
          }
          break;
      }
    }
    return row;
  }

  std::shared_ptr<LdapSession> session_;
  ldap::SearchRequest request_;
  std::vector<Column> columns_;
  std::string prefix_;
  bool cache_;
  std::unique_ptr<ldap::PagedSearch> search_;
  std::vector<Row> rows_;
  size_t first_ = 0;  // the index of rows_[0] among all rows
  size_t position_ = 0;
  bool closed_ = false;
};

struct CommandProperties {
  int page_size = 0;
  int timeout = 0;
  int scope = 2;
  int chase_referrals = 0;
  bool cache_results = true;
  int size_limit = 0;
};

class LdapCommand : public Command {
 public:
  explicit LdapCommand(std::shared_ptr<ConnectionState> state) : state_(std::move(state)) {}

  void SetCommandText(const std::string& text) override { text_ = text; }

  void SetProperty(const std::string& name, const Variant& value) override {
    if (EqualsIgnoreCase(name, "Page Size")) {
      properties_.page_size = NonNegative(value);
    } else if (EqualsIgnoreCase(name, "Timeout") || EqualsIgnoreCase(name, "Time Limit")) {
      properties_.timeout = NonNegative(value);
    } else if (EqualsIgnoreCase(name, "searchscope")) {
      int scope = ToLong(value);
      if (scope < 0 || scope > 2) errors::kEInvalidarg.Throw();
      properties_.scope = scope;
    } else if (EqualsIgnoreCase(name, "Chase referrals")) {
      properties_.chase_referrals = ToLong(value);
    } else if (EqualsIgnoreCase(name, "Cache Results")) {
      properties_.cache_results = ToBool(value);
    } else if (EqualsIgnoreCase(name, "Size Limit")) {
      properties_.size_limit = NonNegative(value);
    } else {
      errors::kAdErrItemNotFound.Throw();
    }
  }

  std::unique_ptr<Recordset> Execute() override {
    if (!state_->open) errors::kAdErrObjectClosed.Throw();
    search::Query query = search::ParseQuery(text_);
    ldap::LdapPath root;
    try {
      root = ldap::ParsePath(query.root);
    } catch (const AutomationError&) {
      errors::kDbENotable.Throw();
    }
    ldap::LdapSettings settings = ldap::LdapSettings::FromConfig(state_->config);
    std::shared_ptr<LdapSession> session = SignIn(settings, root.server);

    ldap::SearchRequest request;
    request.scope = query.scope.value_or(properties_.scope);
    request.filter = query.filter;
    if (root.root_dse) {
      request.scope = LDAP_SCOPE_BASE;
    } else {
      request.base =
          root.dn.empty() ? session->DefaultNamingContext(LdapContext::kSearch) : root.dn;
    }
    request.page_size =
        properties_.page_size > 0 ? std::min(properties_.page_size, kMaxPageSize) : kMaxPageSize;
    request.size_limit = properties_.size_limit;
    request.timeout_seconds = properties_.timeout;
    request.chase_referrals = properties_.chase_referrals;
    std::vector<Column> columns = Columns(query.columns, request.attrs);
    return std::make_unique<LdapRecordset>(session, std::move(request), std::move(columns),
                                           root.Prefix(), properties_.cache_results);
  }

 private:
  static int NonNegative(const Variant& value) {
    int n = ToLong(value);
    if (n < 0) errors::kEInvalidarg.Throw();
    return n;
  }

  static std::vector<Column> Columns(const std::vector<std::string>& names,
                                     std::vector<std::string>& server_attrs) {
    std::vector<Column> columns;
    for (const std::string& name : names) {
      Column column{name};
      if (EqualsIgnoreCase(name, "ADsPath")) {
        column.computed = Computed::kAdsPath;
      } else if (EqualsIgnoreCase(name, "name")) {
        column.computed = Computed::kName;
      } else if (EqualsIgnoreCase(name, "distinguishedName")) {
        column.computed = Computed::kDistinguishedName;
      } else {
        server_attrs.push_back(name);
      }
      columns.push_back(std::move(column));
    }
    return columns;
  }

  // The connection's credentials: none means the process's; a DN or a name with "@" is bound
  // as given; DOMAIN\name or a bare name is looked up by its account name first.
  std::shared_ptr<LdapSession> SignIn(const ldap::LdapSettings& settings,
                                      const std::string& server) {
    if (!state_->user) {
      return LdapSession::Open(settings, server, true, LdapContext::kSearchBind);
    }
    const std::string& user = *state_->user;
    if (state_->password.empty()) errors::kDbSecEPermissiondenied.Throw();
    bool as_given = user.find('=') != std::string::npos || user.find('@') != std::string::npos;
    auto session = LdapSession::Open(settings, server, !as_given, LdapContext::kSearchBind);
    std::string dn = as_given ? user : FindAccount(*session, user);
    session->Bind(dn, state_->password, LdapContext::kSearchBind);
    return session;
  }

  static std::string FindAccount(LdapSession& session, const std::string& user) {
    size_t backslash = user.find('\\');
    std::string account = backslash == std::string::npos ? user : user.substr(backslash + 1);
    ldap::SearchRequest request;
    request.base = session.DefaultNamingContext(LdapContext::kSearchBind);
    request.filter = "(sAMAccountName=" + ldap::EscapeFilterValue(account, false) + ")";
    request.size_limit = 2;
    std::vector<std::string> found;
    ldap::PagedSearch search(std::shared_ptr<LdapSession>(&session, [](LdapSession*) {}), request,
                             LdapContext::kSearchBind);
    while (search.NextPage([&](LDAPMessage* entry) {
      if (char* dn = ldap_get_dn(session.handle(), entry)) {
        found.emplace_back(dn);
        ldap_memfree(dn);
      }
    })) {
    }
    // An unknown or ambiguous name is refused like a wrong password: never tell which.
    if (found.size() != 1) errors::kDbSecEPermissiondenied.Throw();
    return found[0];
  }

  std::shared_ptr<ConnectionState> state_;
  std::string text_;
  CommandProperties properties_;
};

class LdapConnection : public Connection {
 public:
  explicit LdapConnection(const PlatformConfig& config)
      : state_(std::make_shared<ConnectionState>()) {
    state_->config = config;
  }

  void SetProvider(const std::string& provider) override { state_->provider = provider; }

  void SetProperty(const std::string& name, const Variant& value) override {
    if (EqualsIgnoreCase(name, "User ID")) {
      std::string user = ToText(value);
      state_->user = user.empty() ? std::nullopt : std::optional<std::string>(user);
    } else if (EqualsIgnoreCase(name, "Password")) {
      state_->password = ToText(value);
    } else if (!EqualsIgnoreCase(name, "Encrypt Password") &&
               !EqualsIgnoreCase(name, "ADSI Flag")) {
      errors::kAdErrItemNotFound.Throw();
    }
  }

  void Open(const std::string&, const std::string& user, const std::string& password,
            int32_t) override {
    if (!EqualsIgnoreCase(state_->provider, "ADsDSOObject")) {
      errors::kAdErrProviderNotFound.Throw();
    }
    if (!user.empty()) {
      state_->user = user;
      state_->password = password;
    }
    // Checked here already: an empty password must never reach the server as a bind.
    if (state_->user && state_->password.empty()) errors::kDbSecEPermissiondenied.Throw();
    state_->open = true;
  }

  std::unique_ptr<Command> CreateCommand() override {
    return std::make_unique<LdapCommand>(state_);
  }

 private:
  std::shared_ptr<ConnectionState> state_;
};

}  // namespace

std::unique_ptr<Connection> NewSearchConnection(const PlatformConfig& config) {
  return std::make_unique<LdapConnection>(config);
}

}  // namespace brindlecore::platform
