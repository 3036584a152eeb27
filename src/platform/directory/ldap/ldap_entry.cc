// The LDAP library's entry point, looked up by name when the platform first needs LDAP.
#include "platform/directory/ldap/ldap_entry.h"

#include <sasl/sasl.h>

#include "platform/directory/ldap/set_up_check.h"
#include "platform/directory/provider.h"
#include "platform/search/search.h"

namespace {

// libldap starts Cyrus SASL at its first use, and SASL loads every installed mechanism with
// their own libraries (OpenSSL, Berkeley DB): 2 MiB and more in every process that touches LDAP.
// Every bind here is a simple bind, so SASL is pointed at a plugin folder that cannot exist
// before libldap first asks for it. Only this process's SASL is affected.
void LoadNoSaslMechanisms() {
  static char no_plugins[] = "/nonexistent/brindlecore/sasl2";
  sasl_set_path(SASL_PATH_TYPE_PLUGIN, no_plugins);
}

}  // namespace

extern "C" const brindlecore::platform::LdapBackend* BrindlecoreLdapBackend() {
  static const brindlecore::platform::LdapBackend backend = [] {
    LoadNoSaslMechanisms();
    return brindlecore::platform::LdapBackend{&brindlecore::platform::MakeLdapProvider,
                                              &brindlecore::platform::NewSearchConnection,
                                              &brindlecore::platform::ldap::CheckSetUp};
  }();
  return &backend;
}
