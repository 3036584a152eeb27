// The objects the WinNT provider hands out: the "WinNT:" namespace, an account database's
// container, its users and groups, and group members.
//
// Objects read from store snapshots and write through the store, one transaction per change;
// they keep the store alive, so they may outlive the provider that made them.
#ifndef BRINDLECORE_PLATFORM_DIRECTORY_WINNT_WINNT_OBJECTS_H_
#define BRINDLECORE_PLATFORM_DIRECTORY_WINNT_WINNT_OBJECTS_H_

#include <memory>
#include <string>

#include "platform/directory/winnt/account_store.h"
#include "platform/directory/winnt/winnt_path.h"
#include "platform/platform.h"

namespace brindlecore::platform::winnt {

// Binds a WinNT path with the process's credentials: E_ADS_BAD_PATHNAME for bad syntax,
// ERROR_BAD_NETPATH for a database that is not there, NERR_UserNotFound for a missing account of a
// ",user" path, NERR_GroupNotFound for any other missing account.
std::unique_ptr<DirObject> BindWinNt(const std::shared_ptr<AccountStore>& store,
                                     const std::string& path);

}  // namespace brindlecore::platform::winnt

#endif  // BRINDLECORE_PLATFORM_DIRECTORY_WINNT_WINNT_OBJECTS_H_
