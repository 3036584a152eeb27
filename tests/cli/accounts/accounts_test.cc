// The account commands as a person or a script runs them: the real command over a temporary root.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/default_platform.h"
#include "support/command.h"
#include "support/temp_dir.h"

namespace brindlecore {
namespace {

using Outcome = testing::CommandOutcome;

class AccountCommandsTest : public ::testing::Test {
 protected:
  Outcome Brindle(std::vector<std::string> args, const std::string& input = "") {
    return testing::RunCommand(root(), std::move(args), input);
  }
  std::filesystem::path root() const { return dir_.path() / "root"; }

  testing::TempDir dir_;
};

TEST_F(AccountCommandsTest, InitIsIdempotentAndStartsWithBuiltInGroups) {
  Outcome first = Brindle({"init", "--computer", "WEBSRV1"});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.out.find("Created account database WEBSRV1"), std::string::npos) << first.out;
  Outcome again = Brindle({"init", "--computer", "WEBSRV1"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.out.find("Account database WEBSRV1 already exists"), std::string::npos);

  EXPECT_EQ(Brindle({"computer", "list", "--json"}).out, "[{\"name\":\"WEBSRV1\"}]\n");
  EXPECT_EQ(Brindle({"group", "list", "WEBSRV1", "--json"}).out,
            "[{\"description\":\"Administrators have complete and unrestricted access to the "
            "computer/domain\",\"group_type\":4,\"name\":\"Administrators\"},"
            "{\"description\":\"Ordinary users\",\"group_type\":4,\"name\":\"Users\"}]\n");
  EXPECT_TRUE(std::filesystem::exists(root() / "metabase.db"));
}

TEST_F(AccountCommandsTest, UsersGroupsAndMembers) {
  ASSERT_EQ(Brindle({"computer", "add", "WEBSRV1"}).status, 0);
  Outcome add =
      Brindle({"user", "add", "WEBSRV1", "bob", "--full-name", "Bob B", "--password-stdin"},
              "s3cret\nignored\n");
  ASSERT_EQ(add.status, 0) << add.err;
  // --root is taken after the command too.
  Outcome late =
      testing::RunCommand("", {"user", "add", "WEBSRV1", "--root", root().string(), "carol"});
  ASSERT_EQ(late.status, 0) << late.err;
  EXPECT_EQ(Brindle({"user", "list", "WEBSRV1", "--json"}).out,
            "[{\"description\":\"\",\"full_name\":\"Bob B\",\"name\":\"bob\"},"
            "{\"description\":\"\",\"full_name\":\"\",\"name\":\"carol\"}]\n");

  ASSERT_EQ(Brindle({"group", "add", "WEBSRV1", "QZW3SVC1", "--description", "Sales"}).status, 0);
  ASSERT_EQ(Brindle({"group", "addmember", "WEBSRV1", "qzw3svc1", "BOB"}).status, 0);
  ASSERT_EQ(Brindle({"group", "addmember", "WEBSRV1", "QZW3SVC1", "CORP/dave"}).status, 0);
  EXPECT_EQ(Brindle({"group", "members", "WEBSRV1", "QZW3SVC1", "--json"}).out,
            "[{\"name\":\"bob\",\"path\":\"WinNT://WEBSRV1/bob\"},"
            "{\"name\":\"dave\",\"path\":\"WinNT://CORP/dave\"}]\n");

  // The password given on standard input signs in through the provider; no other does.
  auto platform = platform::MakePlatform(root());
  auto ns = platform->GetObject("WinNT:");
  EXPECT_NO_THROW(ns->OpenDSObject("WinNT://WEBSRV1,computer", "WEBSRV1\\bob", "s3cret", 1));
  EXPECT_THROW(ns->OpenDSObject("WinNT://WEBSRV1,computer", "WEBSRV1\\bob", "ignored", 1),
               AutomationError);
  ASSERT_EQ(Brindle({"user", "passwd", "WEBSRV1", "bob", "--password-stdin"}, "n3w\n").status, 0);
  EXPECT_NO_THROW(ns->OpenDSObject("WinNT://WEBSRV1,computer", "WEBSRV1\\bob", "n3w", 1));

  ASSERT_EQ(Brindle({"group", "delmember", "WEBSRV1", "QZW3SVC1", "bob"}).status, 0);
  ASSERT_EQ(Brindle({"user", "del", "WEBSRV1", "carol"}).status, 0);
  EXPECT_EQ(Brindle({"group", "members", "WEBSRV1", "QZW3SVC1"}).out, "dave\tWinNT://CORP/dave\n");
  EXPECT_EQ(Brindle({"user", "list", "WEBSRV1"}).out, "bob\tBob B\t\n");
}

// The command's own messages name what it was working on; the platform's texts are the
// component's, never the command's.
TEST_F(AccountCommandsTest, FailuresAreReportedWithStatus) {
  const std::string r = root().string();
  struct Case {
    std::vector<std::string> args;
    std::string err;  // after "brindlecore: ", or "" for CLI11's usage text
    int status = 1;
    std::string input = "";
  };
  auto check = [&](const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      Outcome out = Brindle(c.args, c.input);
      EXPECT_EQ(out.status, c.status) << c.args[0] << " " << out.err;
      if (!c.err.empty()) {
        EXPECT_EQ(out.err, "brindlecore: " + c.err + "\n");
      }
    }
  };
  const std::string no_root =
      "no platform root at " + r + " (run 'brindlecore --root " + r + " init')";
  check({{{"user", "list", "WEBSRV1"}, no_root}, {{"site", "list"}, no_root}});
  EXPECT_FALSE(std::filesystem::exists(root()));

