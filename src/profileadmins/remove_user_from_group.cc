// Takes one member, named by its full WinNT path, out of one local group; the directory decides
// whether that is possible.
#include <string_view>

#include "component/account_database.h"
#include "component/authentication.h"
#include "component/frame.h"

namespace brindlecore::component {
namespace {

constexpr std::string_view kWinNtPathStart = "WinNT://";

}  // namespace

Variant Authentication::RemoveUserFromGroup(Variant psNTDomain, Variant psUserToRemove,
                                            Variant psGroupToRemoveFrom, Variant& pvError) {
  Variant result = false;
  // Checked before the trap is armed: a refused argument reaches the caller as an error and
  // leaves pvError alone.
  CheckArgument(psNTDomain, "Computer Name To Remove From");
  const std::string computer_name = ToText(psNTDomain);
  CheckArgument(psUserToRemove, "User Name To Remove From");
  const std::string user_path = ToText(psUserToRemove);
  if (Left(user_path, static_cast<long>(kWinNtPathStart.size())) != kWinNtPathStart) {
    Raise("A full ADSI Path (starting with WinNT://) should be specified for the username.");
  }
  CheckArgument(psGroupToRemoveFrom, "Group Name To Remove From");
  const std::string group_name = ToText(psGroupToRemoveFrom);

  // Both steps after the checks report their own failures, so no other error is left for a trap
  // to turn into text.
  std::unique_ptr<platform::DirObject> group;
  if (!RunStep(pvError, " on Attempt to bind to group.",
               [&] { group = BindGroup(platform_, computer_name, group_name); }) ||
      !RunStep(pvError, " on Removing user from group", [&] { group->Remove(user_path); })) {
    return result;
  }
  result = true;
  return result;
}

}  // namespace brindlecore::component
