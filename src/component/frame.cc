#include "component/frame.h"

#include "platform/automation/errors.h"

namespace brindlecore::component {

void Raise(std::string message) { throw AutomationError(-1, std::move(message)); }

void CheckNotNull(const Variant& v, std::string message) {
  if (v.IsNull()) Raise(std::move(message));
}

void CheckNotEmpty(const Variant& v, std::string message) {
  if (v.IsEmpty()) Raise(std::move(message));
}

void CheckLength(const Variant& v, size_t min_length, std::string message) {
  if (Trim(ConcatText(v)).size() < min_length) Raise(std::move(message));
}

void CheckArgument(const Variant& v, std::string_view label) {
  const std::string l(label);
  CheckNotNull(v, "Invalid " + l + " -- Null");
  CheckNotEmpty(v, "Invalid " + l + " -- Empty");
  CheckLength(v, 1, "Invalid " + l + " - 0 Length String");
}

std::string FormA(const Variant& pv_error, const AutomationError& e) {
  return Trim(ConcatText(pv_error) + " " + NumberText(e.number) + " ," + e.description);
}

std::string FormB(const AutomationError& e) {
  return Trim(NumberText(e.number) + " ," + e.description);
}

std::string FormC(const Variant& pv_error, const AutomationError& e) {
  return ConcatText(pv_error) + " - " + NumberText(e.number) + "," + e.description;
}

std::string FormD(const AutomationError& e) {
  return "Error No: " + NumberText(e.number) + ", " + e.description;
}

std::string FormE(const AutomationError& e) { return "An error occurred: " + e.description; }

std::string StepText(const AutomationError& e, std::string_view suffix) {
  return e.description + std::string(suffix);
}

std::string Left(std::string_view s, long count) {
  if (count < 0) errors::kRtInvalidProcedureCall.Throw();
  return std::string(s.substr(0, static_cast<size_t>(count)));
}

std::string Right(std::string_view s, long count) {
  if (count < 0) errors::kRtInvalidProcedureCall.Throw();
  size_t n = std::min(static_cast<size_t>(count), s.size());
  return std::string(s.substr(s.size() - n));
}

std::string Mid(std::string_view s, long start) {
  if (start < 1) errors::kRtInvalidProcedureCall.Throw();
  if (static_cast<size_t>(start) > s.size()) return "";
  return std::string(s.substr(static_cast<size_t>(start - 1)));
}

std::string Mid(std::string_view s, long start, long count) {
  if (start < 1 || count < 0) errors::kRtInvalidProcedureCall.Throw();
  if (static_cast<size_t>(start) > s.size()) return "";
  return std::string(s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count)));
}

long InStr(long start, std::string_view s, std::string_view needle) {
  if (start < 1) errors::kRtInvalidProcedureCall.Throw();
  if (static_cast<size_t>(start) > s.size() + 1) return 0;
  size_t pos = s.find(needle, static_cast<size_t>(start - 1));
  return pos == std::string_view::npos ? 0 : static_cast<long>(pos + 1);
}

}  // namespace brindlecore::component
