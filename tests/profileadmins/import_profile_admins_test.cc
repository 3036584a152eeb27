#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "platform/automation/errors.h"
#include "support/test_root.h"

namespace brindlecore::testing {
namespace {

constexpr char kComputer[] = "WEBSRV1";

std::string FileRow(const std::string& path) {
  return "<tr><td class=UserInfo2>File: " + path + " opened successfully.</td></tr>";
}
std::string Added(const std::string& user, const std::string& group) {
  return "<tr><td class=UserInfo2>Success: User " + user + " added to Profile Group " + group +
         "</td></tr>";
}
std::string NotAdded(const std::string& user, const std::string& group, const std::string& e) {
  return "<tr><td class=UserInfo4>Error: User " + user + " NOT added to Profile Group " + group +
         ", Error: " + e + "</td></tr>";
}
std::string Removed(const std::string& user, const std::string& group) {
  return "<tr><td class=UserInfo2>Success: User " + user + " removed from Profile Group " + group +
         "</td></tr>";
}
std::string NotRemoved(const std::string& user, const std::string& group, const std::string& e) {
  return "<tr><td class=UserInfo4>Error: User " + user + " NOT removed from Profile Group " +
         group + ", " + e + "</td></tr>";
}

class ImportTest : public RootTest {
 protected:
  ImportTest() {
    accounts_.Computer(kComputer)
        .User(kComputer, "alice")
        .User(kComputer, "bob")
        .Group(kComputer, "QZW3SVC1", "Sales")
        .Group(kComputer, "QZW3SVC2", "Support")
        .Member(kComputer, "QZW3SVC2", "alice")
        .Member(kComputer, "QZW3SVC2", "bob");
  }

  std::string Write(const std::string& content) {
    const std::string path = (dir_.path() / "import.txt").string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  CallOutcome Import(platform::Platform& platform, Variant file,
                     Variant auth = Variant("WinNT://WEBSRV1"),
                     Variant computer = Variant(kComputer)) {
    return CallMethod(platform, "ImportProfileAdmins",
                      {Val(std::move(file)), Val(std::move(auth)), Val(std::move(computer))});
  }
  std::string ImportText(const std::string& content) {
    CallOutcome out = Import(*platform_, Variant(Write(content)));
    EXPECT_FALSE(out.error);
    return ToText(out.result);
  }
};

TEST_F(ImportTest, EmptyFileAndRefusals) {
  const std::string path = Write("");
  EXPECT_EQ(ImportText(""), "<table>" + FileRow(path) + "</table>");

  const std::string refusal =
      "<table><tr><td>User Auth String or Computer Name not specified</td></tr></table>";
  EXPECT_EQ(Import(*platform_, Variant(path), Variant()).result, Variant(refusal));
  EXPECT_EQ(Import(*platform_, Variant(path), Variant("WinNT://WEBSRV1"), Variant("")).result,
            Variant(refusal));
  // A blank computer name is not refused here: the addition reports it line by line.
  EXPECT_EQ(ToText(Import(*platform_, Variant(Write("+,bob,QZW3SVC1\n")),
                          Variant("WinNT://WEBSRV1"), Variant(" "))
                       .result),
            "<table>" + FileRow(path) +
                NotAdded("bob", "QZW3SVC1", "-1 ,Invalid Computer Name - 0 Length String") +
                "</table>");
}

TEST_F(ImportTest, EachLineIsReportedOnItsOwn) {
  const std::string content =
      "+,bob,QZW3SVC1  \r\n"   // trailing spaces are not part of the group
      " +,alice,QZW3SVC1\r\n"  // a leading space is no operation
      "*,alice,QZW3SVC1\r\n"   // nor is any other character
      "+,alice\r\n"            // one comma: passed over
      "\r\n"
      "      -,b,\r\n"                 // group count below zero: passed over, not fatal
      "+,,QZW3SVC1\r\n"                // empty user
      "+,carol,QZW3SVC1\r\n"           // unknown user; its row shows only its own error
      "+ignored,bob,QZW3SVC9,x\r\n"    // the group keeps its further comma
      "-,WEBSRV1\\alice,QZW3SVC2\r\n"  // matched by account name, shown as written
      "-,\\bob,QZW3SVC2\r\n"           // backslash first: matched whole, so no member
      "-,alice,QZW3SVC2\r\n"           // already removed
      "-,bob,NOSUCH\r\n";
  const std::string path = Write(content);
  const std::string missing_user =
      "-1 ,The user you are trying to add does not exist. Create the user first with a Windows "
      "Administration tool.";

  EXPECT_EQ(
      ImportText(content),
      "<table>" + FileRow(path) + Added("bob", "QZW3SVC1") +
          NotAdded("", "QZW3SVC1", "-1 ,Invalid User Name To Add - 0 Length String") +
          NotAdded("carol", "QZW3SVC1", missing_user) +
          NotAdded("bob", "QZW3SVC9,x", "-2147463168 ,An invalid directory pathname was passed") +
          Removed("WEBSRV1\\alice", "QZW3SVC2") +
          NotRemoved("\\bob", "QZW3SVC2", "not member of the group.") +
          NotRemoved("alice", "QZW3SVC2", "not member of the group.") +
          NotRemoved("bob", "NOSUCH", "The group name could not be found.") + "</table>");
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC1"), "bob");
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC2"), "bob");
}

TEST_F(ImportTest, FailedRemovalShowsTheRemovalsOwnText) {
  FaultPlatform faults(*platform_);
  faults.Fail("Remove", "QZW3SVC2", 1, errors::kErrorDsOperationsError.Make());
  const std::string path = Write("-,bob,QZW3SVC2\n-,alice,QZW3SVC2\n");

  CallOutcome out = Import(faults, Variant(path));

  EXPECT_EQ(ToText(out.result),
            "<table>" + FileRow(path) +
                NotRemoved("bob", "QZW3SVC2",
                           "An operations error occurred. on Removing user from group") +
                Removed("alice", "QZW3SVC2") + "</table>");
}

TEST_F(ImportTest, FileFailuresEndTheImportThroughTheTrap) {
  CallOutcome missing = Import(*platform_, Variant((dir_.path() / "none.txt").string()));
  EXPECT_EQ(missing.result, Variant("<table>An error occurred: File not found"));

  CallOutcome null_name = Import(*platform_, Variant::Null());
  EXPECT_EQ(null_name.result, Variant("<table>An error occurred: Invalid use of Null"));

  // A read failing after a removal line still ends the import; nothing is counted twice.
  const std::string path = Write("-,bob,QZW3SVC2\n+,alice,QZW3SVC1\n+,bob,QZW3SVC1\n");
  FaultPlatform faults(*platform_);
  faults.Fail("ReadLine", "", 2, errors::kRtInputPastEndOfFile.Make());
  CallOutcome broken = Import(faults, Variant(path));
  EXPECT_EQ(ToText(broken.result), "<table>" + FileRow(path) + Removed("bob", "QZW3SVC2") +
                                       "An error occurred: Input past end of file");
  EXPECT_EQ(accounts_.Members(kComputer, "QZW3SVC1"), "");
}

}  // namespace
}  // namespace brindlecore::testing
