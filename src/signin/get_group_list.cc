// Lists the administrator groups of one account database that a user belongs to, read with the
// process's own credentials (no password is asked for).
#include <string>
#include <string_view>

#include "component/authentication.h"
#include "component/frame.h"
#include "component/profile_group_names.h"
#include "signin/sign_in.h"

namespace brindlecore::component {

namespace {

// Finds one user among the members of groups. A user name that is no text matches no member;
// the members are still asked for, as for any other name.
class MemberMatcher {
 public:
  explicit MemberMatcher(const Variant& user_name)
      : is_text_(user_name.IsString()), user_(is_text_ ? user_name.str() : std::string_view()) {}

  // Appends `name` and `suffix` once for every member of `group` named exactly as the user.
  // Nothing in the walk is reported: a member that cannot be read simply does not match, and a
  // failure to take the member list or to move on ends the walk.
  void AppendPerMatch(platform::DirObject& group, std::string_view name, std::string_view suffix,
                      std::string& list) const {
    size_t matches = 0;
    try {
      matches = group.CountMembersNamed(user_);
    } catch (const AutomationError&) {
      return;
    }
    if (!is_text_) return;
    for (; matches > 0; --matches) list.append(name).append(suffix);
  }

 private:
  const bool is_text_;
  const std::string_view user_;
};

}  // namespace

Variant Authentication::GetGroupList(Variant sNTDomain, Variant sUserName, Variant sLoginType,
                                     Variant& pvError) {
  try {
    std::unique_ptr<platform::DirObject> domain;
    if (!RunStep(pvError, " on Binding Attempt",
                 [&] { domain = platform_.GetObject("WinNT://" + ConcatText(sNTDomain)); }) ||
        !RunStep(pvError, " on Filtering Groups", [&] { domain->SetFilter({"group"}); })) {
      return Variant("");
    }

    const bool server = signin::HoldsText(sLoginType, signin::kServerAdministrator);
    const bool profile = signin::HoldsText(sLoginType, signin::kProfileAdministrator);
    std::string result;
    MemberMatcher matcher(sUserName);
    std::unique_ptr<platform::DirEnumerator> groups = domain->Enumerate();
    while (platform::DirObject* group = groups->NextBorrowed()) {
      // A failed read of the name goes to the trap, whichever test would have read it.
      const std::string_view name = group->NameView();
      if (server && Trim(name) == "Administrators") {
        matcher.AppendPerMatch(*group, name, "\r\n", result);
      }
      // Multi-site groups are left out on purpose: this list serves the per-site overview.
      if (profile && HasPrefix(name, kPerSitePrefix))
        matcher.AppendPerMatch(*group, name, ";", result);
    }
    return Variant(result);
  } catch (const AutomationError& e) {
    pvError = FormC(pvError, e);
    return Variant("");
  }
}

}  // namespace brindlecore::component
