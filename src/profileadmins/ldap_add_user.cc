// Addition of a domain account: the local group takes the account by its WinNT path, so a search
// of the domain is what confirms that the account exists before it is added.
#include "component/account_database.h"
#include "component/directory_search.h"
#include "component/frame.h"
#include "profileadmins/add_user.h"

namespace brindlecore::profileadmins {

using component::Left;
using component::Raise;
using component::Right;

void AddDomainUser(platform::Platform& platform, const AddRequest& request) {
  const std::string& user = request.user;
  if (request.backslash == 0)
    Raise("User name incorrect - specify in format DomainName\\UserName.");
  const std::string search_root = component::ResolveSearchRoot(platform, request.provider);
  std::unique_ptr<platform::DirObject> base = platform.GetObject(search_root);
  const std::string domain_part = Left(user, request.backslash - 1);
  const std::string account_part = Right(user, static_cast<long>(user.size()) - request.backslash);
  const std::string command_text =
      component::AccountQuery("name, AdsPath", base->ADsPath(), account_part);

  // The process's own credentials: only the account's existence is asked.
  bool exists = false;
  {
    std::unique_ptr<platform::Command> command = component::OpenSearchCommand(platform);
    command->SetCommandText(command_text);
    component::SetSearchProperties(*command, component::kLookupTimeout);
    std::unique_ptr<platform::Recordset> rows = command->Execute();
    exists = !rows->Eof();
    rows->Close();
  }
  base.reset();
  if (!exists) Raise("The user to add does not exist on the domain.");

  std::unique_ptr<platform::DirObject> group =
      component::BindGroup(platform, request.computer_name, request.group_name);
  group->Add("WinNT://" + domain_part + "/" + account_part);
}

}  // namespace brindlecore::profileadmins
