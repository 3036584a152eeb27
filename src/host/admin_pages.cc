// Profile administrators, profile groups, users and the import of memberships.
#include "host/import_upload.h"
#include "host/listing.h"
#include "host/rows.h"
#include "host/site.h"

namespace brindlecore::host {

void AdminSite::ProfileAdministrators(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s) return;
  CallOutcome o = CallComponent(
      "GetAllUsersList", {In(config_.computer), In(AccountName(s->user)), In(s->password), Out()});
  Send(res, 200, Frame(*s, "Profile administrators", "profileadmins"),
       Listing(o, 3, "profile-admins", {"User", "Full name", "Profile groups", "Add to group"}));
}

void AdminSite::AddUser(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s || !CheckPost(req, res, *s)) return;
  const std::string user = Param(req, "user");
  const std::string group = Param(req, "group");
  CallOutcome o = CallComponent("AddUserToGroup",
                                {In(Provider()), In(config_.computer), In(user), In(group), Out()});
  Report(res, *s, Param(req, "back"), o, 4, o.ResultTrue(),
         "User " + user + " added to group " + group + ".");
}

void AdminSite::Groups(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s) return;
  CallOutcome o = CallComponent(
      "GetAllGroupsList", {In(config_.computer), In(AccountName(s->user)), In(s->password), Out()});
  std::string content = Listing(o, 3, "groups", {"Group", "Description", "Add a user"});

  const std::string picking = Param(req, "ListUsers");
  if (!picking.empty()) {
    CallOutcome users = CallComponent(
        "GetAllUsers", {In(Provider()), In(config_.computer), In(picking), In("false"), Out()});
    content += "<h2 id=picker>Pick a user for " + Escape(picking) + "</h2>" +
               Listing(users, 4, "user-picker", {"User", "Description"});
  }

  const std::string csrf = CsrfField(s->csrf);
  content +=
      "<h2>New profile groups</h2>"
      "<form class=panel method=post action=AddExternalGroup.asp id=add-multi>" +
      csrf +
      "<label>Description of a new multi-site group <input type=text name=description "
      "id=multi-description></label><button type=submit>Create group</button></form>"
      "<form class=panel method=post action=GenerateGroups.asp id=generate>" +
      csrf +
      "<p>Make a profile group for every web site.</p><label><input type=checkbox "
      "name=remove value=true> Remove groups of deleted sites</label>"
      "<button type=submit>Generate groups</button></form>";
  if (std::vector<std::string> groups = ProfileGroups(config_.computer); !groups.empty()) {
    content +=
        "<form class=panel method=get action=Members.asp id=show-members><label>Members of "
        "<select name=GroupName id=members-group>";
    for (const std::string& g : groups) {
      content += "<option value=\"" + Escape(g) + "\">" + Escape(g) + "</option>";
    }
    content += "</select></label><button type=submit>Show members</button></form>";
  }
  Send(res, 200, Frame(*s, "Profile groups", "groups"), content);
}

void AdminSite::EditGroupForm(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s) return;
  const std::string group = Param(req, "GroupName");
  const std::string description = Param(req, "GroupDescription");
  std::string content =
      "<form class=panel method=post action=editGroup.asp id=edit-group>" + CsrfField(s->csrf) +
      "<input type=hidden name=GroupName value=\"" + Escape(group) +
      "\">"
      "<p>Group <strong>" +
      Escape(group) +
      "</strong></p>"
      "<label>Description <input type=text name=GroupDescription id=group-description "
      "value=\"" +
      Escape(description) +
      "\"></label>"
      "<button type=submit name=action value=Update id=update-group>Save description</button> "
      "<button type=submit name=action value=Delete id=delete-group>Delete group</button>"
      "</form><p><a href=\"" +
      Escape(MembersPage(group)) +
      "\" id=group-members>Members of the group</a> <a href=Groups.asp>Back to the groups</a></p>";
  Send(res, 200, Frame(*s, "Edit group", "editgroup"), content);
}

void AdminSite::EditGroup(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s || !CheckPost(req, res, *s)) return;
  const std::string group = Param(req, "GroupName");
  const std::string action = Param(req, "action");
  CallOutcome o = CallComponent(
      "UpdateGroup", {In(config_.computer), In(AccountName(s->user)), In(s->password), In(group),
                      In(Param(req, "GroupDescription")), In(action), Out()});
  Report(res, *s, "Groups.asp", o, 6, o.ResultTrue(),
         action == "Delete" ? "Group " + group + " deleted." : "Group " + group + " updated.");
}

void AdminSite::AddExternalGroup(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s || !CheckPost(req, res, *s)) return;
  CallOutcome o =
      CallComponent("AddExternalGroup", {In(config_.computer), In(AccountName(s->user)),
                                         In(s->password), In(Param(req, "description")), Out()});
  Report(res, *s, "Groups.asp", o, 4, o.ResultTrue(), "Multi-site group created.");
}

void AdminSite::GenerateGroups(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s || !CheckPost(req, res, *s)) return;
  const bool remove = Param(req, "remove") == "true";
  CallOutcome o =
      CallComponent("GenerateGroups", {In(config_.computer), In(AccountName(s->user)),
                                       In(s->password), In(remove ? "true" : "false"), Out()});
  Report(res, *s, "Groups.asp", o, 4, o.ResultTrue(), "Profile groups generated.");
}

void AdminSite::Users(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s) return;
  // The overview ignores the current group, but the component insists on one.
  CallOutcome o = CallComponent("GetAllUsers", {In(Provider()), In(config_.computer),
                                                In(config_.admin_group), In("true"), Out()});
  Send(res, 200, Frame(*s, "Users", "users"),
       Listing(o, 4, "users", {"User", "Description", "Profile groups"}));
}

void AdminSite::ImportForm(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s) return;
  std::string content =
      "<form class=panel method=post action=Import.asp enctype=multipart/form-data "
      "id=import-form>" +
      CsrfField(s->csrf) +
      "<p class=hint>One change a line: <code>+,user,group</code> adds, "
      "<code>-,user,group</code> removes.</p>"
      "<label>File <input type=file name=file id=import-file></label>"
      "<button type=submit id=import-submit>Import</button></form>";
  Send(res, 200, Frame(*s, "Import profile administrators", "import"), content);
}

void AdminSite::Import(const Request& req, Response& res) {
  std::optional<Session> s = Admin(req, res);
  if (!s || !CheckPost(req, res, *s)) return;
  if (!req.has_file("file")) {
    Done(res, *s, "Import.asp", "Choose a file to import.", true);
    return;
  }
  const httplib::MultipartFormData file = req.get_file_value("file");
  CallOutcome o;
  std::string rows;
  {
    StoredUpload upload(file.filename, file.content);
    o = CallComponent("ImportProfileAdmins",
                      {In(upload.path()), In(Provider()), In(config_.computer)});
    rows = upload.WithoutFolder(o.ResultText());
    if (o.error) o.error->description = upload.WithoutFolder(std::move(o.error->description));
  }
  std::string content = o.error ? ErrorBox(ErrorText(*o.error)) : "";
  content += "<div id=import-report>" + SafeRows(rows) + "</div>";
  // Only an import that read to the end of the file passed over the rest of its lines; one that
  // stopped early says so in its own rows.
  if (!o.error && rows.ends_with("</table>")) content += PassedOverLines(file.content);
  content += "<p><a href=Import.asp>Import another file</a></p>";
  Send(res, 200, Frame(*s, "Import report", "import"), content);
}

}  // namespace brindlecore::host
