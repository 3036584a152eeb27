#include "cli/invoke_request.h"

#include <limits>
#include <nlohmann/json.hpp>

namespace brindlecore::cli {
namespace {

using nlohmann::json;

// Where in the arguments a fault lies: the argument, whether it is by reference, and the item
// index at each array level below it. Spelt out only when a fault is thrown.
struct Location {
  size_t argument = 0;
  bool by_ref = false;
  std::vector<size_t> items;

  [[noreturn]] void Fail(std::string_view what) const {
    std::string message = "argument " + std::to_string(argument + 1);
    if (by_ref) message += " (by reference)";
    for (size_t item : items) message += " item " + std::to_string(item + 1);
    message.append(": ").append(what);
    throw BadRequest{std::move(message)};
  }
};

// The parser and the decoding below recurse per level; the depth is checked on the raw text
// first, in one pass that neither allocates nor recurses.
void RequireBoundedNesting(std::string_view line) {
  int depth = 0;
  bool in_string = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxRequestNesting) {
        throw BadRequest{"nested deeper than " + std::to_string(kMaxRequestNesting) + " levels"};
      }
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
}

Variant DecodeValue(const json& j, Location& where) {
  switch (j.type()) {
    case json::value_t::string:
      return Variant(j.get<std::string>());
    case json::value_t::boolean:
      return Variant(j.get<bool>());
    case json::value_t::null:
      return Variant::Null();
    case json::value_t::number_integer: {
      int64_t n = j.get<int64_t>();
      if (n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max()) {
        return Variant(static_cast<int32_t>(n));
      }
      return Variant(static_cast<double>(n));
    }
    case json::value_t::number_unsigned: {
      uint64_t n = j.get<uint64_t>();
      if (n <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        return Variant(static_cast<int32_t>(n));
      }
      return Variant(static_cast<double>(n));
    }
    case json::value_t::number_float:
      return Variant(j.get<double>());
    case json::value_t::array: {
      Variant::Array items;
      items.reserve(j.size());
      where.items.push_back(0);
      for (const json& item : j) {
        items.push_back(DecodeValue(item, where));
        ++where.items.back();
      }
      where.items.pop_back();
      return Variant(std::move(items));
    }
    case json::value_t::object: {
      auto empty = j.find("empty");
      if (j.size() == 1 && empty != j.end() && *empty == true) return Variant();
      where.Fail(R"(an object must be {"empty": true} or {"ref": value})");
    }
    default:
      break;
  }
  where.Fail("not a value");
}

Arg DecodeArg(const json& j, size_t index) {
  Location where;
  where.argument = index;
  if (j.is_object() && j.size() == 1) {
    if (auto ref = j.find("ref"); ref != j.end()) {
      where.by_ref = true;
      return Arg{DecodeValue(*ref, where), true};
    }
  }
  return Arg{DecodeValue(j, where), false};
}

json ParseJson(std::string_view line) {
  RequireBoundedNesting(line);
  try {
    return json::parse(line);
  } catch (const json::parse_error& e) {
    throw BadRequest{"not JSON: byte " + std::to_string(e.byte)};
  } catch (const json::exception&) {
    // A number beyond a double's range is the one other thing the parser refuses.
    throw BadRequest{"a number is out of range"};
  }
}

}  // namespace

Request ParseRequest(std::string_view line, const std::string& default_progid) {
  json j = ParseJson(line);
  if (!j.is_object()) throw BadRequest{"a request must be a JSON object"};
  Request request;
  request.progid = default_progid;
  for (const auto& [key, value] : j.items()) {
    if (key == "method") {
      if (!value.is_string() || value.get_ref<const std::string&>().empty()) {
        throw BadRequest{"\"method\" must be a non-empty string"};
      }
      request.method = value.get<std::string>();
    } else if (key == "args") {
      if (!value.is_array()) throw BadRequest{"\"args\" must be an array"};
      request.args.reserve(value.size());
      for (size_t i = 0; i < value.size(); ++i) request.args.push_back(DecodeArg(value[i], i));
    } else if (key == "progid") {
      if (!value.is_string()) throw BadRequest{"\"progid\" must be a string"};
      request.progid = value.get<std::string>();
    } else {
      throw BadRequest{"unknown member \"" + key + "\""};
    }
  }
  if (request.method.empty()) throw BadRequest{"missing \"method\""};
  return request;
}

void CheckArguments(const FuncDesc& member, std::span<const Arg> args) {
  const size_t takes = member.params.size();
  if (args.size() != takes) {
    throw BadRequest{member.name + " takes " + std::to_string(takes) +
                     (takes == 1 ? " argument, " : " arguments, ") + std::to_string(args.size()) +
                     " given"};
  }
  for (size_t i = 0; i < takes; ++i) {
    if (member.params[i].by_ref && !args[i].by_ref) {
      throw BadRequest{"argument " + std::to_string(i + 1) + " (" + member.params[i].name +
                       R"() must be passed by reference: {"ref": value})"};
    }
  }
}

}  // namespace brindlecore::cli