  ASSERT_EQ(Brindle({"computer", "add", "WEBSRV1"}).status, 0);
  ASSERT_EQ(Brindle({"group", "add", "WEBSRV1", "G"}).status, 0);
  ASSERT_EQ(Brindle({"user", "add", "WEBSRV1", "bob"}).status, 0);
  ASSERT_EQ(Brindle({"group", "addmember", "WEBSRV1", "G", "bob"}).status, 0);
  const std::string no_password = "the password is empty: give one that is not";
  check({
      {{"group", "addmember", "WEBSRV1", "G", "bob"}, "bob is already a member of WEBSRV1/G"},
      {{"group", "addmember", "WEBSRV1", "G", "nobody"}, "no account nobody to add to WEBSRV1/G"},
      {{"group", "delmember", "WEBSRV1", "Users", "bob"}, "bob is not a member of WEBSRV1/Users"},
      {{"group", "add", "WEBSRV1", "g"}, "group WEBSRV1/g already exists"},
      {{"user", "add", "WEBSRV1", "BOB"}, "an account BOB already exists in WEBSRV1"},
      {{"user", "add", "WEBSRV1", "a/b"},
       "'a/b' is not a valid name (it may not hold / \\ , or control characters)"},
      {{"user", "list", "WEBSRV2"}, "no computer WEBSRV2 in " + r},
      {{"computer", "del", "WEBSRV2"}, "no computer WEBSRV2 in " + r},
      {{"group", "del", "WEBSRV1", "bob"}, "no group bob in WEBSRV1"},
      {{"user", "del", "WEBSRV1", "G"}, "no user G in WEBSRV1"},
      {{"user", "passwd", "WEBSRV1", "bob"},
       "no password: use --password-stdin or run on a terminal"},
      {{"user", "passwd", "WEBSRV1", "bob", "--password-stdin"}, no_password, 1, "\n"},
      {{"user", "add", "WEBSRV1", "eve", "--password-stdin"}, no_password},
      {{"computer", "add", "websrv1"}, "account database websrv1 already exists"},
      {{"frobnicate"},
       "unknown command 'frobnicate' (commands: init, computer, user, group, site, favorites, "
       "regsvr, invoke, serve, ldap)",
       2},
      {{"group", "frobnicate"},
       "unknown command 'group frobnicate' (group commands: add, list, del, members, addmember, "
       "delmember)",
       2},
      {{"user"}, "'user' needs a command (user commands: add, list, del, passwd)", 2},
      {{"user", "add", "WEBSRV1"}, "", 2},
  });
  // Nothing above changed the store.
  EXPECT_EQ(Brindle({"group", "members", "WEBSRV1", "G"}).out, "bob\tWinNT://WEBSRV1/bob\n");
  EXPECT_EQ(Brindle({"user", "list", "WEBSRV1"}).out, "bob\t\t\n");
}

// The demo seeds a new root once; on a root with data, even only a site of the admin's, it leaves
// everything alone.
TEST_F(AccountCommandsTest, DemoSeedsOnlyANewRoot) {
  ASSERT_EQ(Brindle({"init", "--computer", "WEBSRV1", "--demo"}).status, 0);
  ASSERT_EQ(Brindle({"group", "delmember", "WEBSRV1", "QZW3SVC1", "alice"}).status, 0);
  ASSERT_EQ(Brindle({"user", "del", "WEBSRV1", "dave"}).status, 0);
  const std::vector<std::vector<std::string>> reads = {{"user", "list", "WEBSRV1", "--json"},
                                                       {"group", "list", "WEBSRV1", "--json"},
                                                       {"group", "members", "WEBSRV1", "QZW3SVC1"},
                                                       {"site", "list", "--json"}};
  std::vector<std::string> before;
  for (const auto& args : reads) before.push_back(Brindle(args).out);
  EXPECT_EQ(before[2], "");
  EXPECT_NE(Brindle({"init", "--computer", "WEBSRV1", "--demo"})
                .out.find("demo: " + root().string() +
                          " already holds accounts, groups or sites; the demo changes nothing"),
            std::string::npos);
  for (size_t i = 0; i < reads.size(); ++i) EXPECT_EQ(Brindle(reads[i]).out, before[i]);

  std::filesystem::path fresh = dir_.path() / "fresh";
  ASSERT_EQ(testing::RunCommand(fresh, {"init", "--computer", "W2"}).status, 0);
  ASSERT_EQ(testing::RunCommand(fresh, {"site", "add", "--comment", "Mine"}).status, 0);
  EXPECT_NE(testing::RunCommand(fresh, {"init", "--demo"}).out.find("the demo changes nothing"),
            std::string::npos);
  EXPECT_EQ(testing::RunCommand(fresh, {"user", "list", "W2"}).out, "");
}

// A store or registry that does not read is reported by name and left as it is; no read command
// makes a new store in its place.
TEST_F(AccountCommandsTest, DamagedFilesAreNamedAndLeftAlone) {
  const std::string corrupt = "The file or directory is corrupted and unreadable.";
  const std::string call = std::string(R"({"method":"GetVirtualWebServers","args":[1]})") + "\n";
  const std::string answer =
      R"({"error":{"number":-2147023504,"description":")" + corrupt + R"("},"refs":[]})" + "\n";
  const std::string bad_store = "accounts.db: " + corrupt;
  using Damage = std::function<void(const std::filesystem::path& root)>;
  auto write = [](std::string file, std::string text) -> Damage {
    return [=](const std::filesystem::path& root) { std::ofstream(root / file) << text; };
  };
  const Damage newer_schema = [](const std::filesystem::path& root) {
    sqlite3* db = nullptr;
    sqlite3_open((root / "accounts.db").c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version = 999", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  };
  const std::vector<std::string> users = {"user", "list", "WEBSRV1"};
  struct Case {
    std::string name;
    Damage damage;
    std::vector<std::string> args;
    std::string input, out, err;
  } cases[] = {
      {"garbage store", write("accounts.db", std::string(8192, 'x')), users, "", "", bad_store},
      {"empty store", write("accounts.db", ""), users, "", "", bad_store},
      {"newer schema", newer_schema, {"group", "list", "WEBSRV1"}, "", "", bad_store},
      {"garbage registry", write("registry.json", "{\"keys\": "), {"invoke"}, call, answer, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    ASSERT_EQ(testing::RunCommand(dir.path(), {"init", "--computer", "WEBSRV1"}).status, 0);
    c.damage(dir.path());
    auto before = std::filesystem::file_size(dir.path() / "accounts.db");
    Outcome r = testing::RunCommand(dir.path(), c.args, c.input);
    EXPECT_EQ(r.out, c.out);
    if (!c.err.empty()) {
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err, "brindlecore: " + (dir.path() / c.err).string() + "\n");
    }
    EXPECT_EQ(std::filesystem::file_size(dir.path() / "accounts.db"), before);
  }
}

// Failures of the file system itself, each in a mount namespace of its own: a full disk and a
// read-only root give their own errors, and a root the caller cannot read is refused as such
// rather than taken for one where nothing is registered.
TEST_F(AccountCommandsTest, FileSystemFailuresGiveTheirOwnErrors) {
  if (testing::RunShell("unshare -m true").status != 0) GTEST_SKIP() << "no mount namespaces";
  const std::string bin = testing::CommandPath(), r = root().string();
  const std::string mount = "mkdir -p '" + r + "'; unshare -m sh -ec \"mount -t tmpfs -o size=";
  const std::string init = "'" + bin + "' --root '" + r + "' init --computer WEBSRV1 >/dev/null; ";
  const std::string add = "'" + bin + "' --root '" + r + "' user add WEBSRV1 bob --full-name " +
                          std::string(2000, 'b') + "\"";
  struct Case {
    std::string name, script, input, out, err;
  } cases[] = {
      {"disk full",
       mount + "4m none '" + r + "'; " + init + "dd if=/dev/zero of='" + r +
           "/fill' bs=4k 2>/dev/null || true; " + add,
       "", "", "accounts.db: There is not enough space on the disk."},
      {"read-only root",
       mount + "4m none '" + r + "'; " + init + "mount -o remount,ro '" + r + "'; " + add, "", "",
       "accounts.db: Access is denied."},
      {"unreadable root",
       init + "setpriv --reuid=65534 --regid=65534 --clear-groups '" + bin + "' --root '" + r +
           "' invoke",
       R"({"method":"GetVirtualWebServers","args":[1]})"
       "\n",
       R"({"error":{"number":-2147024891,"description":"Access is denied."},"refs":[]})"
       "\n",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(root());
    Outcome outcome = testing::RunShell(c.script, c.input);
    EXPECT_EQ(outcome.out, c.out);
    if (!c.err.empty()) {
      EXPECT_EQ(outcome.err, "brindlecore: " + r + "/" + c.err + "\n");
    }
  }
}

}  // namespace
}  // namespace brindlecore
