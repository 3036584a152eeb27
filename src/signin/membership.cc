// The group walk both sign-in paths share, kept apart from them so that the WinNT and the
// directory path list memberships and refuse alike.
#include "component/frame.h"
#include "signin/sign_in.h"

namespace brindlecore::signin {

using component::ContinueAfterError;
using component::Mid;

void AppendMemberships(platform::DirObject& group, const std::string& member_name, bool profile_key,
                       SignInOutputs& out) {
  std::unique_ptr<platform::DirEnumerator> members = group.Members();
  while (true) {
    platform::DirObject* member = nullptr;
    ContinueAfterError step;
    if (!step.Run([&] { member = members->NextBorrowed(); }) || member == nullptr) return;
    step.Run([&] {
      if (member->Name() != member_name) return;
      const std::string entry = profile_key ? Mid(group.Name(), 3) : group.Name();
      out.group_list = ConcatText(out.group_list) + entry + ";";
      out.group_names = ConcatText(out.group_names) + group.Description() + ";";
    });
  }
}

std::string MembershipRefusal(std::string_view login_type) {
  if (login_type == kServerAdministrator) {
    return "User Authenticated, but Group Membership Incorrect for Server Administrator.";
  }
  return "User Authenticated, but Group Membership Incorrect for Profile Administrator.";
}

}  // namespace brindlecore::signin
