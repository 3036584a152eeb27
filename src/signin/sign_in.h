// The two directory paths of AuthenticateUser and what they share. Each path fills the outputs
// it is handed and either returns (the caller is done) or throws an AutomationError, which the
// caller's error trap turns into error text; the outputs then hold what was set before the throw.
#ifndef BRINDLECORE_SIGNIN_SIGN_IN_H_
#define BRINDLECORE_SIGNIN_SIGN_IN_H_

#include <string>
#include <string_view>

#include "brindlecore/variant.h"
#include "platform/platform.h"

namespace brindlecore::signin {

inline constexpr std::string_view kServerAdministrator = "ServerAdministrator";
inline constexpr std::string_view kProfileAdministrator = "ProfileAdministrator";

// What the caller typed, untrimmed; `login_type` is one of the two names above.
struct SignInRequest {
  std::string account;
  std::string password;
  std::string admin_group;
  std::string login_type;
};

// The caller's result and by-reference outputs; the lists were set to "" before the path runs.
struct SignInOutputs {
  Variant& result;
  Variant& group_list;
  Variant& group_names;
  Variant& error;
};

// Signs in against the account database of `target` with the user's own credentials.
void WinNtSignIn(platform::Platform& platform, const std::string& target,
                 const SignInRequest& request, SignInOutputs& out);

// Signs in by a directory search under `domain_text` run with the user's credentials; profile
// groups are read from the local database of `computer`.
void LdapSignIn(platform::Platform& platform, const std::string& domain_text,
                const std::string& computer, const SignInRequest& request, SignInOutputs& out);

// Whether `v` holds exactly this text; values of other types never compare equal to a text.
inline bool HoldsText(const Variant& v, std::string_view text) {
  return v.IsString() && v.str() == text;
}

// Walks the members of `group`; for each whose Name equals `member_name` exactly, appends the
// group's entry (its Name, or with `profile_key` its Name without the first two characters) and
// ";" to the list, then its Description and ";" to the names. A failure while handling one member
// skips the rest of that member, so a failed Description leaves the list one entry longer than
// the names. A failure to move to the next member ends the walk: the enumerator's position is
// then unknown, and retrying could go on for ever. Taking the member list itself throws.
void AppendMemberships(platform::DirObject& group, const std::string& member_name, bool profile_key,
                       SignInOutputs& out);

// Text of the refusal when credentials were accepted but no group qualifies.
std::string MembershipRefusal(std::string_view login_type);

}  // namespace brindlecore::signin

#endif  // BRINDLECORE_SIGNIN_SIGN_IN_H_
