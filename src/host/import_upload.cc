#include "host/import_upload.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "brindlecore/automation.h"
#include "host/html.h"

namespace brindlecore::host {
namespace {

// How much of a passed-over line the report quotes, in bytes.
constexpr size_t kQuotedLineBytes = 80;

// The longest prefix of `text` of at most `max` bytes that does not end inside a UTF-8 character.
std::string_view Utf8Prefix(std::string_view text, size_t max) {
  if (text.size() <= max) return text;
  size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

[[noreturn]] void CannotStore(int error) {
  throw AutomationError(-1, std::string("cannot store the upload: ") + std::strerror(error));
}

// Why the import passes over `line` without a row, as it splits lines; "" for a change.
std::string_view PassOverReason(std::string_view line) {
  if (line.empty()) return "The line is empty.";
  size_t first = line.find(',');
  if (first == std::string_view::npos || line.find(',', first + 1) == std::string_view::npos) {
    return "The line has fewer than two commas (a change is +,user,group or -,user,group).";
  }
  if (line[0] != '+' && line[0] != '-')
    return "The line starts with neither + (add) nor - (remove).";
  return "";
}

}  // namespace

std::string SafeUploadName(std::string_view name) {
  if (size_t slash = name.find_last_of("/\\"); slash != std::string_view::npos) {
    name.remove_prefix(slash + 1);
  }
  std::string safe;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '"' || c == '\'' || c == '<' || c == '>') continue;
    if (safe.empty() && (c == '.' || c == ' ')) continue;
    safe.push_back(c);
    if (safe.size() > kMaxUploadNameBytes) break;
  }
  safe.resize(Utf8Prefix(safe, kMaxUploadNameBytes).size());
  if (safe.empty()) safe = kFallbackUploadName;
  return safe;
}

StoredUpload::StoredUpload(std::string_view name, std::string_view content) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "brindlecore-import-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) CannotStore(errno);
  folder_ = pattern;
  path_ = folder_ + "/" + SafeUploadName(name);
  int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    int error = errno;
    ::rmdir(folder_.c_str());
    CannotStore(error);
  }
  size_t written = 0;
  while (written < content.size()) {
    ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int error = n < 0 ? errno : ENOSPC;
      ::close(fd);
      ::unlink(path_.c_str());
      ::rmdir(folder_.c_str());
      CannotStore(error);
    }
    written += static_cast<size_t>(n);
  }
  ::close(fd);
}

StoredUpload::~StoredUpload() {
  ::unlink(path_.c_str());
  ::rmdir(folder_.c_str());
}

std::string StoredUpload::WithoutFolder(std::string text) const {
  const std::string prefix = folder_ + "/";
  std::string out;
  size_t from = 0;
  for (size_t at; (at = text.find(prefix, from)) != std::string::npos; from = at + prefix.size()) {
    out.append(text, from, at - from);
  }
  if (from == 0) return text;
  out.append(text, from);
  return out;
}

std::string PassedOverLines(std::string_view content, size_t max_listed) {
  std::string rows;
  size_t passed_over = 0;
  size_t number = 0;
  while (!content.empty()) {
    size_t end = content.find('\n');
    std::string_view line = content.substr(0, end);
    // As the import reads lines: a CR belongs to the line end only when an LF follows it.
    if (end != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
    ++number;
    std::string_view reason = PassOverReason(line);
    if (reason.empty() || ++passed_over > max_listed) continue;
    std::string_view quoted = Utf8Prefix(line, kQuotedLineBytes);
    rows += "<tr><td>" + std::to_string(number) + "</td><td><code>" + Escape(quoted) +
            (quoted.size() < line.size() ? "…" : "") + "</code></td><td>" + std::string(reason) +
            "</td></tr>";
  }
  if (passed_over == 0) return "";
  std::string html =
      "<h2>Lines passed over</h2><table class=listing id=import-passed-over>"
      "<tr><th>Line</th><th>Text</th><th>Why</th></tr>" +
      rows + "</table>";
  if (passed_over > max_listed) {
    const size_t more = passed_over - max_listed;
    html += "<p id=import-passed-over-more>" + std::to_string(more) +
            (more == 1 ? " more line" : " more lines") + " passed over.</p>";
  }
  return html;
}

}  // namespace brindlecore::host
