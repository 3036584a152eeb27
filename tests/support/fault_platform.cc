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

std::unique_ptr<DirObject> WrapObject(FaultPlatform& faults, std::unique_ptr<DirObject> inner,
                                      std::string path);

// Objects an enumeration yields are named by their own path, read without counting as a call.
std::string QuietPath(DirObject& object, const std::string& fallback) {
  try {
    return object.ADsPath();
  } catch (const AutomationError&) {
    return fallback;
  }
}

// What every wrapper shares: the check before each call, under the path its calls are seen by.
class Faulted {
 protected:
  Faulted(FaultPlatform& faults, std::string path) : faults_(faults), path_(std::move(path)) {}
  // Checks first, so a faulted call never reaches the real object.
  template <typename F>
  auto Through(const char* operation, F call) {
    return Through(operation, "", call);
  }
  // For Get, Put, Field and the like, which a rule may also pick by property or column name.
  template <typename F>
  auto Through(const char* operation, const std::string& argument, F call) {
    faults_.Check(operation, path_, argument);
    return call();
  }
  FaultPlatform& faults_;
  std::string path_;
};

class FaultEnumerator : public DirEnumerator, Faulted {
 public:
  FaultEnumerator(FaultPlatform& faults, std::unique_ptr<DirEnumerator> inner, std::string path)
      : Faulted(faults, std::move(path)), inner_(std::move(inner)) {}
  std::unique_ptr<DirObject> Next() override {
    std::unique_ptr<DirObject> next = Through("Next", [&] { return inner_->Next(); });
    if (!next) return nullptr;
    std::string path = QuietPath(*next, path_);
    return WrapObject(faults_, std::move(next), std::move(path));
  }

 private:
  std::unique_ptr<DirEnumerator> inner_;
};

class FaultObject : public DirObject, Faulted {
 public:
  FaultObject(FaultPlatform& faults, std::unique_ptr<DirObject> inner, std::string path)
      : Faulted(faults, std::move(path)), inner_(std::move(inner)) {}

  std::string Name() override {
    return Through("Name", [&] { return inner_->Name(); });
  }
  std::string ADsPath() override {
    return Through("ADsPath", [&] { return inner_->ADsPath(); });
  }
  std::string Class() override {
    return Through("Class", [&] { return inner_->Class(); });
  }
  Variant Get(const std::string& p) override {
    return Through("Get", p, [&] { return inner_->Get(p); });
  }
  void Put(const std::string& p, const Variant& v) override {
    Through("Put", p, [&] { inner_->Put(p, v); });
  }
  void SetInfo() override {
    Through("SetInfo", [&] { inner_->SetInfo(); });
  }
  bool Supports(DirKind kind) const override { return inner_->Supports(kind); }

  std::unique_ptr<DirObject> OpenDSObject(const std::string& path, const std::string& user,
                                          const std::string& password, int32_t flags) override {
    faults_.Check("OpenDSObject", path);
    return WrapObject(faults_, inner_->OpenDSObject(path, user, password, flags), path);
  }
  void SetFilter(const std::vector<std::string>& c) override {
    Through("SetFilter", [&] { inner_->SetFilter(c); });
  }
  std::unique_ptr<DirEnumerator> Enumerate() override {
    return Through("Enumerate", [&] {
      return std::make_unique<FaultEnumerator>(faults_, inner_->Enumerate(), path_);
    });
  }
  std::unique_ptr<DirObject> Create(const std::string& cls, const std::string& name) override {
    return Through("Create", name, [&] {
      return WrapObject(faults_, inner_->Create(cls, name), path_ + "/" + name);
    });
  }
  void Delete(const std::string& cls, const std::string& name) override {
    Through("Delete", name, [&] { inner_->Delete(cls, name); });
  }
  std::string Description() override {
    return Through("Description", [&] { return inner_->Description(); });
  }
  void SetDescription(const std::string& t) override {
    Through("SetDescription", [&] { inner_->SetDescription(t); });
  }
  std::unique_ptr<DirEnumerator> Members() override {
    return Through("Members", [&] {
      return std::make_unique<FaultEnumerator>(faults_, inner_->Members(), path_);
    });
  }
  void Add(const std::string& m) override {
    Through("Add", m, [&] { inner_->Add(m); });
  }
  void Remove(const std::string& m) override {
    Through("Remove", m, [&] { inner_->Remove(m); });
  }
  std::string FullName() override {
    return Through("FullName", [&] { return inner_->FullName(); });
  }
  void AppCreate2(int32_t mode) override {
    Through("AppCreate2", [&] { inner_->AppCreate2(mode); });
  }
  void Start() override {
    Through("Start", [&] { inner_->Start(); });
  }

 private:
  std::unique_ptr<DirObject> inner_;
};

