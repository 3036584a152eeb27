// The platform the component runs on: directory services (WinNT, LDAP and IIS providers behind
// one GetObject), directory search (connection, command, record set), text files, favorites.
//
// The component reaches all of it through one `Platform&`, never a global, so tests can hand it
// a platform rooted in a temporary folder or wrapped by fault injection. Every operation is a
// virtual call that a wrapper can intercept, and every failure is an AutomationError from the
// catalogue in automation/errors.h.
#ifndef BRINDLECORE_PLATFORM_PLATFORM_H_
#define BRINDLECORE_PLATFORM_PLATFORM_H_

#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "brindlecore/automation.h"
#include "brindlecore/variant.h"

namespace brindlecore::platform {

class DirEnumerator;

// The interface sets a bound object can offer, as binding "as IADsGroup" would ask for them.
enum class DirKind { kContainer, kGroup, kUser };

// A directory, metabase or namespace object bound by GetObject. Owned by the caller and released
// by scope. Operations the object's class does not offer throw 438 "Object doesn't support this
// property or method" (the default implementations below do exactly that).
class DirObject {
 public:
  virtual ~DirObject() = default;

  // --- IADs
  virtual std::string Name() = 0;
  // Name without a copy, for walks that only look at it; fails as Name does. The view lives
  // until the next NameView on this object, a step of the enumerator that lent it, or its end.
  virtual std::string_view NameView();
  virtual std::string ADsPath() = 0;
  virtual std::string Class() = 0;
  // A property by its directory name. E_ADS_PROPERTY_NOT_FOUND when the object has none.
  virtual Variant Get(const std::string& property) = 0;
  // Stages a property; nothing is stored before SetInfo.
  virtual void Put(const std::string& property, const Variant& value) = 0;
  // Stores what was staged (and creates the object after Create) in one transaction.
  virtual void SetInfo() = 0;
  // Whether the object offers an interface set (a user is no container, a site no group).
  virtual bool Supports(DirKind kind) const = 0;

  // --- IADsOpenDSObject (the "WinNT:" namespace object): binds `path` with explicit
  // credentials. ERROR_LOGON_FAILURE when they are refused.
  virtual std::unique_ptr<DirObject> OpenDSObject(const std::string& path, const std::string& user,
                                                  const std::string& password, int32_t flags);

  // --- IADsContainer
  // Restricts enumeration to these classes ("user", "group"); an empty list means all.
  virtual void SetFilter(const std::vector<std::string>& classes);
  virtual std::unique_ptr<DirEnumerator> Enumerate();
  // A new child; stored at its SetInfo (metabase keys are stored at once: ERROR_ALREADY_EXISTS).
  virtual std::unique_ptr<DirObject> Create(const std::string& cls, const std::string& name);
  virtual void Delete(const std::string& cls, const std::string& name);

  // --- IADsGroup and IADsUser
  virtual std::string Description();
  // Staged like Put("Description", ...); stored at SetInfo.
  virtual void SetDescription(const std::string& text);
  virtual std::unique_ptr<DirEnumerator> Members();
  // The Names of the members in order, for walks that read nothing else: what Members() and
  // NextNames to the end give. Throws what Members() throws; a failing step ends the list after
  // the names before it. The list lives until the next MemberNames on this object, a step of
  // the enumerator that lent it, or its end. A provider may answer without an enumerator.
  virtual std::span<const std::string> MemberNames();
  // How many of MemberNames are exactly `name`, and fails as it does. The overview asks it of
  // every group for every user; a provider may answer without a walk.
  virtual size_t CountMembersNamed(std::string_view name);
  virtual void Add(const std::string& member_path);
  virtual void Remove(const std::string& member_path);
  virtual std::string FullName();

  // --- metabase objects (IIsWebVirtualDir, IIsWebServer)
  virtual void AppCreate2(int32_t mode);
  virtual void Start();

 private:
  std::string name_;                       // for NameView by way of Name
  std::vector<std::string> member_names_;  // for MemberNames by way of Members
};

// What a walk that asks a container's groups about one member name wants of each group
// (DirEnumerator::CountMembersNamedEach).
class MemberCountVisitor {
 public:
  // Whether the group of this name is to be asked. Tells by the name alone: a provider may skip
  // it for a group it can tell holds no such member.
  virtual bool Asks(std::string_view group_name) = 0;
  // A group asked that holds `count` (> 0) members of the name.
  virtual void Found(std::string_view group_name, size_t count) = 0;

 protected:
  ~MemberCountVisitor() = default;
};

// Enumeration of a container's children or a group's members, in the provider's order.
class DirEnumerator {
 public:
  virtual ~DirEnumerator() = default;
  // The next object, or nullptr after the last. Each step may fail on its own.
  virtual std::unique_ptr<DirObject> Next() = 0;
  // Next for walks that read each object and move on: the object stays the enumerator's and lives
  // until the next step or the enumerator's end. Fails as Next does. An enumerator may hand out
  // one object re-aimed at each step, so a long walk makes no object per step.
  virtual DirObject* NextBorrowed() {
    borrowed_ = Next();
    return borrowed_.get();
  }
  // The Names of the next objects, for walks that read nothing else: fills `names` from the front
  // and returns how many, 0 after the last. The views live until the next call or the
  // enumerator's end. An object whose Name fails is left out; a failing step throws as Next does,
  // once the names before it have been handed out.
  virtual size_t NextNames(std::span<std::string_view> names);
  // The rest of the walk, for one that asks groups how many of their members bear `member`:
  // NextBorrowed, NameView, and CountMembersNamed of each group `visitor` asks. A failed step or
  // name read ends the walk by throwing; a group whose count fails is passed by. The overview
  // makes this walk for every user: a provider may answer without an object per group.
  virtual void CountMembersNamedEach(std::string_view member, MemberCountVisitor& visitor);

