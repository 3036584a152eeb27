#include "support/slapd_server.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/process.h"
#include "support/temp_dir.h"

namespace brindlecore::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kBaseDn[] = "DC=example,DC=test";
// The adds of the fixture itself go through the database's root account, which no test sees.
constexpr char kManagerDn[] = "CN=Manager,DC=example,DC=test";
// The service account lives in a database of its own: as the root account of the example database
// it would escape the server's size limit, and as an entry there it would show up in searches.
constexpr char kServiceDn[] = "CN=Brindle Service,DC=service,DC=test";
constexpr char kServicePassword[] = "Service-Pass-1";
// Like the original directory: at most 1000 entries per answer or page, but paging goes on to
// the end. The searches of the platform must page past it.
constexpr char kServerSizeLimit[] =
    "size.soft=1000 size.hard=1000 size.pr=1000 size.prtotal=unlimited";

fs::path SchemaFile() {
  if (const char* source = std::getenv("BRINDLECORE_SOURCE_DIR"); source && *source) {
    fs::path candidate = fs::path(source) / "tests/support/ldap/directory.schema";
    if (fs::exists(candidate)) return candidate;
  }
  return fs::path(__FILE__).parent_path() / "ldap/directory.schema";
}

void WriteFile(const fs::path& path, const std::string& text, bool private_file = false) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("slapd fixture: cannot write " + path.string());
  out.close();
  if (private_file) fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
}

using Attributes = std::vector<std::pair<std::string, std::string>>;

// One entry of an LDIF file, values as plain text: the fixture's names need no base64, and one
// that would is refused rather than misread. Attributes with an empty value are left out.
std::string Ldif(const std::string& dn, Attributes attributes) {
  attributes.insert(attributes.begin(), {"dn", dn});
  std::string ldif;
  for (const auto& [type, value] : attributes) {
    if (value.find_first_of("\n\r") != std::string::npos || value.starts_with(' ') ||
        value.starts_with(':') || value.starts_with('<')) {
      throw std::invalid_argument("slapd fixture: not plain LDIF text: " + value);
    }
    if (!value.empty()) ldif.append(type).append(": ").append(value).append("\n");
  }
  return ldif + "\n";
}

Attributes UserAttributes(const std::string& cn, const std::string& sam_account_name,
                          const std::string& password, const std::string& given_name,
                          const std::string& sn) {
  return {{"objectClass", "user"},
          {"cn", cn},
          {"name", cn},
          {"sAMAccountName", sam_account_name},
          {"userPassword", password},
          {"givenName", given_name},
          {"sn", sn}};
}

// The spelling the platform writes DNs in: backslash before each special character.
std::string EscapeRdnValue(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    bool edge_space = c == ' ' && (i == 0 || i + 1 == value.size());
    if (std::strchr(",+\"\\<>;=", c) != nullptr || edge_space || (c == '#' && i == 0)) {
      out += '\\';
    }
    out += c;
  }
  return out;
}

// The client tools must not read the machine's ldap.conf.
const std::vector<std::string> kLdapEnv = {"LDAP", "LDAPNOINIT=1"};

}  // namespace

struct SlapdServer::Impl {
  TempDir dir;
  int port = 0;
  ServerProcess slapd;
  int ldif_count = 0;

  fs::path Path(const std::string& name) const { return dir.path() / name; }

  void WriteConfigFile() {
    fs::create_directories(Path("example-db"));
    fs::create_directories(Path("service-db"));
    std::string access_by_service = "by dn.exact=\"" + std::string(kServiceDn) + "\" write";
    std::ostringstream conf;
    conf << "include /etc/ldap/schema/core.schema\n"
         << "include \"" << SchemaFile().string() << "\"\n"
         << "modulepath /usr/lib/ldap\n"
         << "moduleload back_mdb\n"
         << "pidfile \"" << Path("slapd.pid").string() << "\"\n"
         << "sizelimit " << kServerSizeLimit << "\n"
         << "database mdb\n"
         << "suffix \"" << kBaseDn << "\"\n"
         << "rootdn \"" << kManagerDn << "\"\n"
         << "rootpw manager-secret\n"
         << "directory \"" << Path("example-db").string() << "\"\n"
         << "maxsize 1073741824\n"
         << "dbnosync\n"
         << "index objectClass,sAMAccountName,cn eq\n"
         << "access to attrs=userPassword " << access_by_service << " by anonymous auth by * none\n"
         << "access to * " << access_by_service << " by * read\n"
         << "database mdb\n"
         << "suffix \"DC=service,DC=test\"\n"
         << "rootdn \"" << kServiceDn << "\"\n"
         << "rootpw " << kServicePassword << "\n"
         << "directory \"" << Path("service-db").string() << "\"\n"
         << "maxsize 16777216\n";
    WriteFile(Path("slapd.conf"), conf.str());
    WriteFile(Path("manager.pw"), "manager-secret", true);
  }

