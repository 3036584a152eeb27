#include "platform/shell/favorites.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <system_error>

#include "platform/automation/errors.h"

namespace brindlecore::platform {
namespace {

constexpr std::string_view kExtension = ".url";
// Leaves room for the extension and a temporary suffix within the usual 255-byte name limit.
constexpr size_t kMaxTitleBytes = 200;

// Characters that cannot stand in a file name here or on the platform the favorites come from
// become "_", so the same title always names the same file (a second favorite replaces it).
std::string SafeFileTitle(const std::string& title) {
  std::string out;
  for (unsigned char c : title) {
    bool bad = c < 0x20 || c == 0x7f ||
               std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
    out.push_back(bad ? '_' : static_cast<char>(c));
  }
  // Trailing spaces and dots vanish from names on the original platform; a leading dot would
  // hide the file here.
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  while (!out.empty() && out.front() == '.') out.erase(out.begin());
  if (out.size() > kMaxTitleBytes) {
    size_t cut = kMaxTitleBytes;
    // Never split a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  return out;
}

[[noreturn]] void ThrowFileError(int error) {
  if (error == EACCES || error == EPERM || error == EROFS) errors::kEAccessdenied.Throw();
  if (error == ENOENT || error == ENOTDIR) errors::kErrorPathNotFound.Throw();
  if (error == ENOSPC || error == EDQUOT) errors::kErrorDiskFull.Throw();
  if (error == ENOMEM) errors::kEOutofmemory.Throw();
  errors::kEFail.Throw();
}

void EnsureFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return;
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) ThrowFileError(errno);
}

// Written beside the target and renamed over it, so a reader never sees half a shortcut and a
// failed write leaves the previous favorite of that title in place.
void WriteAtomically(const std::filesystem::path& target, const std::string& content) {
  std::filesystem::path temp = target;
  temp += ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) ThrowFileError(errno);
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      ::close(fd);
      ::unlink(temp.c_str());
      ThrowFileError(error);
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(temp.c_str(), target.c_str()) != 0) {
    int error = errno;
    ::unlink(temp.c_str());
    ThrowFileError(error);
  }
}

std::string ReadUrl(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("URL=", 0) == 0) return line.substr(4);
  }
  return "";
}

}  // namespace

void AddFavorite(const std::filesystem::path& folder, const std::string& url,
                 const Variant& title) {
  // A line break in the address would smuggle further keys into the shortcut.
  if (url.empty() || url.find_first_of("\r\n") != std::string::npos) errors::kEInvalidarg.Throw();
  // Null has no text: the runtime's own 94, as any conversion of Null to text gives.
  std::string name = SafeFileTitle(ToText(title));
  // Without a usable title the shortcut is named after its address, as a browser does.
  if (name.empty()) name = SafeFileTitle(url);
  if (name.empty()) errors::kEInvalidarg.Throw();
  EnsureFolder(folder);
  WriteAtomically(folder / (name + std::string(kExtension)),
                  "[InternetShortcut]\nURL=" + url + "\n");
}

std::vector<Favorite> ListFavorites(const std::filesystem::path& folder) {
  std::vector<Favorite> out;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const auto& path = entry.path();
    if (path.extension() != kExtension || !entry.is_regular_file(ec)) continue;
    out.push_back({path.stem().string(), ReadUrl(path)});
  }
  std::sort(out.begin(), out.end(),
            [](const Favorite& a, const Favorite& b) { return a.title < b.title; });
  return out;
}

}  // namespace brindlecore::platform
