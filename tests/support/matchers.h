// Automation errors compared by number and text in one line, whether thrown by a platform call
// (ErrorOf) or left by a call by name (CallOutcome::error); a mismatch prints what was seen.
#ifndef BRINDLECORE_TESTS_SUPPORT_MATCHERS_H_
#define BRINDLECORE_TESTS_SUPPORT_MATCHERS_H_

#include <gmock/gmock.h>

#include <functional>
#include <optional>
#include <string>

#include "brindlecore/automation.h"
#include "platform/automation/errors.h"

namespace brindlecore::testing {

// The error `call` throws, or nothing when it returns.
inline std::optional<AutomationError> ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e;
  }
  return std::nullopt;
}

inline const AutomationError* ErrorIn(const AutomationError& e) { return &e; }
inline const AutomationError* ErrorIn(const std::optional<AutomationError>& e) {
  return e ? &*e : nullptr;
}

// An error with exactly this number and text.
MATCHER_P2(AutomationErrorIs, number, text, "") {
  const AutomationError* e = ErrorIn(arg);
  if (e == nullptr) {
    *result_listener << "no error";
    return false;
  }
  *result_listener << "error " << e->number << " \"" << e->description << "\"";
  return e->number == static_cast<int32_t>(number) && e->description == text;
}

inline auto AutomationErrorIs(const errors::ErrorCode& code) {
  return AutomationErrorIs(code.number, std::string(code.text));
}

// The number alone, where another test pins the text; 0: no error at all.
MATCHER_P(ErrorNumberIs, number, "") {
  const AutomationError* e = ErrorIn(arg);
  if (e == nullptr) {
    *result_listener << "no error";
    return number == 0;
  }
  *result_listener << "error " << e->number << " \"" << e->description << "\"";
  return e->number == static_cast<int32_t>(number);
}

inline auto ErrorNumberIs(const errors::ErrorCode& code) { return ErrorNumberIs(code.number); }

}  // namespace brindlecore::testing

#endif  // BRINDLECORE_TESTS_SUPPORT_MATCHERS_H_