  bool TryStart() {
    port = FreePort();
    slapd.Start({"/usr/sbin/slapd", "-f", Path("slapd.conf").string(), "-h",
                 "ldap://127.0.0.1:" + std::to_string(port) + "/", "-d", "0"},
                LogTo(Path("slapd.log")), kLdapEnv);
    if (slapd.WaitReady([&] { return PortOpen(port); }, 10)) return true;
    slapd.Stop(SIGKILL);  // nothing of the database outlives the test
    return false;
  }

  void Add(const std::string& ldif) {
    fs::path file = Path("add-" + std::to_string(++ldif_count) + ".ldif");
    WriteFile(file, ldif);
    fs::path log = Path("ldapadd.log");
    const int status =
        WaitExit(Spawn({"ldapadd", "-x", "-H", "ldap://127.0.0.1:" + std::to_string(port), "-D",
                        kManagerDn, "-y", Path("manager.pw").string(), "-f", file.string()},
                       LogTo(log), kLdapEnv));
    fs::remove(file);
    if (status != 0) {
      throw std::runtime_error("slapd fixture: ldapadd failed: " + ReadFile(log));
    }
  }

  // `type`=`value` under `parent_dn`, or under the base when that is "".
  static std::string Dn(const char* type, const std::string& value, const std::string& parent_dn) {
    std::string dn(type);  // appended: GCC 12 -O3 misreads literal + temporary (-Wrestrict)
    dn.append("=").append(EscapeRdnValue(value)).append(",");
    return dn.append(parent_dn.empty() ? kBaseDn : parent_dn);
  }
};

SlapdServer::SlapdServer() : impl_(std::make_unique<Impl>()) {
  impl_->WriteConfigFile();
  bool started = false;
  // Another process may take the free port between probing and slapd's bind: try a few.
  for (int attempt = 0; attempt < 5 && !started; ++attempt) started = impl_->TryStart();
  if (!started) {
    throw std::runtime_error("slapd fixture: slapd did not start: " +
                             ReadFile(impl_->Path("slapd.log")));
  }
  impl_->Add(Ldif(kBaseDn, {{"objectClass", "domainDNS"}, {"dc", "example"}, {"name", "example"}}));
}

SlapdServer::~SlapdServer() { impl_->slapd.Stop(SIGKILL); }

std::string SlapdServer::uri() const { return "ldap://127.0.0.1:" + std::to_string(impl_->port); }
std::string SlapdServer::base_dn() const { return kBaseDn; }
std::string SlapdServer::service_dn() const { return kServiceDn; }
std::string SlapdServer::service_password() const { return kServicePassword; }

std::string SlapdServer::AddOu(const std::string& ou, const std::string& parent_dn) {
  std::string dn = Impl::Dn("OU", ou, parent_dn);
  impl_->Add(Ldif(dn, {{"objectClass", "organizationalUnit"},
                       {"objectClass", "namedEntry"},
                       {"ou", ou},
                       {"name", ou}}));
  return dn;
}

std::string SlapdServer::AddUser(const std::string& cn, const std::string& sam_account_name,
                                 const std::string& password, const std::string& given_name,
                                 const std::string& sn, const std::string& parent_dn) {
  std::string dn = Impl::Dn("CN", cn, parent_dn);
  impl_->Add(Ldif(dn, UserAttributes(cn, sam_account_name, password, given_name, sn)));
  return dn;
}

std::string SlapdServer::AddGroup(const std::string& cn, const std::string& sam_account_name,
                                  const std::string& description,
                                  const std::vector<std::string>& member_dns,
                                  const std::string& parent_dn) {
  std::string dn = Impl::Dn("CN", cn, parent_dn);
  Attributes attributes = {{"objectClass", "group"},
                           {"cn", cn},
                           {"name", cn},
                           {"sAMAccountName", sam_account_name},
                           {"description", description}};
  for (const auto& member : member_dns) attributes.emplace_back("member", member);
  impl_->Add(Ldif(dn, attributes));
  return dn;
}

void SlapdServer::AddNumberedUsers(const std::string& prefix, int count,
                                   const std::string& parent_dn) {
  std::string ldif;
  for (int i = 1; i <= count; ++i) {
    std::string n = std::to_string(i), cn = prefix + n;
    ldif += Ldif(Impl::Dn("CN", cn, parent_dn), UserAttributes(cn, cn, "", "Given" + n, "Sn" + n));
  }
  impl_->Add(ldif);
}

void SlapdServer::WriteConfig(const fs::path& root) const {
  fs::create_directories(root);
  fs::path password_file = root / "ldap-service.password";
  WriteFile(password_file, std::string(kServicePassword) + "\n", true);
  // Keep whatever else a test put in platform.conf; only the directory keys are ours.
  std::string kept;
  {
    std::ifstream in(root / "platform.conf");
    for (std::string line; std::getline(in, line);) {
      size_t start = line.find_first_not_of(" \t");
      if (start != std::string::npos && line.compare(start, 5, "ldap.") == 0) continue;
      kept += line + "\n";
    }
  }
  kept += "ldap.uri = " + uri() + "\n";
  kept += "ldap.bind_dn = " + std::string(kServiceDn) + "\n";
  kept += "ldap.bind_password_file = " + password_file.string() + "\n";
  WriteFile(root / "platform.conf", kept);
}

}  // namespace brindlecore::testing
