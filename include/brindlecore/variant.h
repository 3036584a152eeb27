// The automation variant and the host's scripting conversion rules.
//
// Every conversion the component needs lives here so that the rules (what the text of Empty is,
// which texts read as truth values, what trimming removes) are written once.
#ifndef BRINDLECORE_VARIANT_H_
#define BRINDLECORE_VARIANT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace brindlecore {

enum class VarType { kEmpty, kNull, kBoolean, kInteger, kLong, kDouble, kString, kArray };

class Variant {
 public:
  struct EmptyTag {
    bool operator==(const EmptyTag&) const = default;
  };
  struct NullTag {
    bool operator==(const NullTag&) const = default;
  };
  using Array = std::vector<Variant>;

  Variant() = default;  // Empty
  Variant(NullTag) : value_(NullTag{}) {}
  Variant(bool b) : value_(b) {}
  Variant(int16_t i) : value_(i) {}
  Variant(int32_t i) : value_(i) {}
  Variant(double d) : value_(d) {}
  Variant(std::string s) : value_(std::move(s)) {}
  Variant(std::string_view s) : value_(std::string(s)) {}
  Variant(const char* s) : value_(std::string(s)) {}
  Variant(Array a) : value_(std::move(a)) {}

  static Variant Null() { return Variant(NullTag{}); }
  static Variant Empty() { return Variant(); }
  // An array of texts, as a directory filter or a list-valued property.
  static Variant Strings(const std::vector<std::string>& items);

  VarType type() const { return static_cast<VarType>(value_.index()); }
  bool IsEmpty() const { return type() == VarType::kEmpty; }
  bool IsNull() const { return type() == VarType::kNull; }
  bool IsString() const { return type() == VarType::kString; }
  bool IsBoolean() const { return type() == VarType::kBoolean; }
  bool IsArray() const { return type() == VarType::kArray; }
  bool IsNumber() const;

  // Direct access; the caller has checked the type.
  const std::string& str() const { return std::get<std::string>(value_); }
  // The held text for in-place use (moving it out, as a by-reference string parameter does),
  // or nullptr when the value is not a String.
  std::string* mutable_str() { return std::get_if<std::string>(&value_); }
  bool boolean() const { return std::get<bool>(value_); }
  const Array& array() const { return std::get<Array>(value_); }
  // The numeric value of a Boolean (-1/0), integer, long or double.
  double number() const;

  bool operator==(const Variant& other) const = default;

 private:
  std::variant<EmptyTag, NullTag, bool, int16_t, int32_t, double, std::string, Array> value_;
};

// Text of a value as the scripting host converts it: Empty is "", Booleans are "True"/"False",
// numbers in their shortest decimal form. Throws AutomationError 94 for Null and 13 for an array.
std::string ToText(const Variant& v);

// Text for concatenation: as ToText, but Null counts as "" (the host's "&" rule).
std::string ConcatText(const Variant& v);

// Truth value: Booleans as they are; numbers non-zero; "true"/"false" in any letter case and
// numeric texts; Empty is false. Throws 94 for Null and 13 for any other text or an array.
bool ToBool(const Variant& v);

// Removes leading and trailing space characters (U+0020 only; tabs stay).
std::string Trim(std::string_view s);

// 32-bit integer of a value (numbers rounded half to even, numeric texts); throws 13 when the
// value does not read as a number and 6 when it does not fit.
int32_t ToLong(const Variant& v);

// Describes a value for diagnostics and the JSON host ("Empty", "Null", "String", ...).
std::string_view TypeName(VarType t);

// Signed decimal text of an error number, as error texts show it.
std::string NumberText(int32_t n);

}  // namespace brindlecore

#endif  // BRINDLECORE_VARIANT_H_
