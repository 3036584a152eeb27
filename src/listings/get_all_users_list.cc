// GetAllUsersList: the profile-administrators table, one block of rows per local user with the
// per-site profile groups the user is in (each with a remove link) and a drop-down of the others.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "component/authentication.h"
#include "component/frame.h"
#include "component/profile_group_names.h"

namespace brindlecore::component {
namespace {

// One per-site profile group as the membership test reads it: "##" + name + "##" followed by
// "**" + member + "**" per member. Membership is a plain search of this text, so the markers
// decide what counts as a member (an "ann" is not found inside "**anne**").
struct ProfileRecord {
  std::string text;
  std::string group;  // from the third character up to the first "##" after it
};

ProfileRecord MakeRecord(std::string text) {
  const size_t end = text.find("##", 2);
  std::string group = text.substr(2, end == std::string::npos ? std::string::npos : end - 2);
  return ProfileRecord{std::move(text), std::move(group)};
}

struct UserEntry {
  std::string name;
  std::string full_name;
};

// The rows are rendered twice, first only to count their length, so the result is allocated
// once at its final size: the table can run to tens of megabytes for a large computer.
class Sink {
 public:
  explicit Sink(std::string* out) : out_(out) {}
  Sink& operator<<(std::string_view s) {
    if (out_ != nullptr) {
      out_->append(s);
    } else {
      size_ += s.size();
    }
    return *this;
  }
  size_t size() const { return size_; }

 private:
  std::string* out_;
  size_t size_ = 0;
};

void RemoveLink(Sink& out, std::string_view g, std::string_view n) {
  out << "<a href=./UserDelete.asp?GroupName=" << g << "&UserName=" << n
      << "&RedirPage=ProfileAdministrators.asp"
      << " class=ActionItem>&nbsp;<img src=./images/removeuser.gif title=Remove user from group "
         "border=0></img></a>";
}

// A user who is in no group and is offered none gets an unclosed row; the page tolerates it
// and the next user's row follows directly.
void RenderUser(Sink& out, const UserEntry& user, const std::vector<ProfileRecord>& table,
                std::vector<const std::string*>& in_groups) {
  const std::string& n = user.name;
  const std::string marker = "**" + n + "**";
  out << "<TR><TD class=TableRow width=115>" << n << "</TD>"
      << "<TD class=TableRow width=150>" << user.full_name << "</TD>";

  in_groups.clear();
  for (const ProfileRecord& record : table) {
    if (record.text.find(marker) == std::string::npos) continue;
    const std::string& g = record.group;
    if (in_groups.empty()) {
      out << "<TD class=TableRow>" << g;
    } else {
      out << "<TR><TD class=TableRow ColSpan=2></TD><TD class=TableRow>" << g;
    }
    RemoveLink(out, g, n);
    out << "</TD></TR>";
    in_groups.push_back(&g);
  }

  auto is_member = [&](const std::string& g) {
    for (const std::string* mine : in_groups) {
      if (*mine == g) return true;
    }
    return false;
  };
  bool any_option = false;
  for (const ProfileRecord& record : table) {
    if (is_member(record.group)) continue;
    if (!any_option) {
      if (!in_groups.empty()) out << "<tr><td class=TableRow colspan=2></td>";
      out << "<td class=TableRow><select class=ItemSelect name=" << n << " id=" << n << ">";
      any_option = true;
    }
    out << "<option value=" << record.group << ">" << record.group << "&nbsp;&nbsp;"
        << "</option>";
  }
  if (any_option) {
    out << "</select>"
        << "<a href=JavaScript:userAdd(" << n << "); "
        << "class=ActionItem>&nbsp;<img border=0 src=./images/adduser.gif></img></a>"
        << "</TD></TR>";
  }
}

void Render(Sink& out, const std::vector<UserEntry>& users,
            const std::vector<ProfileRecord>& table) {
  std::vector<const std::string*> in_groups;
  for (const UserEntry& user : users) RenderUser(out, user, table, in_groups);
}

}  // namespace

// No trap of its own: the bind and the two filters report through pvError; every other failure
// reaches the host unchanged and no rows are delivered. On success pvError is not written.
Variant Authentication::GetAllUsersList(Variant sNTDomain, Variant sUserName, Variant sPassword,
                                        Variant& pvError) {
  std::unique_ptr<platform::DirObject> names;
  std::unique_ptr<platform::DirObject> computer;
  if (!RunStep(pvError, " on Binding Attempt",
               [&] {
                 names = platform_.GetObject("WinNT:");
                 const std::string domain = ConcatText(sNTDomain);
                 computer =
                     platform::Require(names->OpenDSObject("WinNT://" + domain + ",computer",
                                                           domain + "\\" + ConcatText(sUserName),
                                                           ToText(sPassword), 1),
                                       platform::DirKind::kContainer);
               }) ||
      !RunStep(pvError, " on Filtering Groups", [&] { computer->SetFilter({"group"}); })) {
    return Variant(std::string());
  }
  std::vector<ProfileRecord> table;
  auto groups = computer->Enumerate();
  while (auto group = groups->Next()) {
    const std::string name = group->Name();
    if (!HasPrefix(name, kPerSitePrefix)) continue;
    std::string text = "##" + name + "##";
    auto members = group->Members();
    while (auto* member = members->NextBorrowed()) text += "**" + member->Name() + "**";
    table.push_back(MakeRecord(std::move(text)));
  }

  if (!RunStep(pvError, " on Filtering Users", [&] { computer->SetFilter({"user"}); })) {
    return Variant(std::string());
  }
  std::vector<UserEntry> users;
  auto accounts = computer->Enumerate();
  while (auto user = accounts->Next()) {
    std::string name = user->Name();
    users.push_back(UserEntry{std::move(name), user->FullName()});
  }

  Sink counter(nullptr);
  Render(counter, users, table);
  std::string result;
  result.reserve(counter.size());
  Sink writer(&result);
  Render(writer, users, table);
  return Variant(std::move(result));
}

}  // namespace brindlecore::component
