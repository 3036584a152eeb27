// The pages' request log.
#include "host/request_log.h"

#include <unistd.h>

namespace brindlecore::host {

RequestNote& CurrentRequest() {
  thread_local RequestNote note;
  return note;
}

std::string LogText(std::string_view text, bool quoted, size_t max) {
  std::string out;
  for (unsigned char c : text.substr(0, max)) {
    if (c > 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else if (c == ' ' && quoted) {
      out += ' ';
    } else {
      static constexpr char kHex[] = "0123456789abcdef";
      out += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
    }
  }
  if (text.size() > max) out += "...";
  return out;
}

std::string RequestLogLine(const httplib::Request& req, const httplib::Response& res,
                           const RequestNote& note, std::chrono::steady_clock::time_point now) {
  std::string line = req.method.empty() ? "-" : LogText(req.method, false, 16);
  line += ' ';
  line += req.path.empty() ? "-" : LogText(req.path, false, 512);
  line += ' ' + std::to_string(res.status) + ' ';
  if (note.start) {
    const auto taken = std::chrono::duration_cast<std::chrono::milliseconds>(now - *note.start);
    line += std::to_string(taken.count()) + "ms";
  } else {
    line += '-';
  }
  line += note.user.empty() ? " -" : " \"" + LogText(note.user, true) + "\"";
  if (!note.signin.empty()) {
    line += " sign-in " + note.signin + " for \"" + LogText(note.signin_user, true) + "\" from " +
            LogText(req.remote_addr, false, 64);
  }
  return line;
}

void LogRequest(const httplib::Request& req, const httplib::Response& res) {
  RequestNote& note = CurrentRequest();
  // One write per line, so that lines of requests answered at once do not interleave.
  const std::string line =
      "brindlecore: " + RequestLogLine(req, res, note, std::chrono::steady_clock::now()) + "\n";
  (void)!::write(STDERR_FILENO, line.data(), line.size());
  note = RequestNote();
}

}  // namespace brindlecore::host
