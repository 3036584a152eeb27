#!/usr/bin/env python3
"""Mutation sample: how many small faults in the methods and the stores the tests catch.

Each mutant below is one edit (a flipped comparison, a changed literal, a removed statement) named
by the exact text it replaces, so a mutant still finds its place after lines move, and a mutant
whose text is gone is reported as not applicable rather than silently replaced by another. The
list is fixed so that runs before and after a change of the tests compare the same faults.

For each mutant: patch the file in place, rebuild only the libraries (the test programs load them,
so they need no relinking), run the tests that exercise that folder first and, when they all pass,
every other test but the slow ones, then put the file back. The original file is written back on
every exit, Ctrl-C included, and also kept beside the tree (.mutation-backup) so a run killed hard
is repaired by the next one.

    scripts/mutation-sample.py [--build build-asan] [--only ID,...] [--list]

Killed: some test failed or timed out. Survived: every test passed. Not built: the mutant does not
compile (left out of the share).
"""
import argparse
import json
import os
import pathlib
import re
import signal
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
BACKUP = ROOT / ".mutation-backup"

# (id, file under src/, text to replace, replacement, nth occurrence when the text repeats)
MUTANTS = [
    # sign-in
    ("signin-1", "signin/authenticate_user.cc", "kWinNtPathStartLength = 8;",
     "kWinNtPathStartLength = 7;"),
    ("signin-2", "signin/authenticate_user.cc", "e.number == errors::kDbSecEPermissiondenied",
     "e.number != errors::kDbSecEPermissiondenied"),
    ("signin-3", "signin/authenticate_user.cc", '    pvGroupNames = "";\n', ""),
    ("signin-4", "signin/get_group_list.cc", 'server_ && Trim(name) == "Administrators"',
     'server_ || Trim(name) == "Administrators"'),
    ("signin-5", "signin/get_group_list.cc", ': ";";', ': ",";'),
    ("signin-6", "signin/membership.cc", "Mid(group.Name(), 3)", "Mid(group.Name(), 4)"),
    ("signin-7", "signin/membership.cc", "member->Name() != member_name",
     "member->Name() == member_name"),
    ("signin-8", "signin/winnt_sign_in.cc", "    out.result = request.account;\n", ""),
    ("signin-9", "signin/ldap_sign_in.cc", "return backslash >= 2 ?", "return backslash >= 3 ?"),
    ("signin-10", "signin/ldap_sign_in.cc",
     "  if (ConcatText(out.group_list).empty()) out.error = MembershipRefusal(request.login_type);\n",
     "", 1),
    # groups
    ("groups-1", "groups/add_external_group.cc", "for (int n = 1;", "for (int n = 2;"),
    ("groups-2", "groups/add_external_group.cc",
     '    group->Put("groupType", Variant(kLocalGroupType));\n', ""),
    ("groups-3", "groups/generate_groups.cc", "if (v.IsNull()) return false;",
     "if (v.IsNull()) return true;"),
    ("groups-4", "groups/generate_groups.cc", "return comment.empty() ?",
     "return !comment.empty() ?"),
    ("groups-5", "groups/generate_groups.cc", "    on_error.Clear();\n  }\n", "  }\n"),
    ("groups-6", "groups/generate_groups.cc", "if (SiteExists(web_service.get(), number)) continue;",
     "if (!SiteExists(web_service.get(), number)) continue;"),
    ("groups-7", "groups/update_group.cc", "if (ConcatText(pvError).empty()) pvError = FormD(e);",
     "if (!ConcatText(pvError).empty()) pvError = FormD(e);"),
    ("groups-8", "groups/update_group.cc", 'action == "Delete"', 'action == "delete"'),
    # listings
    ("listings-1", "listings/get_all_groups_list.cc", "if (!IsProfileGroupName(name)) continue;",
     "if (IsProfileGroupName(name)) continue;"),
    ("listings-2", "listings/get_all_groups_list.cc", "<TD class=TableRow width=150>",
     "<TD class=TableRow width=151>"),
    ("listings-3", "listings/get_all_users.cc", "if (!given.IsNull() && !sn.IsNull())",
     "if (!given.IsNull() || !sn.IsNull())"),
    ("listings-4", "listings/get_all_users.cc", "CheckLength(psUserProvider, 6,",
     "CheckLength(psUserProvider, 7,"),
    ("listings-5", "listings/get_all_users.cc", "domain.empty() && provider != kRootDsePath",
     "domain.empty() && provider == kRootDsePath"),
    ("listings-6", "listings/get_all_users.cc", '      provider += ",computer";\n', ""),
    ("listings-7", "listings/get_all_users_list.cc", "if (!HasPrefix(name, kPerSitePrefix)) continue;",
     "if (HasPrefix(name, kPerSitePrefix)) continue;"),
    ("listings-8", "listings/get_all_users_list.cc",
     'if (!in_groups.empty()) out << "<tr><td class=TableRow colspan=2></td>";',
     'if (in_groups.empty()) out << "<tr><td class=TableRow colspan=2></td>";'),
    ("listings-9", "listings/get_all_users_list.cc", "if (is_member(record.group)) continue;",
     "if (!is_member(record.group)) continue;"),
    # profile administrators
    ("profileadmins-1", "profileadmins/add_user_to_group.cc",
     'InStr(1, provider, "WinNT://") > 0', 'InStr(1, provider, "WinNT://") >= 0'),
    ("profileadmins-2", "profileadmins/add_user_to_group.cc", "CheckLength(psUserProvider, 6,",
     "CheckLength(psUserProvider, 5,"),
    ("profileadmins-3", "profileadmins/add_user_to_group.cc", 'InStr(1, user, "/") > 0',
     'InStr(1, user, "/") > 1'),
    ("profileadmins-4", "profileadmins/remove_user_from_group.cc", "  result = true;\n",
     "  result = false;\n"),
    ("profileadmins-5", "profileadmins/winnt_add_user.cc", "if (request.backslash > 0) {",
     "if (request.backslash > 1) {"),
    ("profileadmins-6", "profileadmins/winnt_add_user.cc", "match = user->NameView() == account;",
     "match = user->NameView() != account;"),
    ("profileadmins-7", "profileadmins/import_profile_admins.cc", "if (group_length < 0) continue;",
     "if (group_length <= 0) continue;"),
    ("profileadmins-8", "profileadmins/import_profile_admins.cc",
     "backslash >= 2 ? Mid(user, backslash + 1) : user;",
     "backslash >= 3 ? Mid(user, backslash + 1) : user;"),
    ("profileadmins-9", "profileadmins/import_profile_admins.cc",
     'if (operation != "-") continue;', 'if (operation == "-") continue;'),
    # web server
    ("webserver-1", "webserver/create_virtual_dir.cc",
     'directory->Put("AccessScript", Variant(true));',
     'directory->Put("AccessScript", Variant(false));'),
    ("webserver-2", "webserver/create_virtual_dir.cc", "if (errors::kErrorAlreadyExists.Is(e))",
     "if (!errors::kErrorAlreadyExists.Is(e))"),
    ("webserver-3", "webserver/create_virtual_web_server.cc",
     '!= "IIs" || Right(cls, 6) != "Server"', '!= "IIs" && Right(cls, 6) != "Server"'),
    ("webserver-4", "webserver/create_virtual_web_server.cc", "return highest + 1;",
     "return highest + 2;"),
    ("webserver-5", "webserver/get_virtual_web_servers.cc", "if (p1 == 1)", "if (p1 == 0)"),
    ("webserver-6", "webserver/get_virtual_web_servers.cc", '      result += "\\t";\n', ""),
    ("webserver-7", "webserver/site_root.cc", "root.AppCreate2(2);", "root.AppCreate2(1);"),
    ("webserver-8", "webserver/add_favorite.cc", "    result = true;\n", ""),
    ("webserver-9", "webserver/start_virtual_web_server.cc", "    result = true;\n", ""),
    # metabase
    ("metabase-1", "platform/directory/iis/metabase_store.cc",
     "length > text.size() - colon - 1", "length >= text.size() - colon - 1"),
    ("metabase-2", "platform/directory/iis/metabase_store.cc",
     "Variant(row.Int(type_column + 1) != 0)", "Variant(row.Int(type_column + 1) == 0)"),
    ("metabase-3", "platform/directory/iis/metabase_store.cc",
     "if (changed == 0) errors::kErrorPathNotFound.Throw();",
     "if (changed < 0) errors::kErrorPathNotFound.Throw();"),
    ("metabase-4", "platform/directory/iis/metabase_store.cc",
     '"SELECT id FROM keys WHERE parent = ? ORDER BY id"',
     '"SELECT id FROM keys WHERE parent = ? ORDER BY id DESC"', 1),
    ("metabase-5", "platform/directory/iis/metabase_store.cc",
     "n > std::numeric_limits<int32_t>::max()", "n >= std::numeric_limits<int32_t>::max()"),
    # account store
    ("accounts-1", "platform/directory/winnt/account_store.cc", "c == '\\\\' || c == ','",
     "c == '\\\\' || c == ';'"),
    ("accounts-2", "platform/directory/winnt/account_store.cc",
     "  if (taken.BindAll(id, name).Step()) errors::kNerrUserexists.Throw();\n", ""),
    ("accounts-3", "platform/directory/winnt/account_store.cc",
     "if (changed == 0) errors::kNerrUsernotfound.Throw();",
     "if (changed < 0) errors::kNerrUsernotfound.Throw();"),
    ("accounts-4", "platform/directory/winnt/account_store.cc",
     '"SELECT name FROM account_dbs ORDER BY id"', '"SELECT name FROM account_dbs ORDER BY name"'),
    ("accounts-5", "platform/directory/winnt/account_store.cc",
     "  if (password.empty()) hash.reset();\n", ""),
    ("accounts-6", "platform/directory/winnt/account_store.cc", "slash + 1 == path.size()",
     "slash + 2 == path.size()"),
    ("accounts-7", "platform/directory/winnt/winnt_objects.cc",
     "return kind == DirKind::kUser && !IsGroup();", "return kind == DirKind::kUser;"),
    ("accounts-8", "platform/directory/winnt/winnt_objects.cc", 'SameFolded(c, "group")',
     'SameFolded(c, "groups")'),
    # SQLite layer
    ("sqlite-1", "platform/sqlite/sqlite.cc",
     "if (UserVersion() > static_cast<int>(migrations.size())) {", "if (false) {"),
    ("sqlite-2", "platform/sqlite/sqlite.cc", " || system_errno == EROFS;", ";"),
    ("sqlite-3", "platform/sqlite/sqlite.cc", "O_RDWR | O_CREAT | O_CLOEXEC, 0600",
     "O_RDWR | O_CREAT | O_CLOEXEC, 0644"),
]

