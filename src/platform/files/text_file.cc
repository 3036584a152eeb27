#include "platform/files/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/automation/errors.h"

namespace brindlecore::platform {
namespace {

// The one place where file-system failures become the runtime's file errors: a host page tells
// a missing file from a missing folder from a refused one by these numbers alone.
[[noreturn]] void ThrowOpenError(const std::string& path, int error) {
  if (error == EACCES || error == EPERM) errors::kRtPermissionDenied.Throw();
  if (error == ENOTDIR) errors::kRtPathNotFound.Throw();
  if (error == ENOENT) {
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) {
      errors::kRtPathNotFound.Throw();
    }
  }
  errors::kRtFileNotFound.Throw();
}

// Reads through a stdio buffer one line at a time, so an import file of any size costs only the
// line being read.
class FileTextStream : public TextStream {
 public:
  explicit FileTextStream(std::FILE* file) : file_(file) {}
  ~FileTextStream() override { Close(); }

  bool AtEndOfStream() override {
    RequireOpen();
    int c = std::getc(file_);
    if (c == EOF) {
      if (std::ferror(file_)) errors::kRtPermissionDenied.Throw();
      return true;
    }
    std::ungetc(c, file_);
    return false;
  }

  std::string ReadLine() override {
    if (AtEndOfStream()) errors::kRtInputPastEndOfFile.Throw();
    std::string line;
    int c;
    while ((c = std::getc(file_)) != EOF && c != '\n') {
      // One more than the limit, so that a line of exactly the limit ending in CRLF still fits.
      if (line.size() > kMaxLineLength) errors::kRtOutOfStringSpace.Throw();
      line.push_back(static_cast<char>(c));
    }
    if (c == EOF && std::ferror(file_)) errors::kRtPermissionDenied.Throw();
    // A CR belongs to the line end only when an LF follows it; a lone CR at the very end of the
    // file is kept as text, as it ends no line.
    if (c == '\n' && !line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kMaxLineLength) errors::kRtOutOfStringSpace.Throw();
    return line;
  }

  void Close() override {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
  }

 private:
  // A closed stream refuses further reads as the runtime does for a file not open for input.
  void RequireOpen() const {
    if (file_ == nullptr) errors::kRtBadFileMode.Throw();
  }

  std::FILE* file_;
};

}  // namespace

std::unique_ptr<TextStream> OpenTextFile(const std::string& path) {
  if (path.empty()) errors::kRtFileNotFound.Throw();
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) ThrowOpenError(path, errno);
  // A folder is not a file: asking for one by a folder's name finds no file.
  if (S_ISDIR(st.st_mode)) errors::kRtFileNotFound.Throw();
  // Opening a FIFO blocks until a writer comes, and opening some devices acts on them.
  if (!S_ISREG(st.st_mode)) errors::kRtBadFileMode.Throw();
  // Non-blocking and checked again once open, should the name have been swapped meanwhile.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) ThrowOpenError(path, errno);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errors::kRtBadFileMode.Throw();
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) {
    int error = errno;
    ::close(fd);
    ThrowOpenError(path, error);
  }
  return TextStreamOver(file);
}

std::unique_ptr<TextStream> TextStreamOver(std::FILE* file) {
  return std::make_unique<FileTextStream>(file);
}

}  // namespace brindlecore::platform