 private:
  std::unique_ptr<DirObject> borrowed_;
  std::vector<std::string> name_buffer_;  // for NextNames by way of NextBorrowed
  std::exception_ptr pending_;            // a failed step, thrown at the next NextNames
};

// --- directory search: connection, command and record set of the "ADsDSOObject" provider.
class Recordset {
 public:
  virtual ~Recordset() = default;
  virtual bool Eof() = 0;
  virtual void MoveFirst() = 0;
  virtual void MoveNext() = 0;
  // A column by name (case-insensitive). Null when the row lacks the attribute;
  // adErrItemNotFound for a column not requested; adErrNoCurrentRecord at EOF.
  virtual Variant Field(const std::string& name) = 0;
  virtual void Close() = 0;
};

class Command {
 public:
  virtual ~Command() = default;
  virtual void SetCommandText(const std::string& text) = 0;
  // "Page Size", "Timeout", "searchscope", "Chase referrals", "Cache Results", "Size Limit".
  virtual void SetProperty(const std::string& name, const Variant& value) = 0;
  // Runs the search (options -1). DB_SEC_E_PERMISSIONDENIED when the credentials are refused.
  virtual std::unique_ptr<Recordset> Execute() = 0;
};

class Connection {
 public:
  virtual ~Connection() = default;
  // Only "ADsDSOObject" is known; Open fails with adErrProviderNotFound for another.
  virtual void SetProvider(const std::string& provider) = 0;
  // "User ID" and "Password"; without them searches run with the process's credentials.
  virtual void SetProperty(const std::string& name, const Variant& value) = 0;
  virtual void Open(const std::string& connection_string, const std::string& user,
                    const std::string& password, int32_t options) = 0;
  // A command whose ActiveConnection is this connection. The command keeps what it needs of
  // the connection alive, so the two may be released in any order.
  virtual std::unique_ptr<Command> CreateCommand() = 0;
};

// --- text files
class TextStream {
 public:
  virtual ~TextStream() = default;
  virtual bool AtEndOfStream() = 0;
  // One line without its LF or CRLF. 62 "Input past end of file" after the last line.
  virtual std::string ReadLine() = 0;
  virtual void Close() = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Binds a path with the credentials of the process: "WinNT:", "WinNT://NAME",
  // "WinNT://NAME,computer", "WinNT://NAME/OBJECT", "LDAP://...", "IIS://LocalHost/W3SVC[/...]".
  // E_ADS_BAD_PATHNAME for an unknown syntax or provider; the provider's error when nothing is
  // there (errors.md, last table).
  virtual std::unique_ptr<DirObject> GetObject(const std::string& path) = 0;

  // A new, closed search connection.
  virtual std::unique_ptr<Connection> NewConnection() = 0;

  // Opens a file for reading as text (GetFile + OpenAsTextStream(1, 0)): 53 when it is missing,
  // 70 when it cannot be read, 76 when its folder is missing.
  virtual std::unique_ptr<TextStream> OpenTextFile(const std::string& path) = 0;

  // The shell's AddFavorite: E_INVALIDARG for an empty address.
  virtual void AddFavorite(const std::string& url, const Variant& title) = 0;

  // A host's method call begins or ends (the dispatch layer marks its outermost calls). Inside a
  // call the account store is read as it stood at the call's first read, which spares a look at
  // the file per object; the next call sees every commit made since, other processes' included.
  // Outside calls every bind and walk sees the latest commits. Never throw.
  virtual void BeginCall() {}
  virtual void EndCall() {}
};

// Marks one host call on `platform` for its scope.
class CallScope {
 public:
  explicit CallScope(Platform& platform) : platform_(platform) { platform_.BeginCall(); }
  ~CallScope() { platform_.EndCall(); }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  Platform& platform_;
};

// Forwards every call to another platform, so a test overrides only the step it breaks.
class PlatformWrapper : public Platform {
 public:
  explicit PlatformWrapper(Platform& target) : target_(target) {}
  std::unique_ptr<DirObject> GetObject(const std::string& path) override {
    return target_.GetObject(path);
  }
  std::unique_ptr<Connection> NewConnection() override { return target_.NewConnection(); }
  std::unique_ptr<TextStream> OpenTextFile(const std::string& path) override {
    return target_.OpenTextFile(path);
  }
  void AddFavorite(const std::string& url, const Variant& title) override {
    target_.AddFavorite(url, title);
  }
  void BeginCall() override { target_.BeginCall(); }
  void EndCall() override { target_.EndCall(); }
  Platform& target() { return target_; }

 private:
  Platform& target_;
};

// Binding "as IADsGroup" (or container, user): returns the object, or throws 13 "Type mismatch"
// when it does not offer that interface set.
std::unique_ptr<DirObject> Require(std::unique_ptr<DirObject> object, DirKind kind);

}  // namespace brindlecore::platform

#endif  // BRINDLECORE_PLATFORM_PLATFORM_H_
