// The class registry of the platform root (registry.json): what DllRegisterServer writes and
// CreateObject reads. Keys are backslash-separated paths below the classes root
// ("CLSID\{...}\InprocServer32"), compared without regard to letter case like the original
// platform's registry; each key holds named text values, "" being the key's default value.
//
// Every change is one atomic update of the file (written beside it, then renamed over it) under
// an exclusive lock, so concurrent registrations in several processes never lose each other's
// entries and a reader sees the file before or after a change, never half of one.
#ifndef BRINDLECORE_PLATFORM_AUTOMATION_REGISTRY_H_
#define BRINDLECORE_PLATFORM_AUTOMATION_REGISTRY_H_

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "brindlecore/automation.h"

namespace brindlecore::automation {

struct RegistryValue {
  std::string key;
  std::string name;  // "" for the key's default value
  std::string value;
};

// The registry file of the process's platform root.
std::filesystem::path RegistryFile();

// Sets the values (creating their keys) in one update. Throws AutomationError (E_ACCESSDENIED
// when the root cannot be written, E_FAIL otherwise); the file is then as before.
void RegistryWrite(std::span<const RegistryValue> values);

// Removes each key with every key below it, in one update; absent keys are no error. Throws as
// RegistryWrite.
void RegistryDeleteTrees(std::span<const std::string> keys);

// A value, or nullopt when the key or the value is absent (or there is no registry yet).
std::optional<std::string> RegistryRead(std::string_view key, std::string_view name = "");

// Loads `library` (it stays loaded) and calls its DllRegisterServer, or DllUnregisterServer when
// `unregister`. Returns that call's HRESULT; ERROR_MOD_NOT_FOUND when the library cannot be
// loaded, E_FAIL when it lacks the entry point.
HRESULT RegisterServerLibrary(const std::filesystem::path& library, bool unregister);

// The component library a host registers by default: libBrindlecore.so beside the running
// executable, else $BRINDLECORE_COMPONENT, else <executable's folder>/../lib/brindlecore/
// libBrindlecore.so (where the install rules put both libraries, private to the command).
std::filesystem::path DefaultComponentLibrary();

// Loads a library and keeps it resident for the life of the process (the component stays
// loaded between requests). Returns its handle; throws ERROR_MOD_NOT_FOUND when it cannot be
// loaded.
void* LoadResidentLibrary(const std::filesystem::path& library);

}  // namespace brindlecore::automation

#endif  // BRINDLECORE_PLATFORM_AUTOMATION_REGISTRY_H_
