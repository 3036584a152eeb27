#include <array>
#include <utility>

#include "platform/automation/errors.h"
#include "platform/platform.h"

namespace brindlecore::platform {
namespace {
[[noreturn]] void Unsupported() { errors::kRtObjectDoesntSupport.Throw(); }
}  // namespace

std::string_view DirObject::NameView() {
  name_ = Name();
  return name_;
}

std::unique_ptr<DirObject> DirObject::OpenDSObject(const std::string&, const std::string&,
                                                   const std::string&, int32_t) {
  Unsupported();
}
void DirObject::SetFilter(const std::vector<std::string>&) { Unsupported(); }
std::unique_ptr<DirEnumerator> DirObject::Enumerate() { Unsupported(); }
std::unique_ptr<DirObject> DirObject::Create(const std::string&, const std::string&) {
  Unsupported();
}
void DirObject::Delete(const std::string&, const std::string&) { Unsupported(); }
std::string DirObject::Description() { Unsupported(); }
void DirObject::SetDescription(const std::string&) { Unsupported(); }
std::unique_ptr<DirEnumerator> DirObject::Members() { Unsupported(); }

std::span<const std::string> DirObject::MemberNames() {
  std::unique_ptr<DirEnumerator> members = Members();
  member_names_.clear();
  std::array<std::string_view, 32> batch;
  while (true) {
    size_t count = 0;
    try {
      count = members->NextNames(batch);
    } catch (const AutomationError&) {
      break;
    }
    if (count == 0) break;
    member_names_.insert(member_names_.end(), batch.begin(), batch.begin() + count);
  }
  return member_names_;
}

size_t DirObject::CountMembersNamed(std::string_view name) {
  size_t count = 0;
  for (const std::string& member : MemberNames()) count += member == name;
  return count;
}
void DirObject::Add(const std::string&) { Unsupported(); }
void DirObject::Remove(const std::string&) { Unsupported(); }
std::string DirObject::FullName() { Unsupported(); }
void DirObject::AppCreate2(int32_t) { Unsupported(); }
void DirObject::Start() { Unsupported(); }

size_t DirEnumerator::NextNames(std::span<std::string_view> names) {
  if (pending_) std::rethrow_exception(std::exchange(pending_, nullptr));
  name_buffer_.resize(names.size());
  size_t count = 0;
  while (count < names.size()) {
    DirObject* object = nullptr;
    try {
      object = NextBorrowed();
    } catch (const AutomationError&) {
      if (count == 0) throw;
      pending_ = std::current_exception();
      break;
    }
    if (object == nullptr) break;
    try {
      name_buffer_[count] = object->Name();
    } catch (const AutomationError&) {
      continue;
    }
    names[count] = name_buffer_[count];
    ++count;
  }
  return count;
}

void DirEnumerator::CountMembersNamedEach(std::string_view member, MemberCountVisitor& visitor) {
  while (DirObject* group = NextBorrowed()) {
    const std::string_view name = group->NameView();
    if (!visitor.Asks(name)) continue;
    size_t count = 0;
    try {
      count = group->CountMembersNamed(member);
    } catch (const AutomationError&) {
      continue;
    }
    if (count > 0) visitor.Found(name, count);
  }
}

std::unique_ptr<DirObject> Require(std::unique_ptr<DirObject> object, DirKind kind) {
  if (!object || !object->Supports(kind)) errors::kRtTypeMismatch.Throw();
  return object;
}

}  // namespace brindlecore::platform