std::unique_ptr<DirObject> WrapObject(FaultPlatform& faults, std::unique_ptr<DirObject> inner,
                                      std::string path) {
  if (!inner) return nullptr;
  return std::make_unique<FaultObject>(faults, std::move(inner), std::move(path));
}

// Seen under the command text.
class FaultRecordset : public Recordset, Faulted {
 public:
  FaultRecordset(FaultPlatform& faults, std::unique_ptr<Recordset> inner, std::string text)
      : Faulted(faults, std::move(text)), inner_(std::move(inner)) {}
  bool Eof() override {
    return Through("Eof", [&] { return inner_->Eof(); });
  }
  void MoveFirst() override {
    Through("MoveFirst", [&] { inner_->MoveFirst(); });
  }
  void MoveNext() override {
    Through("MoveNext", [&] { inner_->MoveNext(); });
  }
  Variant Field(const std::string& n) override {
    return Through("Field", n, [&] { return inner_->Field(n); });
  }
  void Close() override {
    Through("Close", [&] { inner_->Close(); });
  }

 private:
  std::unique_ptr<Recordset> inner_;
};

class FaultCommand : public Command, Faulted {
 public:
  FaultCommand(FaultPlatform& faults, std::unique_ptr<Command> inner)
      : Faulted(faults, ""), inner_(std::move(inner)) {}
  void SetCommandText(const std::string& text) override {
    faults_.Check("SetCommandText", text);
    inner_->SetCommandText(text);
    path_ = text;
  }
  void SetProperty(const std::string& n, const Variant& v) override {
    Through("SetProperty", n, [&] { inner_->SetProperty(n, v); });
  }
  std::unique_ptr<Recordset> Execute() override {
    std::unique_ptr<Recordset> rows = Through("Execute", [&] { return inner_->Execute(); });
    if (!rows) return nullptr;
    return std::make_unique<FaultRecordset>(faults_, std::move(rows), path_);
  }

 private:
  std::unique_ptr<Command> inner_;
};

// A connection has no command text yet: its operations are seen under the empty path.
class FaultConnection : public Connection, Faulted {
 public:
  FaultConnection(FaultPlatform& faults, std::unique_ptr<Connection> inner)
      : Faulted(faults, ""), inner_(std::move(inner)) {}
  void SetProvider(const std::string& p) override {
    Through("SetProvider", p, [&] { inner_->SetProvider(p); });
  }
  void SetProperty(const std::string& n, const Variant& v) override {
    Through("SetProperty", n, [&] { inner_->SetProperty(n, v); });
  }
  void Open(const std::string& connection_string, const std::string& user,
            const std::string& password, int32_t options) override {
    Through("Open", [&] { inner_->Open(connection_string, user, password, options); });
  }
  std::unique_ptr<Command> CreateCommand() override {
    std::unique_ptr<Command> command =
        Through("CreateCommand", [&] { return inner_->CreateCommand(); });
    if (!command) return nullptr;
    return std::make_unique<FaultCommand>(faults_, std::move(command));
  }

 private:
  std::unique_ptr<Connection> inner_;
};

class FaultStream : public TextStream, Faulted {
 public:
  FaultStream(FaultPlatform& faults, std::unique_ptr<TextStream> inner, std::string path)
      : Faulted(faults, std::move(path)), inner_(std::move(inner)) {}
  bool AtEndOfStream() override {
    return Through("AtEndOfStream", [&] { return inner_->AtEndOfStream(); });
  }
  std::string ReadLine() override {
    return Through("ReadLine", [&] { return inner_->ReadLine(); });
  }
  void Close() override {
    Through("Close", [&] { inner_->Close(); });
  }

 private:
  std::unique_ptr<TextStream> inner_;
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

bool FaultPlatform::AllFired() const {
  for (const Rule& rule : rules_) {
    if (!rule.fired) return false;
  }
  return true;
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
  return WrapObject(*this, PlatformWrapper::GetObject(path), path);
}

std::unique_ptr<platform::Connection> FaultPlatform::NewConnection() {
  Check("NewConnection", "");
  std::unique_ptr<Connection> connection = PlatformWrapper::NewConnection();
  if (!connection) return nullptr;
  return std::make_unique<FaultConnection>(*this, std::move(connection));
}

std::unique_ptr<platform::TextStream> FaultPlatform::OpenTextFile(const std::string& path) {
  Check("OpenTextFile", path);
  std::unique_ptr<TextStream> stream = PlatformWrapper::OpenTextFile(path);
  if (!stream) return nullptr;
  return std::make_unique<FaultStream>(*this, std::move(stream), path);
}

void FaultPlatform::AddFavorite(const std::string& url, const Variant& title) {
  Check("AddFavorite", url);
  PlatformWrapper::AddFavorite(url, title);
}

}  // namespace brindlecore::testing