# The tests that exercise a folder of src/, run first so that most kills cost one program.
FIRST = {
    "signin": "^(signin|signin_ldap|component)$",
    "groups": "^(groups|cli_accounts)$",
    "listings": "^(listings|signin_ldap|cli_accounts)$",
    "profileadmins": "^(profileadmins|signin_ldap)$",
    "webserver": "^(webserver|cli_sites)$",
    "platform/directory/iis": "^(platform_directory_iis|webserver|cli_sites)$",
    "platform/directory/winnt": "^(platform_directory_winnt|signin|groups|cli_accounts)$",
    "platform/sqlite": "^(platform_sqlite|platform_directory_winnt|platform_directory_iis)$",
}
# Everything else that runs in a few minutes: the Active Directory and browser tests are left out.
EXCLUDE_LABELS = "ad|e2e|package"


def occurrence(text, needle, nth):
    start = -1
    for _ in range(nth):
        start = text.find(needle, start + 1)
        if start < 0:
            return -1
    return start


def run(cmd, timeout=None, **kw):
    try:
        return subprocess.run(cmd, cwd=ROOT, capture_output=True, text=True, timeout=timeout, **kw)
    except subprocess.TimeoutExpired:
        return None


def build(build_dir):
    # Only the libraries: the test programs and the command load them as shared objects.
    return run(["cmake", "--build", build_dir, "-j2", "--target", "Brindlecore", "brindleldap"])


