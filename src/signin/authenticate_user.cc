// Signs an administrator in: checks the arguments, recognises the directory from the first
// characters of the domain text and hands over to the WinNT or the LDAP path, which fill the two
// group lists and leave any refusal in pvError.
#include "component/authentication.h"
#include "component/frame.h"
#include "platform/automation/errors.h"
#include "signin/sign_in.h"

namespace brindlecore::component {

namespace {

// A WinNT path's opening, "WinNT://": the account database's name follows it.
constexpr long kWinNtPathStartLength = 8;

// Anything but the two names in their exact spelling is refused, Empty included.
void CheckLoginType(const Variant& login_type) {
  CheckNotNull(login_type, "Login Type -- Null");
  if (!signin::HoldsText(login_type, signin::kServerAdministrator) &&
      !signin::HoldsText(login_type, signin::kProfileAdministrator)) {
    Raise("Login Type should be ServerAdministrator or ProfileAdministrator");
  }
}

}  // namespace

Variant Authentication::AuthenticateUser(Variant psComputerName, Variant psNTDomain,
                                         Variant psUserName, Variant psPassword,
                                         Variant& pvGroupList, Variant& pvGroupNames,
                                         Variant psAdminGroup, Variant psLoginType,
                                         Variant& pvError) {
  Variant result = "";
  try {
    CheckArgument(psNTDomain, "NT Domain");
    const std::string domain_text = ToText(psNTDomain);
    CheckArgument(psComputerName, "Computer Name");
    const std::string computer = ToText(psComputerName);
    signin::SignInRequest request;
    CheckArgument(psUserName, "User Name");
    request.account = ToText(psUserName);
    CheckArgument(psPassword, "Password");
    request.password = ToText(psPassword);
    CheckArgument(psAdminGroup, "Admin Group");
    request.admin_group = ToText(psAdminGroup);
    CheckLoginType(psLoginType);
    request.login_type = psLoginType.str();

    // Only now: a refused argument leaves the caller's lists as they were.
    pvGroupList = "";
    pvGroupNames = "";
    signin::SignInOutputs out{result, pvGroupList, pvGroupNames, pvError};

    if (Left(domain_text, 4) == "LDAP") {
      signin::LdapSignIn(platform_, domain_text, computer, request, out);
    } else if (Left(domain_text, 5) == "WinNT") {
      // Characters six to eight are taken to be "://" unseen. Counting from the right makes a
      // text of five to seven characters an invalid argument, while "WinNT://" names nothing.
      const std::string target =
          Right(domain_text, static_cast<long>(domain_text.size()) - kWinNtPathStartLength);
      signin::WinNtSignIn(platform_, target, request, out);
    } else {
      pvError = "Invalid Authentication Provider String.";
    }
  } catch (const AutomationError& e) {
    if (e.number == errors::kDbSecEPermissiondenied.number) {
      pvError = "Username/password does not exist.";
    } else {
      pvError = FormC(pvError, e);
    }
  }
  return result;
}

}  // namespace brindlecore::component
