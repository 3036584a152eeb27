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

  Variant ImportProfileAdmins(Variant psFileName, Variant psAuthString, Variant psComputerName);
  Variant AuthenticateUser(Variant psComputerName, Variant psNTDomain, Variant psUserName,
                           Variant psPassword, Variant& pvGroupList, Variant& pvGroupNames,
                           Variant psAdminGroup, Variant psLoginType, Variant& pvError);
  Variant GetGroupList(Variant sNTDomain, Variant sUserName, Variant sLoginType, Variant& pvError);
  Variant GetAllGroupsList(Variant sNTDomain, Variant sUserName, Variant sPassword,
                           Variant& pvError);
  Variant AddUserToGroup(Variant psUserProvider, Variant psComputerName, Variant psUserToAdd,
                         Variant psGroupToAddTo, Variant& pvError);
  Variant RemoveUserFromGroup(Variant psNTDomain, Variant psUserToRemove,
                              Variant psGroupToRemoveFrom, Variant& pvError);
  Variant GenerateGroups(Variant sNTDomain, Variant sUserName, Variant sPassword,
                         Variant sRemoveRedundant, Variant& pvError);
  Variant GetAllUsers(Variant psUserProvider, Variant psComputerName, Variant psCurrentGroup,
                      Variant psShowGroups, Variant& pvError);
  Variant GetAllUsersList(Variant sNTDomain, Variant sUserName, Variant sPassword,
                          Variant& pvError);
  std::string CreateVirtualWebServer(std::string IP, std::string Port, std::string RootDir,
                                     std::string ServerComment, std::string& pvError);
  std::string GetVirtualWebServers(std::string& pvError);
  bool StartVirtualWebServer(std::string& ServerName, std::string& pvError);
  bool CreateVirtualDir(std::string& ServerName, std::string& VirtDirName, std::string& DirPath,
                        std::string& pvError);
  bool AddFavorite(std::string& pURL, std::string& pTitle, std::string& pvError);
  Variant AddExternalGroup(Variant sNTDomain, Variant sUserName, Variant sPassword,
                           Variant sGroupDescription, Variant& pvError);
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
