#include "platform/system_library.h"

#include <dlfcn.h>

#include "platform/automation/errors.h"

namespace brindlecore::platform {

void* OpenSystemLibrary(const char* soname) {
  // RTLD_LOCAL: the library's symbols stay out of the process's global scope, so nothing loaded
  // later binds to them by accident.
  void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) errors::kEFail.Throw();
  return library;
}

void* SystemSymbol(void* library, const char* name) {
  void* symbol = dlsym(library, name);
  if (symbol == nullptr) errors::kEFail.Throw();
  return symbol;
}

}  // namespace brindlecore::platform
