#include "ad/ad_case.h"

#include <ostream>

#include "platform/default_platform.h"

namespace brindlecore::testing {

std::vector<std::string> LdapsConfig() {
  return {"ldap.uri = ldaps://" + std::string(kDcHost),
          "ldap.tls_cacert = " + SambaDc::Get().ca_file().string(), "ldap.timeout = 10",
          "ldap.network_timeout = 2"};
}

std::ostream& operator<<(std::ostream& out, const SignInOutcome& o) {
  return out << "{\"" << o.result << "\", \"" << o.list << "\", \"" << o.names << "\", \""
             << o.error << "\"}";
}

AdCase::AdCase(const std::vector<std::string>& config) : accounts_(dir_.path()) {
  accounts_.Computer(kComputer);
  Configure(config);
}

void AdCase::Configure(const std::vector<std::string>& config) {
  SambaDc::Get().WriteConfig(dir_.path(), config);
  platform_ = platform::MakePlatform(dir_.path());
}

SignInOutcome AdCase::Call(const SignIn& s) {
  CallOutcome out =
      CallMethod(*platform_, "AuthenticateUser",
                 {Val(Variant(kComputer)), Val(Variant(s.domain)), Val(Variant(s.user)),
                  Val(Variant(s.password)), Ref(Variant("")), Ref(Variant("")),
                  Val(Variant(s.admin_group)), Val(Variant(s.login_type)), Ref(Variant("x"))});
  if (out.error) return {"!" + out.error->description, "", "", ""};
  return {ToText(out.result), out.text(4), out.text(5), out.text(8)};
}

}  // namespace brindlecore::testing
