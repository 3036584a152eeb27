// Lists the administrator groups of one account database that a user belongs to, read with the
// process's own credentials (no password is asked for).
#include <array>
#include <string_view>

#include "component/authentication.h"
#include "component/frame.h"
#include "component/profile_group_names.h"
#include "signin/sign_in.h"

namespace brindlecore::component {

namespace {

// Appends `entry` once for every member of `group` named exactly `user_name`. Nothing in the walk
// is reported: a member that cannot be read simply does not match, and a failure to take the
// member list or to move on ends the walk.
void AppendPerMatchingMember(platform::DirObject& group, const Variant& user_name,
                             const std::string& entry, std::string& list) {
  ContinueAfterError ignored;
  std::unique_ptr<platform::DirEnumerator> members;
  if (!ignored.Run([&] { members = group.Members(); })) return;
  // Names only, a batch at a time: the overview walks every group for every user.
  std::array<std::string_view, 32> names;
  while (true) {
    size_t count = 0;
    if (!ignored.Run([&] { count = members->NextNames(names); }) || count == 0) return;
    for (size_t i = 0; i < count; ++i) {
      if (signin::HoldsText(user_name, names[i])) list += entry;
    }
  }
}

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
    std::unique_ptr<platform::DirEnumerator> groups = domain->Enumerate();
    while (platform::DirObject* group = groups->NextBorrowed()) {
      if (Trim(group->Name()) == "Administrators" && server) {
        AppendPerMatchingMember(*group, sUserName, group->Name() + "\r\n", result);
      }
      // Multi-site groups are left out on purpose: this list serves the per-site overview.
      if (HasPrefix(group->Name(), kPerSitePrefix) && profile) {
        AppendPerMatchingMember(*group, sUserName, group->Name() + ";", result);
      }
    }
    return Variant(result);
  } catch (const AutomationError& e) {
    pvError = FormC(pvError, e);
    return Variant("");
  }
}

}  // namespace brindlecore::component
