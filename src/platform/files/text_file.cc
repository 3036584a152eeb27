#include "platform/files/text_file.h"

#include "platform/automation/errors.h"

namespace brindlecore::platform {

std::unique_ptr<TextStream> OpenTextFile(const std::string&) { errors::kENotimpl.Throw(); }

}  // namespace brindlecore::platform
