// The request lines of `brindlecore invoke`, decoded into a call: a line of any content either
// becomes a Request or throws BadRequest, so one bad line never ends the host.
#ifndef BRINDLECORE_CLI_INVOKE_REQUEST_H_
#define BRINDLECORE_CLI_INVOKE_REQUEST_H_

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "brindlecore/automation.h"

namespace brindlecore::cli {

// Levels of arrays and objects a request line may nest, its own object included: far more than
// any call needs, and few enough that decoding and destroying the arguments recurse safely.
inline constexpr int kMaxRequestNesting = 64;

struct Request {
  std::string progid;
  std::string method;
  std::vector<Arg> args;
};

// A request line that cannot be called; the message says what is wrong with it, and its length
// does not depend on how deep the fault lies.
struct BadRequest {
  std::string message;
};

// Decodes one line (see the JSON-lines host's request format); `progid` is used when the line
// names none. Throws BadRequest for anything but a valid request, std::bad_alloc when out of
// memory, nothing else.
Request ParseRequest(std::string_view line, const std::string& default_progid);

// Checks a decoded call against the member it names, as the object describes it: the argument
// count, and a by-reference argument wherever the member writes one back (a plain value there
// would have the method's output thrown away unseen). Throws BadRequest naming the first fault.
void CheckArguments(const FuncDesc& member, std::span<const Arg> args);

}  // namespace brindlecore::cli

#endif  // BRINDLECORE_CLI_INVOKE_REQUEST_H_
