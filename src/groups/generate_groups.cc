// GenerateGroups: one per-site profile group for every web site of the metabase, described after
// the site's comment; on request, removal of the per-site groups whose site is gone.
#include <memory>
#include <string>
#include <vector>

#include "component/account_database.h"
#include "component/authentication.h"
#include "component/frame.h"
#include "component/profile_group_names.h"
#include "platform/automation/errors.h"

namespace brindlecore::component {
namespace {

constexpr char kWebService[] = "IIS://LocalHost/W3SVC";
constexpr char kWebSiteClass[] = "IIsWebServer";

// Removal deletes groups, and with them profile administrators' rights, so only a value that
// clearly reads as true asks for it: Null, Empty and any text that reads neither as a truth
// value nor as a number count as false.
bool ReadRemoveRedundant(const Variant& v) {
  if (v.IsNull()) return false;
  try {
    return ToBool(v);
  } catch (const AutomationError&) {
    return false;
  }
}

// A site that has no comment at all is described by its number, like one with an empty
// comment. Any other failure to read the comment skips the description, so a passing metabase
// fault never replaces a good description with the default.
std::string SiteDescription(platform::DirObject& site, const std::string& number) {
  std::string comment;
  try {
    comment = ToText(site.Get("ServerComment"));
  } catch (const AutomationError& e) {
    if (!errors::kEAdsPropertyNotFound.Is(e)) throw;
  }
  return comment.empty() ? "Virtual Web Server " + number : comment;
}

// Whether the metabase still has the site; a site list that cannot be read to its end counts as
// having it, so a passing metabase failure never deletes a group.
bool SiteExists(platform::DirObject* web_service, const std::string& number) {
  if (web_service == nullptr) return true;
  try {
    auto children = web_service->Enumerate();
    while (auto child = children->Next()) {
      if (child->Class() == kWebSiteClass && child->Name() == number) return true;
    }
    return false;
  } catch (const AutomationError&) {
    return true;
  }
}

}  // namespace

Variant Authentication::GenerateGroups(Variant sNTDomain, Variant /*sUserName*/,
                                       Variant /*sPassword*/, Variant sRemoveRedundant,
                                       Variant& pvError) {
  const std::string domain_name = ConcatText(sNTDomain);
  // Deliberately outside any trap: a domain that cannot be bound fails towards the host.
  auto domain = BindDomain(platform_, domain_name);

  // From here a failing statement is skipped; the pending error is cleared after every site so
  // one broken site never affects the next.
  ContinueAfterError on_error;
  std::unique_ptr<platform::DirObject> web_service;
  on_error.Run([&] { web_service = platform_.GetObject(kWebService); });

  std::vector<std::unique_ptr<platform::DirObject>> sites;
  if (web_service) {
    on_error.Run([&] {
      auto children = web_service->Enumerate();
      while (auto child = children->Next()) sites.push_back(std::move(child));
    });
  }
  for (auto& site : sites) {
    std::string cls;
    on_error.Run([&] { cls = site->Class(); });
    // Each statement reads the site's name itself: a name that cannot be read skips the
    // statement rather than creating or describing a group called just the prefix.
    if (cls == kWebSiteClass) {
      // An existing group makes SetInfo fail; it is left as it is, members included.
      on_error.Run([&] {
        auto group = domain->Create("group", std::string(kPerSitePrefix) + site->Name());
        group->Put("groupType", Variant(kLocalGroupType));
        group->SetInfo();
      });
    }
    // Describing runs for every child, as the site loop always has; a child that is not a site
    // has no group of its name, so the bind fails and the statement is skipped.
    on_error.Run([&] {
      const std::string number = site->Name();
      auto group = BindGroup(platform_, domain_name, std::string(kPerSitePrefix) + number);
      group->SetDescription(SiteDescription(*site, number));
      group->SetInfo();
    });
    on_error.Clear();
  }

  if (!ReadRemoveRedundant(sRemoveRedundant)) return Variant(true);

  domain.reset();
  std::unique_ptr<platform::DirObject> computer;
  try {
    computer = BindComputer(platform_, domain_name);
  } catch (const AutomationError& e) {
    pvError = "Getting Computer Object, " + e.description;
    return Variant(false);
  }
  try {
    computer->SetFilter({"group"});
  } catch (const AutomationError& e) {
    pvError = "Setting Filter, " + e.description;
    return Variant(false);
  }

  // Names are gathered first so that deleting never disturbs the enumeration it came from.
  std::vector<std::string> group_names;
  on_error.Run([&] {
    auto groups = computer->Enumerate();
    for (;;) {
      auto group = groups->Next();
      if (!group) break;
      on_error.Run([&] { group_names.push_back(group->Name()); });
    }
  });
  for (const std::string& name : group_names) {
    on_error.Clear();
    if (!HasPrefix(name, kPerSitePrefix)) continue;
    const long number_length = static_cast<long>(Trim(name).size()) - kProfilePrefixLength;
    const std::string number = Mid(name, kProfilePrefixLength + 1, number_length);
    if (SiteExists(web_service.get(), number)) continue;
    on_error.Run([&] { computer->Delete("group", name); });
  }
  return Variant(true);
}

}  // namespace brindlecore::component
