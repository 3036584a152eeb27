#include "support/fault_platform.h"

#include <utility>

namespace brindlecore::testing {
namespace {

using platform::Command;
using platform::Connection;
using platform::DirEnumerator;
using platform::DirKind;
using platform::DirObject;
using platform::Recordset;
using platform::TextStream;

// What every wrapper shares: the wrapped object, and the check before each call under the path
// its calls are seen by.
template <typename Inner>
class Faulted : public Inner {
 public:
  Faulted(FaultPlatform& faults, std::unique_ptr<Inner> inner, std::string path)
      : faults_(faults), inner_(std::move(inner)), path_(std::move(path)) {}

 protected:
  template <typename F>
  auto Through(const char* operation, const std::string& argument, F call) {
    faults_.Check(operation, path_, argument);
    return call();
  }
  FaultPlatform& faults_;
  std::unique_ptr<Inner> inner_;
  std::string path_;
};

// The wrapped call, checked first under its own name, so a faulted call never reaches the real
// object; with _ON a rule may also pick it by the property, column or member it names.
#define FAULTED(operation, ...) \
  Through(#operation, "", [&] { return inner_->operation(__VA_ARGS__); })
#define FAULTED_ON(argument, operation, ...) \
  Through(#operation, argument, [&] { return inner_->operation(__VA_ARGS__); })

// `inner` wrapped, or null for null.
template <typename Wrapper, typename Inner>
std::unique_ptr<Inner> Wrap(FaultPlatform& faults, std::unique_ptr<Inner> inner, std::string path) {
  if (!inner) return nullptr;
  return std::make_unique<Wrapper>(faults, std::move(inner), std::move(path));
}

class FaultObject;

class FaultEnumerator : public Faulted<DirEnumerator> {
 public:
  using Faulted::Faulted;
  std::unique_ptr<DirObject> Next() override {
    std::unique_ptr<DirObject> next = FAULTED(Next);
    if (!next) return nullptr;
    // Objects an enumeration yields are named by their own path, read without counting as a call.
    std::string path = path_;
    try {
      path = next->ADsPath();
    } catch (const AutomationError&) {
    }
    return Wrap<FaultObject>(faults_, std::move(next), std::move(path));
  }
};

class FaultObject : public Faulted<DirObject> {
 public:
  using Faulted::Faulted;
  std::string Name() override { return FAULTED(Name); }
  std::string ADsPath() override { return FAULTED(ADsPath); }
  std::string Class() override { return FAULTED(Class); }
  Variant Get(const std::string& p) override { return FAULTED_ON(p, Get, p); }
  void Put(const std::string& p, const Variant& v) override { return FAULTED_ON(p, Put, p, v); }
  void SetInfo() override { return FAULTED(SetInfo); }
  bool Supports(DirKind kind) const override { return inner_->Supports(kind); }
  std::unique_ptr<DirObject> OpenDSObject(const std::string& path, const std::string& user,
                                          const std::string& password, int32_t flags) override {
    faults_.Check("OpenDSObject", path);
    return Wrap<FaultObject>(faults_, inner_->OpenDSObject(path, user, password, flags), path);
  }
  void SetFilter(const std::vector<std::string>& c) override { return FAULTED(SetFilter, c); }
  std::unique_ptr<DirEnumerator> Enumerate() override {
    return Wrap<FaultEnumerator>(faults_, FAULTED(Enumerate), path_);
  }
  std::unique_ptr<DirObject> Create(const std::string& cls, const std::string& name) override {
    return Wrap<FaultObject>(faults_, FAULTED_ON(name, Create, cls, name), path_ + "/" + name);
  }
  void Delete(const std::string& cls, const std::string& name) override {
    return FAULTED_ON(name, Delete, cls, name);
  }
  std::string Description() override { return FAULTED(Description); }
  void SetDescription(const std::string& t) override { return FAULTED(SetDescription, t); }
  std::unique_ptr<DirEnumerator> Members() override {
    return Wrap<FaultEnumerator>(faults_, FAULTED(Members), path_);
  }
  void Add(const std::string& m) override { return FAULTED_ON(m, Add, m); }
  void Remove(const std::string& m) override { return FAULTED_ON(m, Remove, m); }
  std::string FullName() override { return FAULTED(FullName); }
  void AppCreate2(int32_t mode) override { return FAULTED(AppCreate2, mode); }
  void Start() override { return FAULTED(Start); }
};

// Seen under the command text.
class FaultRecordset : public Faulted<Recordset> {
 public:
  using Faulted::Faulted;
  bool Eof() override { return FAULTED(Eof); }
  void MoveFirst() override { return FAULTED(MoveFirst); }
  void MoveNext() override { return FAULTED(MoveNext); }
  Variant Field(const std::string& n) override { return FAULTED_ON(n, Field, n); }
  void Close() override { return FAULTED(Close); }
};

class FaultCommand : public Faulted<Command> {
 public:
  using Faulted::Faulted;
  void SetCommandText(const std::string& text) override {
    faults_.Check("SetCommandText", text);
    inner_->SetCommandText(text);
    path_ = text;
  }
  void SetProperty(const std::string& n, const Variant& v) override {
    return FAULTED_ON(n, SetProperty, n, v);
  }
  std::unique_ptr<Recordset> Execute() override {
    return Wrap<FaultRecordset>(faults_, FAULTED(Execute), path_);
  }
};

// A connection has no command text yet: its operations are seen under the empty path.
class FaultConnection : public Faulted<Connection> {
 public:
  using Faulted::Faulted;
  void SetProvider(const std::string& p) override { return FAULTED_ON(p, SetProvider, p); }
  void SetProperty(const std::string& n, const Variant& v) override {
    return FAULTED_ON(n, SetProperty, n, v);
  }
  void Open(const std::string& connection_string, const std::string& user,
            const std::string& password, int32_t options) override {
    return FAULTED(Open, connection_string, user, password, options);
  }
  std::unique_ptr<Command> CreateCommand() override {
    return Wrap<FaultCommand>(faults_, FAULTED(CreateCommand), "");
  }
};

class FaultStream : public Faulted<TextStream> {
 public:
  using Faulted::Faulted;
  bool AtEndOfStream() override { return FAULTED(AtEndOfStream); }
  std::string ReadLine() override { return FAULTED(ReadLine); }
  void Close() override { return FAULTED(Close); }
};

}  // namespace

FaultPlatform::FaultPlatform(platform::Platform& target) : PlatformWrapper(target) {}
FaultPlatform::~FaultPlatform() = default;

FaultPlatform& FaultPlatform::Fail(std::string operation, std::string path_part, int nth,
                                   AutomationError error, std::string argument) {
  rules_.push_back(
      Rule{std::move(operation), std::move(path_part), std::move(argument), nth, std::move(error)});
  return *this;
}

void FaultPlatform::Check(const std::string& operation, const std::string& path,
                          const std::string& argument) {
  for (Rule& rule : rules_) {
    if (rule.operation != operation || path.find(rule.path_part) == std::string::npos) continue;
    if (!rule.argument.empty() && rule.argument != argument) continue;
    ++rule.seen;
    if (rule.nth == 0 || rule.seen == rule.nth) {
      rule.fired = true;
      throw rule.error;
    }
  }
}

std::unique_ptr<platform::DirObject> FaultPlatform::GetObject(const std::string& path) {
  Check("GetObject", path);
  return Wrap<FaultObject>(*this, PlatformWrapper::GetObject(path), path);
}

std::unique_ptr<platform::Connection> FaultPlatform::NewConnection() {
  Check("NewConnection", "");
  return Wrap<FaultConnection>(*this, PlatformWrapper::NewConnection(), "");
}

std::unique_ptr<platform::TextStream> FaultPlatform::OpenTextFile(const std::string& path) {
  Check("OpenTextFile", path);
  return Wrap<FaultStream>(*this, PlatformWrapper::OpenTextFile(path), path);
}

void FaultPlatform::AddFavorite(const std::string& url, const Variant& title) {
  Check("AddFavorite", url);
  PlatformWrapper::AddFavorite(url, title);
}

}  // namespace brindlecore::testing
