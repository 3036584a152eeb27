// GetAllGroupsList: the profile-groups table of the administration page, one row per profile
// group of either family.
#include <memory>
#include <string>

#include "component/authentication.h"
#include "component/frame.h"
#include "component/profile_group_names.h"

namespace brindlecore::component {
namespace {

// The page places these rows in its own table. The row is deliberately left without "</TR>":
// the page's layout relies on the next "<TR>" closing it, and values go in unescaped because the
// page's scripts receive the bare names.
void AppendGroupRow(std::string& html, const std::string& g, const std::string& d) {
  html += "<TR><TD class=TableRow width=90><a href=\"./editGroup.asp?GroupName=";
  html += g;
  html += "&GroupDescription=";
  html += d;
  html += "\" title=\"Click here to edit/delete group\" class=graybghl>";
  html += g;
  html += "</a></TD>";
  html += "<TD class=TableRow width=150>";
  html += d;
  html += "</TD>";
  html += "<td class=TableRow><input class=UserInput name=";
  html += g;
  html += " id=";
  html += g;
  html += " title=\"Type user name to add here\"></input>";
  html += "<a title=\"Click to add user to group\" href=JavaScript:userAdd(";
  html += g;
  html += "); class=ActionItem><img border=0 src=./images/adduser.gif></img></a>";
  html += "<a title=\"Click to display a list of users\" href=javascript:listUsers(";
  html += g;
  html += "); return false ;\"><img border=0 src=./images/listusers.gif></img></a></TD>";
}

}  // namespace

// No trap of its own: only the bind and the filter report through pvError; any other failure
// (enumeration, a name, a description) goes to the host as it is.
Variant Authentication::GetAllGroupsList(Variant sNTDomain, Variant /*sUserName*/,
                                         Variant /*sPassword*/, Variant& pvError) {
  std::string result;

  std::unique_ptr<platform::DirObject> domain;
  if (!RunStep(pvError, " on Binding Attempt",
               [&] { domain = platform_.GetObject("WinNT://" + ConcatText(sNTDomain)); }) ||
      !RunStep(pvError, " on Filtering Groups", [&] { domain->SetFilter({"group"}); })) {
    return Variant(std::string());
  }

  auto groups = domain->Enumerate();
  while (auto group = groups->Next()) {
    const std::string name = group->Name();
    if (!IsProfileGroupName(name)) continue;
    // Only profile groups' descriptions are read: an unrelated group cannot break the listing.
    AppendGroupRow(result, name, group->Description());
  }
  return Variant(std::move(result));
}

}  // namespace brindlecore::component
