// GetVirtualWebServers: the sites the pages offer to choose from, one tab-ended entry per site
// with its number, comment and the addresses it answers on.
#include "component/authentication.h"
#include "component/frame.h"

namespace brindlecore::component {
namespace {

// "IP:port:host" shown as "IP:port", or "LocalHost:port" when the IP is empty; the host header is
// never shown. A binding with fewer than two colons makes Left/Mid raise 5, as the host's
// string functions do with the negative counts it yields.
std::string ShownAddress(const std::string& binding) {
  long p1 = InStr(1, binding, ":");
  long p2 = InStr(p1 + 1, binding, ":");
  if (p1 == 1) return "LocalHost:" + Mid(binding, 2, p2 - 2);
  return Left(binding, p2 - 1);
}

std::vector<std::string> Bindings(const Variant& value) {
  if (!value.IsArray()) return {ConcatText(value)};
  std::vector<std::string> out;
  for (const auto& item : value.array()) out.push_back(ToText(item));
  return out;
}

}  // namespace

std::string Authentication::GetVirtualWebServers(std::string& pvError) {
  std::string result;
  try {
    auto service = platform_.GetObject("IIS://LocalHost/W3SVC");
    auto children = service->Enumerate();
    while (auto child = children->Next()) {
      if (child->Class() != "IIsWebServer") continue;
      // Each piece is appended as soon as it is known, so a failure part-way leaves the text
      // gathered up to that point for the caller.
      result += child->Name() + "-" + ConcatText(child->Get("ServerComment"));
      for (const auto& binding : Bindings(child->Get("ServerBindings"))) {
        result += " (" + ShownAddress(binding) + ")";
      }
      result += "\t";
    }
  } catch (const AutomationError& e) {
    pvError = FormB(e);
  }
  return result;
}

}  // namespace brindlecore::component
