// Which computer's account database the pages serve, chosen the same way by `serve` and by
// `init --demo` so the demo seeds what the pages show.
#ifndef BRINDLECORE_HOST_SERVED_COMPUTER_H_
#define BRINDLECORE_HOST_SERVED_COMPUTER_H_

#include <filesystem>
#include <string>

namespace brindlecore::host {

// platform.conf's host.computer, else the first account database of the root's store; "" when
// there is neither. Throws AutomationError when the store cannot be read.
std::string ServedComputer(const std::filesystem::path& root);

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_SERVED_COMPUTER_H_
