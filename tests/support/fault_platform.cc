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

class FaultEnumerator : public DirEnumerator {
 public:
  FaultEnumerator(FaultPlatform& faults, std::unique_ptr<DirEnumerator> inner, std::string path)
      : faults_(faults), inner_(std::move(inner)), path_(std::move(path)) {}
  std::unique_ptr<DirObject> Next() override {
    faults_.Check("Next", path_);
    std::unique_ptr<DirObject> next = inner_->Next();
    if (!next) return nullptr;
    std::string path = QuietPath(*next, path_);
    return WrapObject(faults_, std::move(next), std::move(path));
  }

 private:
  FaultPlatform& faults_;
  std::unique_ptr<DirEnumerator> inner_;
  std::string path_;
};

class FaultObject : public DirObject {
 public:
  FaultObject(FaultPlatform& faults, std::unique_ptr<DirObject> inner, std::string path)
      : faults_(faults), inner_(std::move(inner)), path_(std::move(path)) {}

  std::string Name() override {
    Call("Name");
    return inner_->Name();
  }
  std::string ADsPath() override {
    Call("ADsPath");
    return inner_->ADsPath();
  }
  std::string Class() override {
    Call("Class");
    return inner_->Class();
  }
  Variant Get(const std::string& property) override {
    faults_.Check("Get", path_, property);
    return inner_->Get(property);
  }
  void Put(const std::string& property, const Variant& value) override {
    faults_.Check("Put", path_, property);
    inner_->Put(property, value);
  }
  void SetInfo() override {
    Call("SetInfo");
    inner_->SetInfo();
  }
  bool Supports(DirKind kind) const override { return inner_->Supports(kind); }

  std::unique_ptr<DirObject> OpenDSObject(const std::string& path, const std::string& user,
                                          const std::string& password, int32_t flags) override {
    faults_.Check("OpenDSObject", path);
    return WrapObject(faults_, inner_->OpenDSObject(path, user, password, flags), path);
  }
  void SetFilter(const std::vector<std::string>& classes) override {
    Call("SetFilter");
    inner_->SetFilter(classes);
  }
  std::unique_ptr<DirEnumerator> Enumerate() override {
    faults_.Check("Enumerate", path_);
    return std::make_unique<FaultEnumerator>(faults_, inner_->Enumerate(), path_);
  }
  std::unique_ptr<DirObject> Create(const std::string& cls, const std::string& name) override {
    faults_.Check("Create", path_, name);
    return WrapObject(faults_, inner_->Create(cls, name), path_ + "/" + name);
  }
  void Delete(const std::string& cls, const std::string& name) override {
    faults_.Check("Delete", path_, name);
    inner_->Delete(cls, name);
  }
  std::string Description() override {
    Call("Description");
    return inner_->Description();
  }
  void SetDescription(const std::string& text) override {
    Call("SetDescription");
    inner_->SetDescription(text);
  }
  std::unique_ptr<DirEnumerator> Members() override {
    faults_.Check("Members", path_);
    return std::make_unique<FaultEnumerator>(faults_, inner_->Members(), path_);
  }
  void Add(const std::string& member_path) override {
    faults_.Check("Add", path_, member_path);
    inner_->Add(member_path);
  }
  void Remove(const std::string& member_path) override {
    faults_.Check("Remove", path_, member_path);
    inner_->Remove(member_path);
  }
  std::string FullName() override {
    Call("FullName");
    return inner_->FullName();
  }
  void AppCreate2(int32_t mode) override {
    Call("AppCreate2");
    inner_->AppCreate2(mode);
  }
  void Start() override {
    Call("Start");
    inner_->Start();
  }

 private:
  // Checks first, so a faulted call never reaches the real object.
  void Call(const char* operation) { faults_.Check(operation, path_); }

  FaultPlatform& faults_;
  std::unique_ptr<DirObject> inner_;
  std::string path_;
};

std::unique_ptr<DirObject> WrapObject(FaultPlatform& faults, std::unique_ptr<DirObject> inner,
                                      std::string path) {
  if (!inner) return nullptr;
  return std::make_unique<FaultObject>(faults, std::move(inner), std::move(path));
}

