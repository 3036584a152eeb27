// Makes one existing account a member of one local group: a local account found by scanning the
// computer's users, or a domain account whose existence a directory search confirms.
#include "component/authentication.h"
#include "component/directory_search.h"
#include "component/frame.h"

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
    step.Run([&] { match = user->Name() == account; });
    if (match) return user;
  }
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

    if (kind == ProviderKind::kWinNt) {
      if (backslash > 0) {
        Raise(
            "Users are validated locally - do not use the \\ character in user name - specify "
            "user name only");
      }
      std::unique_ptr<platform::DirObject> computer;
      if (!RunStep(pvError, " on Attempt to bind to user database.",
                   [&] {
                     computer = platform::Require(platform_.GetObject(provider + ",computer"),
                                                  platform::DirKind::kContainer);
                   }) ||
          !RunStep(pvError, " on Filtering Users", [&] { computer->SetFilter({"user"}); })) {
        return Variant(false);
      }
      std::unique_ptr<platform::DirEnumerator> users = computer->Enumerate();
      platform::DirObject* found = FindUser(*users, user);
      if (found == nullptr) {
        Raise(
            "The user you are trying to add does not exist. Create the user first with a Windows "
            "Administration tool.");
      }
      // The group decides: a missing group or an existing membership fails with its own error.
      std::unique_ptr<platform::DirObject> group = platform::Require(
          platform_.GetObject(provider + "/" + group_name), platform::DirKind::kGroup);
      group->Add(found->ADsPath());
      result = true;
      pvError = "";
    } else {
      if (backslash == 0) Raise("User name incorrect - specify in format DomainName\\UserName.");
      const std::string search_root = ResolveSearchRoot(platform_, provider);
      std::unique_ptr<platform::DirObject> base = platform_.GetObject(search_root);
      const std::string domain_part = Left(user, backslash - 1);
      const std::string account_part = Right(user, static_cast<long>(user.size()) - backslash);
      const std::string command_text = AccountQuery("name, AdsPath", base->ADsPath(), account_part);

      // The process's own credentials: only the account's existence is asked.
      bool exists = false;
      {
        std::unique_ptr<platform::Command> command = OpenSearchCommand(platform_);
        command->SetCommandText(command_text);
        SetSearchProperties(*command, kLookupTimeout);
        std::unique_ptr<platform::Recordset> rows = command->Execute();
        exists = !rows->Eof();
        rows->Close();
      }
      base.reset();
      if (!exists) Raise("The user to add does not exist on the domain.");

      std::unique_ptr<platform::DirObject> group =
          platform::Require(platform_.GetObject("WinNT://" + computer_name + "/" + group_name),
                            platform::DirKind::kGroup);
      group->Add("WinNT://" + domain_part + "/" + account_part);
      result = true;
      pvError = "";
    }
  } catch (const AutomationError& e) {
    pvError = FormA(pvError, e);
    result = false;
  }
  return result;
}

}  // namespace brindlecore::component
