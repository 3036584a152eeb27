// System libraries that only some calls need (SQLite for the stores, libxcrypt for passwords),
// loaded at their first use instead of at every start of a process: each library linked in
// costs every run of the command its mapping and symbol binding, most runs never touch them.
#ifndef BRINDLECORE_PLATFORM_SYSTEM_LIBRARY_H_
#define BRINDLECORE_PLATFORM_SYSTEM_LIBRARY_H_

namespace brindlecore::platform {

// The library `soname`, opened once for the process's life and never closed. Throws E_FAIL when
// it cannot be loaded.
void* OpenSystemLibrary(const char* soname);

// The symbol `name` of an opened library; E_FAIL when the library lacks it.
void* SystemSymbol(void* library, const char* name);

// SystemSymbol as a function of type Fn.
template <typename Fn>
Fn SystemFunction(void* library, const char* name) {
  return reinterpret_cast<Fn>(SystemSymbol(library, name));
}

}  // namespace brindlecore::platform

#endif  // BRINDLECORE_PLATFORM_SYSTEM_LIBRARY_H_
