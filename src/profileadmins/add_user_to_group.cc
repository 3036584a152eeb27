// Makes one existing account a member of one local group: a local account found by scanning the
// computer's users, or a domain account whose existence a directory search confirms. The checks
// are the method's own; the two kinds of account mirror the two sign-in paths.
#include "component/authentication.h"
#include "component/frame.h"
#include "profileadmins/add_user.h"

namespace brindlecore::component {

namespace {

enum class ProviderKind { kNone, kLdap, kWinNt };

// Looked for anywhere in the text, and "WinNT://" wins when both occur.
ProviderKind KindOf(const std::string& provider) {
  ProviderKind kind = ProviderKind::kNone;
  if (InStr(1, provider, "LDAP://") > 0) kind = ProviderKind::kLdap;
  if (InStr(1, provider, "WinNT://") > 0) kind = ProviderKind::kWinNt;
  return kind;
}

}  // namespace

Variant Authentication::AddUserToGroup(Variant psUserProvider, Variant psComputerName,
                                       Variant psUserToAdd, Variant psGroupToAddTo,
                                       Variant& pvError) {
  Variant result = false;
  try {
    CheckNotNull(psUserProvider, "Invalid Provider String -- Null");
    CheckNotEmpty(psUserProvider, "Invalid Provider String -- Empty");
    CheckLength(psUserProvider, 6, "Invalid Provider String - to short or zero length");
    const std::string provider = ToText(psUserProvider);
    const ProviderKind kind = KindOf(provider);
    if (kind == ProviderKind::kNone) Raise("Invalid Provider String - should be LDAP or WinNT");
    CheckArgument(psComputerName, "Computer Name");
    const std::string computer_name = ToText(psComputerName);
    CheckArgument(psUserToAdd, "User Name To Add");
    const std::string user = ToText(psUserToAdd);
    if (InStr(1, user, "/") > 0) Raise("Invalid character / found in user name.");
    const long backslash = InStr(1, user, "\\");
    CheckNotNull(psGroupToAddTo, "Invalid Group Name To Add To -- Null");
    CheckNotEmpty(psGroupToAddTo, "Invalid Group Name To Add To-- Empty");
    CheckLength(psGroupToAddTo, 1, "Invalid Group Name To Add To - 0 Length String");
    const std::string group_name = ToText(psGroupToAddTo);
    pvError = "";

    const profileadmins::AddRequest request{provider, computer_name, user, backslash, group_name};
    if (kind == ProviderKind::kWinNt) {
      if (!profileadmins::AddLocalUser(platform_, request, pvError)) return Variant(false);
    } else {
      profileadmins::AddDomainUser(platform_, request);
    }
    result = true;
    pvError = "";
  } catch (const AutomationError& e) {
    pvError = FormA(pvError, e);
    result = false;
  }
  return result;
}

}  // namespace brindlecore::component
