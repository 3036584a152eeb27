// Sign-in against a directory: a search for the user's own account, run with the user's
// credentials, is the password check; group membership is then read with the process's own
// credentials, from the directory for server administrators and from the local account database
// for profile administrators.
#include "component/account_database.h"
#include "component/directory_search.h"
#include "component/frame.h"
#include "component/profile_group_names.h"
#include "signin/sign_in.h"

namespace brindlecore::signin {

using component::AccountQuery;
using component::ContinueAfterError;
using component::InStr;
using component::IsProfileGroupName;
using component::Mid;
using component::Raise;

namespace {

// The account name without a "DOMAIN\" in front. A backslash in first place is no domain part.
std::string ShortAccountName(const std::string& account) {
  const long backslash = InStr(1, account, "\\");
  return backslash >= 2 ? Mid(account, backslash + 1) : account;
}

void ServerAdministratorGroups(platform::Platform& platform, platform::Command& command,
                               const std::string& base_path, const std::string& user_rdn,
                               const SignInRequest& request, SignInOutputs& out) {
  command.SetCommandText(AccountQuery("name, AdsPath", base_path, request.admin_group));
  std::unique_ptr<platform::Recordset> rows = command.Execute();
  std::string admin_group_path;
  {
    ContinueAfterError ignored;
    bool at_end = true;
    ignored.Run([&] { at_end = rows->Eof(); });
    if (!at_end) {
      ignored.Run([&] { rows->MoveFirst(); });
      ignored.Run([&] { admin_group_path = ConcatText(rows->Field("AdsPath")); });
    }
  }
  rows->Close();
  rows.reset();
  if (admin_group_path.empty()) {
    Raise("Server Admin Group specified on Authentication Provider setup does not exist.");
  }

  std::unique_ptr<platform::DirObject> admin_group =
      platform::Require(platform.GetObject(admin_group_path), platform::DirKind::kGroup);
  AppendMemberships(*admin_group, user_rdn, /*profile_key=*/false, out);
  if (ConcatText(out.group_list).empty()) out.error = MembershipRefusal(request.login_type);
}

void ProfileAdministratorGroups(platform::Platform& platform, const std::string& computer_name,
                                const std::string& short_account, const SignInRequest& request,
                                SignInOutputs& out) {
  std::unique_ptr<platform::DirObject> computer;
  try {
    computer = component::BindComputer(platform, computer_name);
  } catch (const AutomationError&) {
    Raise("Could not connect to local Windows NT/2000 user database.");
  }
  computer->SetFilter({"group"});
  std::unique_ptr<platform::DirEnumerator> groups = computer->Enumerate();
  while (std::unique_ptr<platform::DirObject> group = groups->Next()) {
    // The local database reports a domain account under its bare account name.
    if (IsProfileGroupName(group->Name())) {
      AppendMemberships(*group, short_account, /*profile_key=*/true, out);
    }
  }
  if (ConcatText(out.group_list).empty()) out.error = MembershipRefusal(request.login_type);
}

}  // namespace

void LdapSignIn(platform::Platform& platform, const std::string& domain_text,
                const std::string& computer, const SignInRequest& request, SignInOutputs& out) {
  const std::string search_root = component::ResolveSearchRoot(platform, domain_text);
  std::unique_ptr<platform::DirObject> base = platform.GetObject(search_root);
  const std::string short_account = ShortAccountName(request.account);

  // The user's own credentials go on the connection: the search is the password check.
  std::unique_ptr<platform::Command> command =
      component::OpenSearchCommand(platform, request.account, request.password);
  command->SetCommandText(AccountQuery("name, AdsPath, cn", base->ADsPath(), short_account));
  component::SetSearchProperties(*command, component::kLookupTimeout);
  std::unique_ptr<platform::Recordset> rows = command->Execute();

  // Reading the row is best effort: whatever could not be read stays unset, and an unset user
  // path is refused just below like a missing row.
  std::string user_rdn;
  {
    ContinueAfterError ignored;
    bool at_end = true;
    ignored.Run([&] { at_end = rows->Eof(); });
    if (!at_end) {
      ignored.Run([&] { rows->MoveFirst(); });
      ignored.Run([&] { out.result = rows->Field("AdsPath"); });
      ignored.Run([&] { user_rdn = "CN=" + ConcatText(rows->Field("cn")); });
    }
    ignored.Run([&] { rows->Close(); });
    rows.reset();
  }
  if (HoldsText(out.result, "")) {
    Raise("Login credentials (username and/or password) incorrect.");
  }

  if (request.login_type == kServerAdministrator) {
    ServerAdministratorGroups(platform, *command, base->ADsPath(), user_rdn, request, out);
  } else {
    ProfileAdministratorGroups(platform, computer, short_account, request, out);
  }
}

}  // namespace brindlecore::signin
