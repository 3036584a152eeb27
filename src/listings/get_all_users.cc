// GetAllUsers: every user of a WinNT account database or an LDAP domain as table rows, either
// picker rows (a link that hands the user's name to the page's updateField) or overview rows
// (the user, a descriptive name and the user's per-site profile groups).
#include <cctype>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "component/authentication.h"
#include "component/directory_search.h"
#include "component/frame.h"

namespace brindlecore::component {
namespace {

enum class ProviderKind { kNone, kLdap, kWinNT };

// The host pages pass "true" or "false"; any other value the host's own truth-value conversion
// accepts (a Boolean, a number, a numeric text, Empty as false) is taken the same way, so a page
// that passes a checkbox's Boolean or 1/0 works. Everything else is refused.
bool ReadShowGroups(const Variant& v) {
  try {
    return ToBool(v);
  } catch (const AutomationError&) {
    Raise("Invalid Show Group Option, should be true or false");
  }
}

std::string UpperCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The dc of the domain object under `root`; "" when the search finds none. The last record wins.
std::string DomainLabel(platform::Command& command, const std::string& root) {
  command.SetCommandText("<" + root + ">;(objectClass=domainDNS);dc;subTree");
  auto records = command.Execute();
  std::string label;
  while (!records->Eof()) {
    label = ConcatText(records->Field("dc"));
    records->MoveNext();
  }
  records->Close();
  return label;
}

std::string DisplayName(platform::Recordset& record) {
  const Variant given = record.Field("givenName");
  const Variant sn = record.Field("sn");
  if (!given.IsNull() && !sn.IsNull()) return ToText(given) + " " + ToText(sn);
  return ConcatText(record.Field("name"));
}

// Where the rows go and which of the two kinds they are. `groups_of` gives an account's groups
// cell text, or throws when the look-up reports a failure.
struct UserListing {
  std::string& html;
  bool show_groups;
  std::string current_group;
  std::function<std::string(const Variant& account)> groups_of;
};

// One user's row: `shown` is the account as the page shows it, `picked` as the page's
// updateField receives it, `account` what the groups look-up is given.
void AppendUserRow(UserListing& listing, const std::string& shown, const std::string& picked,
                   const std::string& description, const Variant& account) {
  std::string& html = listing.html;
  if (listing.show_groups) {
    html.append("<TR><TD class=TableRow>").append(shown).append("</TD>");
    html.append("<TD class=TableRow>").append(description).append("</TD>");
    // The cell is opened before the look-up so that a failed look-up leaves a visibly broken row
    // behind rather than silently dropping the user.
    html += "<TD class=TableRow>";
    html += listing.groups_of(account);
    html += "</TD></TR>";
  } else {
    html.append("<TR><TD class=TableRow><a href=\"JavaScript:updateField('")
        .append(picked)
        .append("','")
        .append(listing.current_group)
        .append("');\">")
        .append(shown)
        .append("</a></TD>");
    html.append("<TD class=TableRow>").append(description).append("</TD></TR>");
  }
}

// The users of a domain, found by a search under `provider` with the process's own credentials
// and shown as "DOMAIN\account". Any failure ends the listing.
void ListDirectoryUsers(platform::Platform& platform, const std::string& provider,
                        UserListing& listing) {
  const std::string search_root = ResolveSearchRoot(platform, provider);
  auto command = OpenSearchCommand(platform);
  SetSearchProperties(*command, kListingTimeout);

  std::string domain = DomainLabel(*command, search_root);
  // A root below the domain (an OU) holds no domain object; the default naming context does, and
  // serves for the label only.
  if (domain.empty() && provider != kRootDsePath) {
    domain = DomainLabel(*command, DefaultNamingContextPath(platform));
  }
  if (domain.empty()) Raise("Could not determine the Domain Name.");
  domain = UpperCase(domain);

  command->SetProperty("Size Limit", Variant(int16_t{20000}));
  command->SetCommandText("<" + search_root +
                          ">;(objectClass=User);sAMAccountName,name,ADsPath,givenName,sn;"
                          "subTree");
  auto records = command->Execute();
  while (!records->Eof()) {
    const Variant account_value = records->Field("sAMAccountName");
    const std::string account = ConcatText(account_value);
    const std::string display = DisplayName(*records);
    AppendUserRow(listing, domain + "\\" + account, domain + "\\\\" + account, display,
                  account_value);
    records->MoveNext();
  }
  records->Close();
}

// The users of the account database `computer_path` ("WinNT://NAME,computer").
void ListLocalUsers(platform::Platform& platform, const std::string& computer_path,
                    UserListing& listing) {
  auto container =
      platform::Require(platform.GetObject(computer_path), platform::DirKind::kContainer);
  container->SetFilter({"user"});
  auto users = container->Enumerate();
  // A failing step of the enumeration itself ends the listing through the trap; only the
  // handling of one user is allowed to fail quietly, leaving that user's row unfinished. Each user
  // is done with before the next step, so one object re-aimed at each will do.
  while (auto* user = users->NextBorrowed()) {
    try {
      const std::string name = user->Name();
      const std::string description = user->Description();
      AppendUserRow(listing, name, name, description, Variant(name));
    } catch (const AutomationError&) {
      // The user is skipped; pvError is kept for failures of the listing as a whole.
    }
  }
}

}  // namespace

Variant Authentication::GetAllUsers(Variant psUserProvider, Variant psComputerName,
                                    Variant psCurrentGroup, Variant psShowGroups,
                                    Variant& pvError) {
  std::string result;
  try {
    CheckNotNull(psUserProvider, "Invalid User Provider -- Null");
    CheckNotEmpty(psUserProvider, "Invalid User Provider -- Empty");
    CheckLength(psUserProvider, 6, "Invalid User Provider - zero-length or too short");
    std::string provider = ToText(psUserProvider);
    ProviderKind kind = ProviderKind::kNone;
    if (Left(provider, 4) == "LDAP") kind = ProviderKind::kLdap;
    if (Left(provider, 5) == "WinNT") {
      kind = ProviderKind::kWinNT;
      provider += ",computer";
    }
    if (kind == ProviderKind::kNone) {
      Raise("Invalid User Provider - should start with LDAP or WinNT");
    }
    CheckArgument(psCurrentGroup, "Current Group");
    CheckArgument(psComputerName, "Computer Name");
    CheckNotNull(psShowGroups, "Invalid Show Groups Option -- Null");
    const bool show_groups = ReadShowGroups(psShowGroups);
    const std::string current_group = ToText(psCurrentGroup);
    const std::string computer_name = ToText(psComputerName);

    // One set of arguments for every user: the call leaves those passed by value as they were.
    std::vector<Arg> args{Arg{Variant(computer_name), false}, Arg{Variant(), false},
                          Arg{Variant("ProfileAdministrator"), false}, Arg{Variant(), true}};
    const auto groups_of = [&](const Variant& account) {
      args[1].value = account;
      args[3].value = Variant(std::string());
      const Variant groups = CallSelf("GetGroupList", args);
      const std::string lookup_error = ConcatText(args[3].value);
      if (!lookup_error.empty()) {
        Raise("Error enumerating groups user belongs to. " + lookup_error);
      }
      return ToText(groups);
    };
    UserListing listing{result, show_groups, current_group, groups_of};
    if (kind == ProviderKind::kLdap) {
      ListDirectoryUsers(platform_, provider, listing);
    } else {
      ListLocalUsers(platform_, provider, listing);
    }
  } catch (const AutomationError& e) {
    pvError = FormA(pvError, e);
  }
  return Variant(std::move(result));
}

}  // namespace brindlecore::component
