#include "platform/directory/winnt/winnt_path.h"

#include "platform/automation/errors.h"
#include "platform/directory/winnt/account_store.h"

namespace brindlecore::platform::winnt {

WinNtPath ParseWinNtPath(std::string_view path) {
  WinNtPath parsed;
  if (path == "WinNT:") return parsed;
  constexpr std::string_view kPrefix = "WinNT://";
  if (!path.starts_with(kPrefix)) errors::kEAdsBadPathname.Throw();
  std::string_view body = path.substr(kPrefix.size());
  std::string suffix;
  if (size_t comma = body.find(','); comma != std::string_view::npos) {
    suffix = FoldName(body.substr(comma + 1));
    if (suffix.empty()) errors::kEAdsBadPathname.Throw();
    body = body.substr(0, comma);
  }
  size_t slash = body.find('/');
  parsed.database = std::string(body.substr(0, slash));
  if (parsed.database.empty()) errors::kEAdsBadPathname.Throw();
  if (slash == std::string_view::npos) {
    if (!suffix.empty() && suffix != "computer" && suffix != "domain") {
      errors::kEAdsBadPathname.Throw();
    }
    parsed.kind = WinNtPath::Kind::kDatabase;
    return parsed;
  }
  std::string_view account = body.substr(slash + 1);
  if (account.empty() || account.find('/') != std::string_view::npos) {
    errors::kEAdsBadPathname.Throw();
  }
  if (suffix == "group") {
    parsed.want = WinNtPath::Want::kGroup;
  } else if (suffix == "user") {
    parsed.want = WinNtPath::Want::kUser;
  } else if (!suffix.empty()) {
    errors::kEAdsBadPathname.Throw();
  }
  parsed.kind = WinNtPath::Kind::kAccount;
  parsed.account = std::string(account);
  return parsed;
}

}  // namespace brindlecore::platform::winnt
