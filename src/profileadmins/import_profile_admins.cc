// Applies an import file of profile-administrator changes, one line at a time through this
// object's own AddUserToGroup and RemoveUserFromGroup, and reports every line acted on as a row of
// one HTML table.
//
// A line is "<op>...,<user>,<group>": "+" adds, "-" removes; anything else, or fewer than two
// commas, is passed over without a row. Two behaviours are our own choice:
//  - A line whose trimmed length is below the position of its second comma (possible only with
//    leading spaces) has no countable group field. It is passed over like any other line that
//    does not start with "+" or "-", rather than aborting the whole import over a line that
//    asks for nothing.
//  - A failure of the file itself (opening, testing for its end, reading a line) ends the import
//    through the error trap wherever it happens, before or after the first removal line: a read
//    that failed cannot be told apart from a line lost, and the report must say the import
//    stopped rather than go on past a hole.
#include <vector>

#include "component/account_database.h"
#include "component/authentication.h"
#include "component/frame.h"

namespace brindlecore::component {

namespace {

// An Empty variant counts as "", a Null one does not; nothing is trimmed.
bool IsEmptyText(const Variant& v) { return v.IsEmpty() || (v.IsString() && v.str().empty()); }

bool IsTrue(const Variant& v) { return v.IsBoolean() && v.boolean(); }

std::string Row(std::string_view css_class, const std::string& text) {
  return "<tr><td class=" + std::string(css_class) + ">" + text + "</td></tr>";
}

std::string NotRemovedRow(const std::string& user, const std::string& group,
                          const std::string& reason) {
  return Row("UserInfo4",
             "Error: User " + user + " NOT removed from Profile Group " + group + ", " + reason);
}

}  // namespace

Variant Authentication::ImportProfileAdmins(Variant psFileName, Variant psAuthString,
                                            Variant psComputerName) {
  std::string result;
  try {
    result = "<table>";
    if (IsEmptyText(psAuthString) || IsEmptyText(psComputerName)) {
      result += "<tr><td>User Auth String or Computer Name not specified</td></tr></table>";
      return Variant(result);
    }
    const std::string file_name = ToText(psFileName);
    std::unique_ptr<platform::TextStream> stream = platform_.OpenTextFile(file_name);
    result += Row("UserInfo2", "File: " + file_name + " opened successfully.");

    while (!stream->AtEndOfStream()) {
      const std::string line = stream->ReadLine();
      const long first_comma = InStr(1, line, ",");
      if (first_comma == 0) continue;
      const long second_comma = InStr(first_comma + 1, line, ",");
      if (second_comma == 0) continue;
      const long group_length = static_cast<long>(Trim(line).size()) - second_comma;
      if (group_length < 0) continue;
      const std::string user = Mid(line, first_comma + 1, second_comma - first_comma - 1);
      const std::string group = Mid(line, second_comma + 1, group_length);
      const std::string operation = Left(line, 1);
      Variant error_text = "";

      if (operation == "+") {
        std::vector<Arg> args{{psAuthString, false},
                              {psComputerName, false},
                              {Variant(user), false},
                              {Variant(group), false},
                              {error_text, true}};
        const Variant added = CallSelf("AddUserToGroup", args);
        error_text = args[4].value;
        if (IsTrue(added)) {
          result += Row("UserInfo2", "Success: User " + user + " added to Profile Group " + group);
        } else {
          result += Row("UserInfo4", "Error: User " + user + " NOT added to Profile Group " +
                                         group + ", Error: " + ConcatText(error_text));
        }
        continue;
      }
      if (operation != "-") continue;

      // The removal handles its own failures: each ends up as this line's row, never the trap.
      const long backslash = InStr(1, user, "\\");
      const std::string account = backslash >= 2 ? Mid(user, backslash + 1) : user;
      try {
        std::unique_ptr<platform::DirObject> bound_group =
            BindGroup(platform_, ConcatText(psComputerName), group);
        std::unique_ptr<platform::DirEnumerator> members = bound_group->Members();
        platform::DirObject* member = nullptr;
        while ((member = members->NextBorrowed()) != nullptr) {
          ContinueAfterError unreadable;
          bool match = false;
          unreadable.Run([&] { match = member->Name() == account; });
          if (match) break;
        }
        if (member == nullptr) {
          result += NotRemovedRow(user, group, "not member of the group.");
          continue;
        }
        const std::string member_path = member->ADsPath();
        std::vector<Arg> args{{psComputerName, false},
                              {Variant(member_path), false},
                              {Variant(group), false},
                              {error_text, true}};
        Variant removed;
        try {
          removed = CallSelf("RemoveUserFromGroup", args);
        } catch (const AutomationError&) {
          // Refused before it could write any text: the row says nothing more.
        }
        result +=
            IsTrue(removed)
                ? Row("UserInfo2", "Success: User " + user + " removed from Profile Group " + group)
                : NotRemovedRow(user, group, ConcatText(args[3].value));
      } catch (const AutomationError& e) {
        // The group could not be bound, or its member list or the member's path not read.
        result += NotRemovedRow(user, group, e.description);
      }
    }
    result += "</table>";
    stream->Close();
  } catch (const AutomationError& e) {
    result += FormE(e);
  }
  return Variant(result);
}

}  // namespace brindlecore::component
