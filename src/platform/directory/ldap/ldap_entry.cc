// The LDAP library's entry point, looked up by name when the platform first needs LDAP.
#include "platform/directory/ldap/ldap_entry.h"

#include "platform/directory/ldap/set_up_check.h"
#include "platform/directory/provider.h"
#include "platform/search/search.h"

extern "C" const brindlecore::platform::LdapBackend* BrindlecoreLdapBackend() {
  static const brindlecore::platform::LdapBackend backend = {
      &brindlecore::platform::MakeLdapProvider, &brindlecore::platform::NewSearchConnection,
      &brindlecore::platform::ldap::CheckSetUp};
  return &backend;
}
