// Addition of a local account: the account is looked for among the database's own users and
// added by the path the database gives it, so the group never receives a path typed by hand.
#include "component/frame.h"
#include "profileadmins/add_user.h"

namespace brindlecore::profileadmins {

using component::ContinueAfterError;
using component::Raise;
using component::RunStep;

namespace {

// The user object whose Name is exactly `account`, or nullptr. Reading the name of one user can
// fail on its own; that user is passed over and the scan goes on with the next one, so one bad
// account cannot hide the rest and the scan always ends. A failure to move on to the next user
// ends the scan, since the enumerator's position is then unknown.
// The user is the enumeration's own object: it lives as long as `users` and until its next step.
platform::DirObject* FindUser(platform::DirEnumerator& users, const std::string& account) {
  while (true) {
    platform::DirObject* user = nullptr;
    ContinueAfterError step;
    if (!step.Run([&] { user = users.NextBorrowed(); }) || user == nullptr) return nullptr;
    bool match = false;
    step.Run([&] { match = user->NameView() == account; });
    if (match) return user;
  }
}

}  // namespace

bool AddLocalUser(platform::Platform& platform, const AddRequest& request, Variant& error) {
  if (request.backslash > 0) {
    Raise(
        "Users are validated locally - do not use the \\ character in user name - specify user "
        "name only");
  }
  std::unique_ptr<platform::DirObject> computer;
  const auto bind = [&] {
    computer = platform::Require(platform.GetObject(request.provider + ",computer"),
                                 platform::DirKind::kContainer);
  };
  if (!RunStep(error, " on Attempt to bind to user database.", bind) ||
      !RunStep(error, " on Filtering Users", [&] { computer->SetFilter({"user"}); })) {
    return false;
  }
  std::unique_ptr<platform::DirEnumerator> users = computer->Enumerate();
  platform::DirObject* found = FindUser(*users, request.user);
  if (found == nullptr) {
    Raise(
        "The user you are trying to add does not exist. Create the user first with a Windows "
        "Administration tool.");
  }
  // The group decides: a missing group or an existing membership fails with its own error.
  std::unique_ptr<platform::DirObject> group = platform::Require(
      platform.GetObject(request.provider + "/" + request.group_name), platform::DirKind::kGroup);
  group->Add(found->ADsPath());
  return true;
}

}  // namespace brindlecore::profileadmins
