// Sign-in against a local account database: binding with the user's credentials is the password
// check, and the same binding is then walked for the groups that give rights.
#include "component/frame.h"
#include "component/profile_group_names.h"
#include "signin/sign_in.h"

namespace brindlecore::signin {

using component::IsProfileGroupName;
using component::Raise;

void WinNtSignIn(platform::Platform& platform, const std::string& target,
                 const SignInRequest& request, SignInOutputs& out) {
  std::unique_ptr<platform::DirObject> name_space = platform.GetObject("WinNT:");
  // A refused password and an unknown account fail alike here, and the trap reports them.
  std::unique_ptr<platform::DirObject> computer = platform::Require(
      name_space->OpenDSObject("WinNT://" + target + ",computer", target + "\\" + request.account,
                               request.password, 1),
      platform::DirKind::kContainer);
  computer->SetFilter({"group"});

  std::unique_ptr<platform::DirEnumerator> groups = computer->Enumerate();
  while (std::unique_ptr<platform::DirObject> group = groups->Next()) {
    // Seeing any group at all is what proves the binding really opened the database.
    out.result = request.account;
    if (request.login_type == kServerAdministrator && Trim(group->Name()) == request.admin_group) {
      AppendMemberships(*group, request.account, /*profile_key=*/false, out);
    }
    if (request.login_type == kProfileAdministrator && IsProfileGroupName(group->Name())) {
      AppendMemberships(*group, request.account, /*profile_key=*/true, out);
    }
  }

  if (ConcatText(out.result).empty()) {
    Raise("Login credentials (username and/or password) incorrect.");
  }
  out.error = ConcatText(out.group_list).empty() ? MembershipRefusal(request.login_type) : "";
}

}  // namespace brindlecore::signin
