// Lists the administrator groups of one account database that a user belongs to, read with the
// process's own credentials (no password is asked for).
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "component/authentication.h"
#include "component/frame.h"
#include "component/profile_group_names.h"
#include "signin/sign_in.h"

namespace brindlecore::component {

namespace {

// Finds one user among the members of groups. Made once per call and reused for every group:
// the overview walks every group for every user, millions of compares in all, so a name of 4
// to 16 bytes is compared inline as two overlapping words, known in advance for the user.
class MemberMatcher {
 public:
  // A user name that is no text matches no member.
  explicit MemberMatcher(const Variant& user_name)
      : is_text_(user_name.IsString()), user_(is_text_ ? user_name.str() : std::string_view()) {
    const size_t size = user_.size();
    word_ = size >= 8 && size <= 16 ? 8 : size >= 4 && size < 8 ? 4 : 0;
    if (word_ != 0) {
      head_ = Word(user_.data());
      tail_ = Word(user_.data() + size - word_);
    }
  }

  // Appends `name` and `suffix` once for every member of `group` named exactly as the user.
  // Nothing in the walk is reported: a member that cannot be read simply does not match, and a
  // failure to take the member list or to move on ends the walk.
  void AppendPerMatch(platform::DirObject& group, std::string_view name, std::string_view suffix,
                      std::string& list) const {
    std::span<const std::string> members;
    try {
      members = group.MemberNames();
    } catch (const AutomationError&) {
      return;
    }
    if (!is_text_) return;
    const size_t size = user_.size();
    for (const std::string& member : members) {
      if (member.size() != size) continue;
      const bool same =
          word_ != 0 ? Word(member.data()) == head_ && Word(member.data() + size - word_) == tail_
                     : std::string_view(member) == user_;
      if (same) list.append(name).append(suffix);
    }
  }

 private:
  uint64_t Word(const char* at) const {
    if (word_ == 4) {
      uint32_t word;
      std::memcpy(&word, at, sizeof word);
      return word;
    }
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
  }

  const bool is_text_;
  const std::string_view user_;
  size_t word_ = 0;  // bytes in each of the two words compared; 0: compared whole
  uint64_t head_ = 0, tail_ = 0;
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