class FaultRecordset : public Recordset {
 public:
  FaultRecordset(FaultPlatform& faults, std::unique_ptr<Recordset> inner, std::string text)
      : faults_(faults), inner_(std::move(inner)), text_(std::move(text)) {}
  bool Eof() override {
    faults_.Check("Eof", text_);
    return inner_->Eof();
  }
  void MoveFirst() override {
    faults_.Check("MoveFirst", text_);
    inner_->MoveFirst();
  }
  void MoveNext() override {
    faults_.Check("MoveNext", text_);
    inner_->MoveNext();
  }
  Variant Field(const std::string& name) override {
    faults_.Check("Field", text_, name);
    return inner_->Field(name);
  }
  void Close() override {
    faults_.Check("Close", text_);
    inner_->Close();
  }

 private:
  FaultPlatform& faults_;
  std::unique_ptr<Recordset> inner_;
  std::string text_;
};

class FaultCommand : public Command {
 public:
  FaultCommand(FaultPlatform& faults, std::unique_ptr<Command> inner)
      : faults_(faults), inner_(std::move(inner)) {}
  void SetCommandText(const std::string& text) override {
    faults_.Check("SetCommandText", text);
    inner_->SetCommandText(text);
    text_ = text;
  }
  void SetProperty(const std::string& name, const Variant& value) override {
    faults_.Check("SetProperty", text_, name);
    inner_->SetProperty(name, value);
  }
  std::unique_ptr<Recordset> Execute() override {
    faults_.Check("Execute", text_);
    std::unique_ptr<Recordset> rows = inner_->Execute();
    if (!rows) return nullptr;
    return std::make_unique<FaultRecordset>(faults_, std::move(rows), text_);
  }

 private:
  FaultPlatform& faults_;
  std::unique_ptr<Command> inner_;
  std::string text_;
};

// A connection has no command text yet: its operations are seen under the empty path.
class FaultConnection : public Connection {
 public:
  FaultConnection(FaultPlatform& faults, std::unique_ptr<Connection> inner)
      : faults_(faults), inner_(std::move(inner)) {}
  void SetProvider(const std::string& provider) override {
    faults_.Check("SetProvider", "", provider);
    inner_->SetProvider(provider);
  }
  void SetProperty(const std::string& name, const Variant& value) override {
    faults_.Check("SetProperty", "", name);
    inner_->SetProperty(name, value);
  }
  void Open(const std::string& connection_string, const std::string& user,
            const std::string& password, int32_t options) override {
    faults_.Check("Open", "");
    inner_->Open(connection_string, user, password, options);
  }
  std::unique_ptr<Command> CreateCommand() override {
    faults_.Check("CreateCommand", "");
    std::unique_ptr<Command> command = inner_->CreateCommand();
    if (!command) return nullptr;
    return std::make_unique<FaultCommand>(faults_, std::move(command));
  }

 private:
  FaultPlatform& faults_;
  std::unique_ptr<Connection> inner_;
};

class FaultStream : public TextStream {
 public:
  FaultStream(FaultPlatform& faults, std::unique_ptr<TextStream> inner, std::string path)
      : faults_(faults), inner_(std::move(inner)), path_(std::move(path)) {}
  bool AtEndOfStream() override {
    faults_.Check("AtEndOfStream", path_);
    return inner_->AtEndOfStream();
  }
  std::string ReadLine() override {
    faults_.Check("ReadLine", path_);
    return inner_->ReadLine();
  }
  void Close() override {
    faults_.Check("Close", path_);
    inner_->Close();
  }

 private:
  FaultPlatform& faults_;
  std::unique_ptr<TextStream> inner_;
  std::string path_;
};

}  // namespace

FaultPlatform::FaultPlatform(platform::Platform& target) : PlatformWrapper(target) {}
FaultPlatform::~FaultPlatform() = default;

FaultPlatform& FaultPlatform::Fail(std::string operation, std::string path_part, int nth,
                                   AutomationError error, std::string argument) {
  rules_.push_back(Rule{std::move(operation), std::move(path_part), std::move(argument), nth,
                        std::move(error)});
  return *this;
}

int FaultPlatform::Count(const std::string& operation, const std::string& path_part) const {
  int n = 0;
  for (const auto& [op, path] : calls_) {
    if (op == operation && path.find(path_part) != std::string::npos) ++n;
  }
  return n;
}

bool FaultPlatform::AllFired() const {
  for (const Rule& rule : rules_) {
    if (!rule.fired) return false;
  }
  return true;
}

void FaultPlatform::Reset() {
  rules_.clear();
  calls_.clear();
}

void FaultPlatform::Check(const std::string& operation, const std::string& path,
                          const std::string& argument) {
  calls_.emplace_back(operation, path);
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
