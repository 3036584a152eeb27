// Markup the host pages write themselves. Every value the host writes is escaped here; the
// component's rows are embedded as the component returns them.
#ifndef BRINDLECORE_HOST_HTML_H_
#define BRINDLECORE_HOST_HTML_H_

#include <string>
#include <string_view>

namespace brindlecore::host {

// Escapes &, <, >, " and ' for text and quoted attribute values.
std::string Escape(std::string_view text);

// Percent-encodes everything but unreserved characters, for query strings.
std::string UrlEncode(std::string_view text);

struct PageFrame {
  std::string title;
  std::string page;     // the body's data-page, read by the page script
  std::string user;     // signed-in user; empty on the sign-in page
  std::string csrf;     // the session's token for the forms of the page
  bool admin = false;   // shows the administration navigation
  std::string message;  // one-shot message shown above the content
  bool message_is_error = false;
  std::string hint;  // a plain-language line under the message, its own element
};

// A whole page around `content` (already markup).
std::string RenderPage(const PageFrame& frame, std::string_view content);

// The hidden input that carries the session's CSRF token in a form.
std::string CsrfField(std::string_view token);

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_HTML_H_
