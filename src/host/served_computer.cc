#include "host/served_computer.h"

#include "platform/directory/winnt/account_store.h"
#include "platform/root.h"

namespace brindlecore::host {

std::string ServedComputer(const std::filesystem::path& root) {
  std::string computer = platform::PlatformConfig::Load(root).Get("host.computer");
  if (!computer.empty()) return computer;
  std::vector<std::string> computers =
      platform::winnt::AccountStore(root, /*create=*/false).ListDatabases();
  return computers.empty() ? "" : computers.front();
}

}  // namespace brindlecore::host
