// A profile group's members, and the removal of one member behind a confirmation.
#include "host/listing.h"
#include "host/site.h"
#include "platform/default_platform.h"

namespace brindlecore::host {
namespace {

bool IsProfileGroup(std::string_view group) {
  return group.substr(0, 7) == "QZW3SVC" || group.substr(0, 7) == "QZMULTI";
}

// The component's listings show a member only through the QZW3SVC groups of a user, so the
// members are read from the directory the component writes.
std::string MemberRows(const std::string& computer, const std::string& group) {
  auto bound =
      platform::Require(platform::DefaultPlatform().GetObject("WinNT://" + computer + "/" + group),
                        platform::DirKind::kGroup);
  std::unique_ptr<platform::DirEnumerator> members = bound->Members();
  std::string rows;
  const std::string group_field =
      "<input type=hidden name=GroupName value=\"" + Escape(group) + "\">";
  const std::string back_field =
      "<input type=hidden name=RedirPage value=\"" + Escape(MembersPage(group)) + "\">";
  while (platform::DirObject* member = members->NextBorrowed()) {
    const std::string name = Escape(member->Name());
    // A GET: the button leads to the confirmation, whose own form makes the change.
    rows += "<tr><td class=TableRow>" + name +
            "</td><td class=TableRow><form method=get action=UserDelete.asp>" + group_field +
            "<input type=hidden name=UserName value=\"" + name + "\">" + back_field +
            "<button type=submit>Remove</button></form></td></tr>";
  }
  return rows;
}

// Before the session is looked at: a foreign return page is refused whoever asks.
bool CheckReturnPage(const std::string& back, httplib::Response& res) {
  if (IsReturnPage(back)) return true;
  res.status = 400;
  res.set_content("The return page must be a page of this site.", "text/plain; charset=utf-8");
  return false;
}

}  // namespace

std::string MembersPage(const std::string& group) {
  return "Members.asp?GroupName=" + UrlEncode(group);
}

std::vector<std::string> ProfileGroups(const std::string& computer) {
  std::vector<std::string> groups;
  try {
    auto database = platform::DefaultPlatform().GetObject("WinNT://" + computer + ",computer");
    database->SetFilter({"group"});
    std::unique_ptr<platform::DirEnumerator> all = database->Enumerate();
    while (platform::DirObject* group = all->NextBorrowed()) {
      std::string name = group->Name();
      if (IsProfileGroup(name)) groups.push_back(std::move(name));
    }
  } catch (const AutomationError&) {
    // The page goes without the picker; the component's listing reports the store's failure.
  }
  return groups;
}

void AdminSite::Members(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s) return;
  const std::string group = Param(req, "GroupName");
  std::string content;
  if (!IsProfileGroup(group)) {
    content = ErrorBox("Only the members of a profile group (QZW3SVC or QZMULTI) are shown here.");
  } else {
    try {
      std::string rows = MemberRows(config_.computer, group);
      content = rows.empty() ? "<p id=no-members>The group has no members.</p>"
                             : "<table class=listing id=members><tr><th>Member</th><th></th></tr>" +
                                   rows + "</table>";
    } catch (const AutomationError& e) {
      content = ErrorBox(ErrorText(e));
    }
  }
  content += "<p><a href=Groups.asp>Back to the groups</a></p>";
  Send(res, 200, Frame(*s, "Members of " + group, "members"), content);
}

void AdminSite::UserDeleteForm(const Request& req, Response& res) {
  const std::string back = Param(req, "RedirPage");
  if (!CheckReturnPage(back, res)) return;
  std::optional<Session> s = Admin(req, res);
  if (!s) return;
  // Only our own pages lead here; a link from elsewhere gets no page to click through.
  if (!IsSameOrigin(req)) {
    RefuseCrossSite(res);
    return;
  }
  const std::string user = Escape(Param(req, "UserName"));
  const std::string group = Escape(Param(req, "GroupName"));
  const std::string content =
      "<form class=panel method=post action=UserDelete.asp id=confirm-remove>" +
      CsrfField(s->csrf) + "<input type=hidden name=GroupName value=\"" + group +
      "\"><input type=hidden name=UserName value=\"" + user +
      "\"><input type=hidden name=RedirPage value=\"" + Escape(back) + "\"><p>Remove user " + user +
      " from group " + group +
      "?</p><button type=submit id=confirm-remove-button>Remove</button> <a href=\"" +
      Escape(back) + "\" id=cancel-remove>Cancel</a></form>";
  Send(res, 200, Frame(*s, "Remove a member", "userdelete"), content);
}

void AdminSite::UserDelete(const Request& req, Response& res) {
  const std::string back = Param(req, "RedirPage");
  if (!CheckReturnPage(back, res)) return;
  std::optional<Session> s = Admin(req, res);
  if (!s || !CheckPost(req, res, *s)) return;
  const std::string user = Param(req, "UserName");
  const std::string group = Param(req, "GroupName");
  CallOutcome o = CallComponent(
      "RemoveUserFromGroup", {In(config_.computer), In(Provider() + "/" + user), In(group), Out()});
  Report(res, *s, back, o, 3, o.ResultTrue(),
         "User " + user + " removed from group " + group + ".");
}

}  // namespace brindlecore::host
