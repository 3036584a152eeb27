#include "brindlecore/variant.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/automation/errors.h"

namespace brindlecore {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Reads a whole text as a number, as the host's numeric conversion does (surrounding spaces
// allowed). False when it is not one.
bool ParseNumber(std::string_view text, double* out) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  char* end = nullptr;
  double d = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(d)) return false;
  // strtod also reads "nan", "inf" and hexadecimal; the host reads none of them.
  for (char c : t) {
    if (std::isalpha(static_cast<unsigned char>(c)) && c != 'e' && c != 'E') return false;
  }
  *out = d;
  return true;
}

std::string DoubleText(double d) {
  if (d == std::floor(d) && std::fabs(d) < 1e15) {
    return std::to_string(static_cast<long long>(d));
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15G", d);
  return buf;
}

}  // namespace

Variant Variant::Strings(const std::vector<std::string>& items) {
  Array a;
  a.reserve(items.size());
  for (const auto& s : items) a.emplace_back(s);
  return Variant(std::move(a));
}

bool Variant::IsNumber() const {
  switch (type()) {
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kDouble:
      return true;
    default:
      return false;
  }
}

double Variant::number() const {
  switch (type()) {
    case VarType::kBoolean:
      return std::get<bool>(value_) ? -1 : 0;
    case VarType::kInteger:
      return std::get<int16_t>(value_);
    case VarType::kLong:
      return std::get<int32_t>(value_);
    case VarType::kDouble:
      return std::get<double>(value_);
    default:
      errors::kRtTypeMismatch.Throw();
  }
}

std::string ToText(const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty:
      return "";
    case VarType::kNull:
      errors::kRtInvalidUseOfNull.Throw();
    case VarType::kBoolean:
      return v.boolean() ? "True" : "False";
    case VarType::kInteger:
    case VarType::kLong:
      return std::to_string(static_cast<long long>(v.number()));
    case VarType::kDouble:
      return DoubleText(v.number());
    case VarType::kString:
      return v.str();
    case VarType::kArray:
      break;
  }
  errors::kRtTypeMismatch.Throw();
}

std::string ConcatText(const Variant& v) { return v.IsNull() ? std::string() : ToText(v); }

bool ToBool(const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty:
      return false;
    case VarType::kNull:
      errors::kRtInvalidUseOfNull.Throw();
    case VarType::kBoolean:
      return v.boolean();
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kDouble:
      return v.number() != 0;
    case VarType::kString: {
      std::string t = Lower(Trim(v.str()));
      if (t == "true") return true;
      if (t == "false") return false;
      double d;
      if (ParseNumber(v.str(), &d)) return d != 0;
      break;
    }
    case VarType::kArray:
      break;
  }
  errors::kRtTypeMismatch.Throw();
}

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return "";
  size_t e = s.find_last_not_of(' ');
  return std::string(s.substr(b, e - b + 1));
}

int32_t ToLong(const Variant& v) {
  double d = 0;
  switch (v.type()) {
    case VarType::kEmpty:
      return 0;
    case VarType::kNull:
      errors::kRtInvalidUseOfNull.Throw();
    case VarType::kString:
      if (!ParseNumber(v.str(), &d)) errors::kRtTypeMismatch.Throw();
      break;
    case VarType::kArray:
      errors::kRtTypeMismatch.Throw();
    default:
      d = v.number();
  }
  d = std::nearbyint(d);  // the host rounds half to even, as the default rounding mode does
  if (d < std::numeric_limits<int32_t>::min() || d > std::numeric_limits<int32_t>::max()) {
    errors::kRtOverflow.Throw();
  }
  return static_cast<int32_t>(d);
}

std::string_view TypeName(VarType t) {
  switch (t) {
    case VarType::kEmpty:
      return "Empty";
    case VarType::kNull:
      return "Null";
    case VarType::kBoolean:
      return "Boolean";
    case VarType::kInteger:
      return "Integer";
    case VarType::kLong:
      return "Long";
    case VarType::kDouble:
      return "Double";
    case VarType::kString:
      return "String";
    case VarType::kArray:
      return "Array";
  }
  return "Unknown";
}

std::string NumberText(int32_t n) { return std::to_string(n); }

}  // namespace brindlecore
