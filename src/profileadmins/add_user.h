// The two halves of AddUserToGroup, one per kind of account. Each adds the member or throws an
// AutomationError, which the caller's error trap turns into error text.
#ifndef BRINDLECORE_PROFILEADMINS_ADD_USER_H_
#define BRINDLECORE_PROFILEADMINS_ADD_USER_H_

#include <string>

#include "brindlecore/variant.h"
#include "platform/platform.h"

namespace brindlecore::profileadmins {

// The checked arguments, as typed.
struct AddRequest {
  std::string provider;
  std::string computer_name;
  std::string user;  // holds no "/"
  long backslash;    // position of the first "\" in `user` counting from 1, 0 when there is none
  std::string group_name;
};

// Adds the local account `user` of the database `provider` names to that database's group.
// Returns false, with the step's text in `error` and nothing done, when the database cannot be
// bound or its users not filtered.
bool AddLocalUser(platform::Platform& platform, const AddRequest& request, Variant& error);

// Adds the domain account "DOMAIN\account" to the group of `computer_name`, once a search under
// `provider` with the process's own credentials has found the account.
void AddDomainUser(platform::Platform& platform, const AddRequest& request);

}  // namespace brindlecore::profileadmins

#endif  // BRINDLECORE_PROFILEADMINS_ADD_USER_H_
