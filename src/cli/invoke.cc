// `brindlecore invoke`: a host that reads one call a line as JSON and answers one line each, so
// scripts and tests can drive the component exactly as a host page does.
#include <iostream>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "brindlecore/automation.h"
#include "cli/commands.h"
#include "platform/automation/errors.h"

namespace brindlecore::cli {
namespace {

using nlohmann::json;
// Responses keep their members in the documented order (result or error first, then refs).
using ojson = nlohmann::ordered_json;

constexpr char kDefaultProgId[] = "Brindlecore.Authentication";

// A request line that cannot be called; its message says what is wrong with it.
struct BadRequest {
  std::string message;
};

Variant DecodeValue(const json& j, const std::string& where);

Variant DecodeArray(const json& j, const std::string& where) {
  Variant::Array items;
  items.reserve(j.size());
  for (size_t i = 0; i < j.size(); ++i) {
    items.push_back(DecodeValue(j[i], where + " item " + std::to_string(i + 1)));
  }
  return Variant(std::move(items));
}

Variant DecodeValue(const json& j, const std::string& where) {
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
    case json::value_t::array:
      return DecodeArray(j, where);
    case json::value_t::object:
      if (j.size() == 1 && j.contains("empty") && j["empty"] == true) return Variant();
      throw BadRequest{where + ": an object must be {\"empty\": true} or {\"ref\": value}"};
    default:
      break;
  }
  throw BadRequest{where + ": not a value"};
}

Arg DecodeArg(const json& j, size_t index) {
  std::string where = "argument " + std::to_string(index + 1);
  if (j.is_object() && j.size() == 1 && j.contains("ref")) {
    return Arg{DecodeValue(j["ref"], where + " (by reference)"), true};
  }
  return Arg{DecodeValue(j, where), false};
}

ojson EncodeValue(const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty:
      return ojson{{"empty", true}};
    case VarType::kNull:
      return nullptr;
    case VarType::kBoolean:
      return v.boolean();
    case VarType::kInteger:
    case VarType::kLong:
      return static_cast<int32_t>(v.number());
    case VarType::kDouble:
      return v.number();
    case VarType::kString:
      return v.str();
    case VarType::kArray: {
      ojson items = ojson::array();
      for (const Variant& item : v.array()) items.push_back(EncodeValue(item));
      return items;
    }
  }
  return nullptr;
}

struct Request {
  std::string progid = kDefaultProgId;
  std::string method;
  std::vector<Arg> args;
};

Request ParseRequest(const std::string& line, const std::string& default_progid) {
  json j;
  try {
    j = json::parse(line);
  } catch (const json::parse_error& e) {
    throw BadRequest{"not JSON: byte " + std::to_string(e.byte)};
  }
  if (!j.is_object()) throw BadRequest{"a request must be a JSON object"};
  Request request;
  request.progid = default_progid;
  for (const auto& [key, value] : j.items()) {
    if (key == "method") {
      if (!value.is_string() || value.get<std::string>().empty()) {
        throw BadRequest{"\"method\" must be a non-empty string"};
      }
      request.method = value.get<std::string>();
    } else if (key == "args") {
      if (!value.is_array()) throw BadRequest{"\"args\" must be an array"};
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

ojson Refs(const std::vector<Arg>& args) {
  ojson refs = ojson::array();
  for (const Arg& a : args) {
    if (a.by_ref) refs.push_back(EncodeValue(a.value));
  }
  return refs;
}

ojson ErrorResponse(int32_t number, const std::string& description, ojson refs) {
  return ojson{{"error", {{"number", number}, {"description", description}}},
              {"refs", std::move(refs)}};
}

ojson Handle(const std::string& line, const std::string& default_progid) {
  Request request;
  try {
    request = ParseRequest(line, default_progid);
  } catch (const BadRequest& bad) {
    return ErrorResponse(errors::kEInvalidarg.number, "Invalid request: " + bad.message,
                         ojson::array());
  }
  try {
    Object object = CreateObject(request.progid);
    Variant result = object.Call(request.method, request.args);
    return ojson{{"result", EncodeValue(result)}, {"refs", Refs(request.args)}};
  } catch (const AutomationError& e) {
    return ErrorResponse(e.number, e.description, Refs(request.args));
  } catch (const std::exception& e) {
    return ErrorResponse(errors::kEFail.number, e.what(), Refs(request.args));
  }
}

}  // namespace

void AddInvokeCommand(CLI::App& app, const Context& ctx) {
  auto progid = std::make_shared<std::string>(kDefaultProgId);
  CLI::App* cmd = app.add_subcommand(
      "invoke", "JSON-lines automation host: one request a line in, one response a line out");
  cmd->add_option("--progid", *progid, "class to create for each request")
      ->capture_default_str();
  cmd->callback([progid, &ctx] {
    ctx.Root();
    std::string line;
    while (std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      ojson response = Handle(line, *progid);
      // Texts from a directory need not be valid UTF-8; replace rather than drop the response.
      std::cout << response.dump(-1, ' ', false, ojson::error_handler_t::replace) << '\n'
                << std::flush;
    }
  });
}

}  // namespace brindlecore::cli
