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

// The groups the login type asks about, and the list of those that hold the user. A user name
// that is no text matches no member; the members are still asked for, as for any other name.
class GroupList final : public platform::MemberCountVisitor {
 public:
  GroupList(bool server, bool profile, const Variant& user_name)
      : server_(server), profile_(profile), is_text_(user_name.IsString()) {}

  bool Asks(std::string_view name) override {
    // Multi-site groups are left out on purpose: this list serves the per-site overview.
    return Administrators(name) || (profile_ && HasPrefix(name, kPerSitePrefix));
  }
  // The name and its suffix once for every member named exactly as the user.
  void Found(std::string_view name, size_t count) override {
    if (!is_text_) return;
    const std::string_view suffix = Administrators(name) ? "\r\n" : ";";
    for (; count > 0; --count) result_.append(name).append(suffix);
  }
  std::string& result() { return result_; }

 private:
  bool Administrators(std::string_view name) const {
    return server_ && Trim(name) == "Administrators";
  }

  const bool server_, profile_, is_text_;
  std::string result_;
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

    GroupList list(signin::HoldsText(sLoginType, signin::kServerAdministrator),
                   signin::HoldsText(sLoginType, signin::kProfileAdministrator), sUserName);
    // A failed read of a name goes to the trap, whichever test would have read it; a group whose
    // members cannot be read simply holds no match.
    domain->Enumerate()->CountMembersNamedEach(
        sUserName.IsString() ? sUserName.str() : std::string_view(), list);
    return Variant(std::move(list.result()));
  } catch (const AutomationError& e) {
    pvError = FormC(pvError, e);
    return Variant("");
  }
}

}  // namespace brindlecore::component