def tests_pass(build_dir, regex, per_test_timeout):
    cmd = ["ctest", "--test-dir", build_dir, "-j2", "--stop-on-failure", "--timeout",
           str(per_test_timeout), "-LE", EXCLUDE_LABELS]
    if regex.startswith("!"):
        cmd += ["-E", regex[1:]]
    else:
        cmd += ["-R", regex]
    r = run(cmd)
    return r is not None and r.returncode == 0


def restore_leftover():
    if BACKUP.exists():
        saved = json.loads(BACKUP.read_text())
        (ROOT / saved["path"]).write_text(saved["text"])
        BACKUP.unlink()
        print(f"restored {saved['path']} left mutated by an earlier run", flush=True)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--build", default="build-asan")
    p.add_argument("--only", default="", help="comma-separated mutant ids")
    p.add_argument("--timeout", type=int, default=180, help="seconds per test program")
    p.add_argument("--list", action="store_true", help="list the mutants and exit")
    args = p.parse_args()

    mutants = [m if len(m) == 5 else (*m, 1) for m in MUTANTS]
    if args.only:
        wanted = set(args.only.split(","))
        mutants = [m for m in mutants if m[0] in wanted]
    if args.list:
        for mid, path, old, new, nth in mutants:
            print(f"{mid:18} src/{path}: {old.strip()!r} -> {new.strip()!r}")
        return 0

    # A Ctrl-C or a kill reaches the clean-up below as an exception.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    signal.signal(signal.SIGHUP, lambda *_: sys.exit(129))
    restore_leftover()
    if build(args.build).returncode != 0:
        print("the unmutated tree does not build", file=sys.stderr)
        return 2

    results = {}
    started = time.time()
    try:
        for mid, path, old, new, nth in mutants:
            file = ROOT / "src" / path
            original = file.read_text() if file.exists() else ""
            at = occurrence(original, old, nth)
            if at < 0:
                results[mid] = "not applicable"
                print(f"{mid:18} not applicable", flush=True)
                continue
            t0 = time.time()
            BACKUP.write_text(json.dumps({"path": str(file.relative_to(ROOT)), "text": original}))
            try:
                file.write_text(original[:at] + new + original[at + len(old):])
                b = build(args.build)
                if b is None or b.returncode != 0:
                    outcome = "not built"
                else:
                    folder = next((k for k in sorted(FIRST, key=len, reverse=True)
                                   if path.startswith(k)), None)
                    first = FIRST.get(folder, "^$")
                    if not tests_pass(args.build, first, args.timeout):
                        outcome = "killed"
                    elif not tests_pass(args.build, "!" + first, args.timeout):
                        outcome = "killed"
                    else:
                        outcome = "survived"
            finally:
                file.write_text(original)
                BACKUP.unlink()
            results[mid] = outcome
            print(f"{mid:18} {outcome:9} {time.time() - t0:5.0f} s", flush=True)
    finally:
        # Leave the libraries built from the unmutated sources.
        build(args.build)

    counted = [m for m, o in results.items() if o in ("killed", "survived")]
    killed = [m for m in counted if results[m] == "killed"]
    survived = [m for m in counted if results[m] == "survived"]
    print()
    print(f"killed {len(killed)} of {len(counted)} ({100.0 * len(killed) / max(1, len(counted)):.1f}%)"
          f" in {(time.time() - started) / 60:.1f} min")
    for label in ("not built", "not applicable"):
        left = [m for m, o in results.items() if o == label]
        if left:
            print(f"{label}: {', '.join(left)}")
    by_id = {m[0]: m for m in mutants}
    for mid in survived:
        _, path, old, new, _ = by_id[mid]
        print(f"survived {mid}: src/{path}: {old.strip()!r} -> {new.strip()!r}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
