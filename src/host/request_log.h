// One line on standard error per request the pages answer, for the administrator's journal:
// method, path, status, time taken and the signed-in user; a refused sign-in adds the name tried
// and the client address. Query strings and bodies are never written: they carry passwords,
// session tokens and the names a visitor searched for.
#ifndef BRINDLECORE_HOST_REQUEST_LOG_H_
#define BRINDLECORE_HOST_REQUEST_LOG_H_

#include <httplib.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace brindlecore::host {

// What the pages learn about a request while answering it. A request is answered from start to
// log line on one worker thread, so each thread keeps the note of the request it is answering.
struct RequestNote {
  // When routing began; unset for a request too malformed to be routed.
  std::optional<std::chrono::steady_clock::time_point> start;
  std::string user;         // signed-in user; empty: none
  std::string signin;       // a refused sign-in: "failed", "refused (too many failures)"
  std::string signin_user;  // the name that sign-in tried
};

// The note of the request this thread is answering.
RequestNote& CurrentRequest();

// `text` made safe for one log line: printable ASCII other than quote and backslash as is (and
// space, when the text is written between quotes), every other byte as \xNN; at most `max` bytes
// of `text`, then "...".
std::string LogText(std::string_view text, bool quoted, size_t max = 256);

// The line for `req` answered with `res` (no newline), e.g.
//   GET /Groups.asp 200 3ms "admin"
//   POST /login.asp 401 12ms - sign-in failed for "bob" from 127.0.0.1
std::string RequestLogLine(const httplib::Request& req, const httplib::Response& res,
                           const RequestNote& note, std::chrono::steady_clock::time_point now);

// Writes "brindlecore: " + RequestLogLine in one write, then clears this thread's note.
void LogRequest(const httplib::Request& req, const httplib::Response& res);

}  // namespace brindlecore::host

#endif  // BRINDLECORE_HOST_REQUEST_LOG_H_
