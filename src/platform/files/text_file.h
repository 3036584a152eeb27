// Text files read as streams of lines.
#ifndef BRINDLECORE_PLATFORM_FILES_TEXT_FILE_H_
#define BRINDLECORE_PLATFORM_FILES_TEXT_FILE_H_

#include <memory>
#include <string>

#include "platform/platform.h"

namespace brindlecore::platform {

// See Platform::OpenTextFile.
std::unique_ptr<TextStream> OpenTextFile(const std::string& path);

}  // namespace brindlecore::platform

#endif  // BRINDLECORE_PLATFORM_FILES_TEXT_FILE_H_
