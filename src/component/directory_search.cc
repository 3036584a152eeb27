#include "component/directory_search.h"

#include "brindlecore/variant.h"

namespace brindlecore::component {
namespace {

std::unique_ptr<platform::Command> OpenSearchCommand(platform::Platform& platform,
                                                     const std::string* user,
                                                     const std::string* password) {
  std::unique_ptr<platform::Connection> connection = platform.NewConnection();
  connection->SetProvider("ADsDSOObject");
  if (user != nullptr) {
    connection->SetProperty("User ID", Variant(*user));
    connection->SetProperty("Password", Variant(*password));
  }
  connection->Open("Active Directory Provider", "", "", -1);
  // The command keeps what it needs of the connection.
  return connection->CreateCommand();
}

}  // namespace

std::string DefaultNamingContextPath(platform::Platform& platform) {
  std::unique_ptr<platform::DirObject> root_dse = platform.GetObject(kRootDsePath);
  return "LDAP://" + ToText(root_dse->Get("defaultNamingContext"));
}

std::string ResolveSearchRoot(platform::Platform& platform, const std::string& provider_text) {
  if (provider_text != kRootDsePath) return provider_text;
  return DefaultNamingContextPath(platform);
}

std::unique_ptr<platform::Command> OpenSearchCommand(platform::Platform& platform) {
  return OpenSearchCommand(platform, nullptr, nullptr);
}

std::unique_ptr<platform::Command> OpenSearchCommand(platform::Platform& platform,
                                                     const std::string& user,
                                                     const std::string& password) {
  return OpenSearchCommand(platform, &user, &password);
}

void SetSearchProperties(platform::Command& command, int16_t timeout) {
  command.SetProperty("Page Size", Variant(int16_t{1000}));
  command.SetProperty("Timeout", Variant(timeout));
  command.SetProperty("searchscope", Variant(int32_t{2}));
  command.SetProperty("Chase referrals", Variant(int32_t{64}));
  command.SetProperty("Cache Results", Variant(false));
  command.SetProperty("Size Limit", Variant(int16_t{1}));
}

std::string AccountQuery(const std::string& columns, const std::string& base_path,
                         const std::string& account_name) {
  return "select " + columns + " from '" + base_path + "' where sAMAccountName='" + account_name +
         "'";
}

}  // namespace brindlecore::component
