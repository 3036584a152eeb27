#include "platform/automation/registry.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/automation/dispatch.h"
#include "platform/automation/errors.h"
#include "platform/root.h"

namespace brindlecore::automation {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// File layout: {"keys": {"<key path>": {"<value name>": "<text>"}}}; a flat map of key paths
// keeps look-ups and subtree removal simple at the few dozen keys a root ever holds.
constexpr char kKeys[] = "keys";

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The one place where the registry's file-system failures become catalogue errors.
[[noreturn]] void ThrowIoError(int err, const fs::path& file) {
  const errors::ErrorCode* error = &errors::kEFail;
  if (err == EACCES || err == EPERM || err == EROFS) error = &errors::kEAccessdenied;
  if (err == ENOSPC || err == EDQUOT) error = &errors::kErrorDiskFull;
  if (err == ENOTDIR) error = &errors::kErrorPathNotFound;
  throw errors::FileError(error->Make(), file.string());
}

json Load(const fs::path& file) {
  FileDescriptor in(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) {
    // Only a registry that is not there is empty: one that cannot be read would make every
    // class look unregistered.
    if (errno == ENOENT) return json{{kKeys, json::object()}};
    ThrowIoError(errno, file);
  }
  std::string text;
  char buffer[8192];
  for (ssize_t n; (n = ::read(in.get(), buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowIoError(errno, file);
    text.append(buffer, static_cast<size_t>(n));
  }
  json doc = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded() || !doc.is_object() || !doc.contains(kKeys) || !doc[kKeys].is_object()) {
    // A registry that does not read is not silently replaced: that would lose every entry.
    throw errors::FileError(errors::kErrorFileCorrupt.Make(), file.string());
  }
  return doc;
}

// The stored spelling of `key`, or nullptr.
json* FindKey(json& keys, std::string_view key) {
  for (auto& [name, values] : keys.items()) {
    if (NamesEqual(name, key)) return &values;
  }
  return nullptr;
}

bool IsAtOrBelow(std::string_view key, std::string_view tree) {
  if (key.size() < tree.size() || !NamesEqual(key.substr(0, tree.size()), tree)) return false;
  return key.size() == tree.size() || key[tree.size()] == '\\';
}

void WriteAll(int fd, const std::string& data, const fs::path& file) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowIoError(errno, file);
    done += static_cast<size_t>(n);
  }
}

// Read, change and replace the file while holding the registry's lock.
void Update(const std::function<void(json& keys)>& change) {
  fs::path file = RegistryFile();
  platform::EnsureRoot(file.parent_path());
  FileDescriptor lock(
      ::open((file.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock.get() < 0) ThrowIoError(errno, file);
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) ThrowIoError(errno, file);
  }
  json doc = Load(file);
  change(doc[kKeys]);
  std::string temp = file.string() + ".tmp." + std::to_string(::getpid());
  {
    FileDescriptor out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (out.get() < 0) ThrowIoError(errno, file);
    try {
      WriteAll(out.get(), doc.dump(2) + "\n", file);
      if (::fsync(out.get()) != 0) ThrowIoError(errno, file);
    } catch (...) {
      ::unlink(temp.c_str());
      throw;
    }
  }
  if (::rename(temp.c_str(), file.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    ThrowIoError(err, file);
  }
}

fs::path ExecutableDir() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : exe.parent_path();
}

}  // namespace

fs::path RegistryFile() { return platform::ProcessRoot() / "registry.json"; }

void RegistryWrite(std::span<const RegistryValue> values) {
  Update([&](json& keys) {
    for (const RegistryValue& v : values) {
      json* key = FindKey(keys, v.key);
      if (key == nullptr) key = &(keys[v.key] = json::object());
      (*key)[v.name] = v.value;
    }
  });
}

void RegistryDeleteTrees(std::span<const std::string> trees) {
  Update([&](json& keys) {
    for (auto it = keys.begin(); it != keys.end();) {
      bool doomed = false;
      for (const std::string& tree : trees) doomed = doomed || IsAtOrBelow(it.key(), tree);
      it = doomed ? keys.erase(it) : std::next(it);
    }
  });
}

std::optional<std::string> RegistryRead(std::string_view key, std::string_view name) {
  json doc = Load(RegistryFile());
  json* values = FindKey(doc[kKeys], key);
  if (values == nullptr || !values->is_object()) return std::nullopt;
  auto it = values->find(name);
  if (it == values->end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

void* LoadResidentLibrary(const fs::path& library) {
  // A library already loaded would still be found by name after its file was removed; what is
  // registered must exist to be loadable, as it would have to on a fresh start.
  std::error_code ec;
  if (library.empty() || !fs::is_regular_file(library, ec)) errors::kErrorModNotFound.Throw();
  // Never closed: the component stays loaded between requests, and objects it made may outlive
  // any one caller's interest in the library.
  void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) errors::kErrorModNotFound.Throw();
  return handle;
}

HRESULT RegisterServerLibrary(const fs::path& library, bool unregister) {
  void* handle = nullptr;
  try {
    handle = LoadResidentLibrary(library);
  } catch (const AutomationError& e) {
    return e.number;
  }
  using EntryPoint = HRESULT (*)();
  auto entry = reinterpret_cast<EntryPoint>(
      ::dlsym(handle, unregister ? "DllUnregisterServer" : "DllRegisterServer"));
  if (entry == nullptr) return errors::kEFail.number;
  return entry();
}

fs::path DefaultComponentLibrary() {
  constexpr char kName[] = "libBrindlecore.so";
  fs::path dir = ExecutableDir();
  std::error_code ec;
  if (!dir.empty() && fs::exists(dir / kName, ec)) return dir / kName;
  if (const char* env = std::getenv("BRINDLECORE_COMPONENT"); env != nullptr && *env != '\0') {
    return env;
  }
  return (dir / ".." / "lib" / "brindlecore" / kName).lexically_normal();
}

}  // namespace brindlecore::automation
