// The call frame every method shares: argument checks, refusals, error text forms A to E,
// step texts, continue-after-error, and the host's string functions with their error rules.
#ifndef BRINDLECORE_COMPONENT_FRAME_H_
#define BRINDLECORE_COMPONENT_FRAME_H_

#include <string>
#include <string_view>
#include <utility>

#include "brindlecore/automation.h"
#include "brindlecore/variant.h"

namespace brindlecore::component {

// A method's own refusal: number -1, the message as description.
[[noreturn]] void Raise(std::string message);

// The check triple for an argument labelled `label`, in order: Null ("Invalid L -- Null"),
// Empty ("Invalid L -- Empty"), blank after trimming spaces ("Invalid L - 0 Length String").
// Each raises -1; the first failure ends the checks.
void CheckArgument(const Variant& v, std::string_view label);

// The three tests one by one, for the methods whose messages vary the idiom.
void CheckNotNull(const Variant& v, std::string message);
void CheckNotEmpty(const Variant& v, std::string message);
// Blank: the text (Null counts as "") trimmed of spaces is shorter than `min_length`.
void CheckLength(const Variant& v, size_t min_length, std::string message);

// Form A: E, " ", N, " ,", D joined, then trimmed.
std::string FormA(const Variant& pv_error, const AutomationError& e);
// Form B: N, " ,", D joined, then trimmed.
std::string FormB(const AutomationError& e);
// Form C: E, " - ", N, ",", D joined, not trimmed.
std::string FormC(const Variant& pv_error, const AutomationError& e);
// Form D: "Error No: ", N, ", ", D (the caller stores it only when E is empty).
std::string FormD(const AutomationError& e);
// Form E: "An error occurred: " and D, appended to the result by the caller.
std::string FormE(const AutomationError& e);
// A failed step: the description followed by the step's fixed suffix.
std::string StepText(const AutomationError& e, std::string_view suffix);

// A step whose failure the method reports in its error output rather than through its trap:
// runs `step`; when it throws, stores StepText(e, suffix) in `error` and returns false, and the
// method then returns its failure value with every other output as it stands.
template <typename F>
bool RunStep(Variant& error, std::string_view suffix, F&& step) {
  try {
    std::forward<F>(step)();
    return true;
  } catch (const AutomationError& e) {
    error = StepText(e, suffix);
    return false;
  }
}

// Continue-after-error: runs one statement; a failure is skipped and stays pending, readable until
// cleared or replaced by the next failure (the host's own rule, so the last one is kept).
class ContinueAfterError {
 public:
  template <typename F>
  bool Run(F&& statement) {
    try {
      std::forward<F>(statement)();
      return true;
    } catch (const AutomationError& e) {
      pending_ = e;
      has_pending_ = true;
      return false;
    }
  }
  bool has_pending() const { return has_pending_; }
  const AutomationError& pending() const { return pending_; }
  void Clear() {
    has_pending_ = false;
    pending_ = AutomationError(0, "");
  }

 private:
  bool has_pending_ = false;
  AutomationError pending_{0, ""};
};

// The host's string functions, positions counting from 1. Each raises 5 "Invalid procedure call
// or argument" where the host does (a negative count, a start below 1).
std::string Left(std::string_view s, long count);
std::string Right(std::string_view s, long count);
std::string Mid(std::string_view s, long start);
std::string Mid(std::string_view s, long start, long count);
// Position of `needle` in `s` from `start` (1-based), 0 when absent; case-sensitive.
long InStr(long start, std::string_view s, std::string_view needle);

}  // namespace brindlecore::component

#endif  // BRINDLECORE_COMPONENT_FRAME_H_
