// The Authentication class: sixteen methods that the administration pages call by name.
//
// Each method lives in its own file under its subsystem's folder and reads top to bottom like
// its algorithm. Variant parameters taken by value are the method's own copies; by-reference
// parameters are the caller's variables. A method reports failures through its outputs and
// returns; the failures that reach the host as automation errors are thrown as AutomationError.
#ifndef BRINDLECORE_COMPONENT_AUTHENTICATION_H_
#define BRINDLECORE_COMPONENT_AUTHENTICATION_H_

#include <span>
#include <string>
#include <string_view>

#include "brindlecore/automation.h"
#include "brindlecore/variant.h"
#include "platform/platform.h"

namespace brindlecore::component {

class Authentication {
 public:
  // `self` is the object's own dispatch interface, through which the two methods that call
  // others (GetAllUsers, ImportProfileAdmins) make those calls.
  Authentication(platform::Platform& platform, IDispatch* self)
      : platform_(platform), self_(self) {}

  // Applies an import file of "+" (add) and "-" (remove) lines; one HTML table row per line.
  Variant ImportProfileAdmins(Variant psFileName, Variant psAuthString, Variant psComputerName);
  // Signs an administrator in; fills both group lists, or leaves a refusal in pvError.
  Variant AuthenticateUser(Variant psComputerName, Variant psNTDomain, Variant psUserName,
                           Variant psPassword, Variant& pvGroupList, Variant& pvGroupNames,
                           Variant psAdminGroup, Variant psLoginType, Variant& pvError);
  // The administrator groups of a local database that a user belongs to, as one text.
  Variant GetGroupList(Variant sNTDomain, Variant sUserName, Variant sLoginType, Variant& pvError);
  // The profile groups of a local database as the administration page's table rows.
  Variant GetAllGroupsList(Variant sNTDomain, Variant sUserName, Variant sPassword,
                           Variant& pvError);
  // Adds an existing local or domain account to a local group; True when it was added.
  Variant AddUserToGroup(Variant psUserProvider, Variant psComputerName, Variant psUserToAdd,
                         Variant psGroupToAddTo, Variant& pvError);
  // Takes a member, named by its full WinNT path, out of a local group; True when removed.
  Variant RemoveUserFromGroup(Variant psNTDomain, Variant psUserToRemove,
                              Variant psGroupToRemoveFrom, Variant& pvError);
  // A per-site profile group for every web site; on request removes those whose site is gone.
  Variant GenerateGroups(Variant sNTDomain, Variant sUserName, Variant sPassword,
                         Variant sRemoveRedundant, Variant& pvError);
  // Every user of a local database or a domain as picker rows or overview rows.
  Variant GetAllUsers(Variant psUserProvider, Variant psComputerName, Variant psCurrentGroup,
                      Variant psShowGroups, Variant& pvError);
  // The profile-administrators table: each local user with the per-site groups it is in.
  Variant GetAllUsersList(Variant sNTDomain, Variant sUserName, Variant sPassword,
                          Variant& pvError);
  // Creates a web site numbered after the highest; returns the number, "0" on failure.
  std::string CreateVirtualWebServer(std::string IP, std::string Port, std::string RootDir,
                                     std::string ServerComment, std::string& pvError);
  // The web sites with their comments and addresses, one tab-ended entry each.
  std::string GetVirtualWebServers(std::string& pvError);
  // Starts the web site whose number is ServerName.
  bool StartVirtualWebServer(std::string& ServerName, std::string& pvError);
  // Points a site's root at DirPath, or adds the virtual directory VirtDirName under it.
  bool CreateVirtualDir(std::string& ServerName, std::string& VirtDirName, std::string& DirPath,
                        std::string& pvError);
  // Offers the user a favorites link to pURL titled pTitle.
  bool AddFavorite(std::string& pURL, std::string& pTitle, std::string& pvError);
  // Creates a multi-site profile group under the smallest free number.
  Variant AddExternalGroup(Variant sNTDomain, Variant sUserName, Variant sPassword,
                           Variant sGroupDescription, Variant& pvError);
  // Changes a group's description ("Update") or deletes the group ("Delete").
  Variant UpdateGroup(Variant sNTDomain, Variant sUserName, Variant sPassword, Variant sGroupName,
                      Variant sGroupDescription, Variant sAction, Variant& pvError);

 private:
  // A call of one of this object's methods by name through its own dispatch interface, as the
  // class calls itself. Throws AutomationError when the called method fails towards its caller.
  Variant CallSelf(std::string_view method, std::span<Arg> args);

  platform::Platform& platform_;
  IDispatch* self_;
};

}  // namespace brindlecore::component

#endif  // BRINDLECORE_COMPONENT_AUTHENTICATION_H_
