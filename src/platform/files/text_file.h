// Text files read as streams of lines.
#ifndef BRINDLECORE_PLATFORM_FILES_TEXT_FILE_H_
#define BRINDLECORE_PLATFORM_FILES_TEXT_FILE_H_

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace brindlecore::platform {

// The longest line a stream hands out; a longer one throws 14 "Out of string space" rather than
// let a file without line ends fill memory.
inline constexpr size_t kMaxLineLength = size_t{1} << 20;

// See Platform::OpenTextFile. Only a regular file opens: anything else (a FIFO that would block,
// a device that never ends) throws 54 "Bad file mode" without being opened, a folder 53.
std::unique_ptr<TextStream> OpenTextFile(const std::string& path);

// A stream over `file`, which it owns and closes: how OpenTextFile reads, for tests and fuzzing.
std::unique_ptr<TextStream> TextStreamOver(std::FILE* file);

}  // namespace brindlecore::platform

#endif  // BRINDLECORE_PLATFORM_FILES_TEXT_FILE_H_
