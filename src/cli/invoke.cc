// `brindlecore invoke`: a host that reads one call a line as JSON and answers one line each, so
// scripts and tests can drive the component exactly as a host page does.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "brindlecore/automation.h"
#include "cli/commands.h"
#include "cli/invoke_request.h"
#include "platform/automation/errors.h"

namespace brindlecore::cli {
namespace {

// Responses keep their members in the documented order (result or error first, then refs).
using ojson = nlohmann::ordered_json;

constexpr char kDefaultProgId[] = "Brindlecore.Authentication";

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

// EncodeValue that takes a text over instead of copying it: a result may be megabytes.
ojson EncodeValue(Variant&& v) {
  if (std::string* text = v.mutable_str()) return std::move(*text);
  return EncodeValue(v);
}

ojson Refs(const std::vector<Arg>& args) {
  ojson refs = ojson::array();
  for (const Arg& a : args) {
    if (a.by_ref) refs.push_back(EncodeValue(a.value));
  }
  return refs;
}

// One answer line: either the call's result or its error, then the by-reference values. The
// result stays a value of its own until it is written, so a multi-megabyte text is never copied
// into (or moved around inside) a JSON object.
struct Response {
  ojson result;  // the call's value, when `error` is null
  ojson error;   // {"number": N, "description": TEXT}, or null on return
  ojson refs = ojson::array();
};

Response ErrorResponse(int32_t number, const std::string& description, ojson refs) {
  Response response;
  response.error = ojson{{"number", number}, {"description", description}};
  response.refs = std::move(refs);
  return response;
}

// Checks the call against the member's own description before it is made. An object that cannot
// describe its members is called as asked, and its dispatch answers for the arguments.
void CheckCall(IDispatch* object, const Request& request) {
  if (object == nullptr) return;
  int32_t dispid = 0;
  HRESULT hr = object->GetIDsOfNames(request.method, &dispid);
  if (hr < 0) throw ErrorFromHresult(hr);
  FuncDesc member;
  hr = object->GetFuncDesc(dispid, &member);
  if (hr == errors::kENotimpl.number) return;
  if (hr < 0) throw ErrorFromHresult(hr);
  CheckArguments(member, request.args);
}

Response Handle(const std::string& line, const std::string& default_progid) {
  Request request;
  try {
    request = ParseRequest(line, default_progid);
  } catch (const BadRequest& bad) {
    return ErrorResponse(errors::kEInvalidarg.number, "Invalid request: " + bad.message,
                         ojson::array());
  } catch (const std::bad_alloc&) {
    return ErrorResponse(errors::kEOutofmemory.number, std::string(errors::kEOutofmemory.text),
                         ojson::array());
  }
  try {
    Object object = CreateObject(request.progid);
    CheckCall(object.get(), request);
    Variant result = object.Call(request.method, request.args);
    Response response;
    response.result = EncodeValue(std::move(result));
    response.refs = Refs(request.args);
    return response;
  } catch (const BadRequest& bad) {
    return ErrorResponse(errors::kEInvalidarg.number, "Invalid request: " + bad.message,
                         Refs(request.args));
  } catch (const AutomationError& e) {
    return ErrorResponse(e.number, e.description, Refs(request.args));
  } catch (const std::exception& e) {
    return ErrorResponse(errors::kEFail.number, e.what(), Refs(request.args));
  }
}

// Texts are read eight bytes at a time: a listing is megabytes of HTML, nearly all plain.
constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;

uint64_t Load8(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// Whether none of the eight bytes of `w` needs more than a copy: no control byte, '"', '\\' nor
// byte outside ASCII. May say no for a plain word, which only costs a look at each byte.
bool Plain8(uint64_t w) {
  const auto zero_in = [](uint64_t x) { return (x - kOnes) & ~x; };
  const uint64_t flagged =
      ((w - kOnes * 0x20) & ~w) | zero_in(w ^ (kOnes * '"')) | zero_in(w ^ (kOnes * '\\')) | w;
  return (flagged & kHighs) == 0;
}

bool IsAscii(const ojson& value) {
  if (!value.is_string()) return false;
  const std::string& text = value.get_ref<const std::string&>();
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    if (Load8(text.data() + i) & kHighs) return false;
  }
  for (; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  }
  return true;
}

// Writes an ASCII text as a JSON string exactly as the serializer below does, a run of plain
// bytes at a time: a listing is megabytes of HTML, which the serializer decodes byte by byte as
// UTF-8.
void WriteAsciiString(const std::string& text, std::ostream& out) {
  out << '"';
  const char* run = text.data();
  const char* const end = run + text.size();
  for (const char* p = run; p != end; ++p) {
    while (end - p >= 8 && Plain8(Load8(p))) p += 8;
    if (p == end) break;
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.write(run, p - run);
    run = p + 1;
    switch (c) {
      case '"':
        out << "\\\"";
        break;
      case '\\':
        out << "\\\\";
        break;
      case '\b':
        out << "\\b";
        break;
      case '\f':
        out << "\\f";
        break;
      case '\n':
        out << "\\n";
        break;
      case '\r':
        out << "\\r";
        break;
      case '\t':
        out << "\\t";
        break;
      default: {
        char escaped[7];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
        out << escaped;
      }
    }
  }
  out.write(run, end - run);
  out << '"';
}

// Writes `response` compactly as one line, member by member straight to `out`, as the whole
// object would be dumped. Texts from a directory need not be valid UTF-8; they get U+FFFD rather
// than failing the response.
void WriteLine(const Response& response, std::ostream& out) {
  nlohmann::detail::serializer<ojson> writer(nlohmann::detail::output_adapter<char>(out), ' ',
                                             ojson::error_handler_t::replace);
  auto member = [&](const char* name, const ojson& value) {
    out << '"' << name << "\":";
    writer.dump(value, /*pretty_print=*/false, /*ensure_ascii=*/false, 0);
  };
  out << '{';
  if (response.error.is_null()) {
    if (IsAscii(response.result)) {
      out << "\"result\":";
      WriteAsciiString(response.result.get_ref<const std::string&>(), out);
    } else {
      member("result", response.result);
    }
  } else {
    member("error", response.error);
  }
  out << ',';
  member("refs", response.refs);
  out << "}\n" << std::flush;
}

}  // namespace

void AddInvokeCommand(CLI::App& app, const Context& ctx) {
  auto progid = std::make_shared<std::string>(kDefaultProgId);
  CLI::App* cmd = app.add_subcommand(
      "invoke", "JSON-lines automation host: one request a line in, one response a line out");
  cmd->add_option("--progid", *progid, "class to create for each request")->capture_default_str();
  cmd->footer(R"(Request, one a line: {"method": NAME, "args": [ARG, ...]} (optional "progid").
ARG: "text" String, true/false Boolean, an integer Long (other numbers Double), null Null,
{"empty": true} Empty, {"ref": ARG} passed by reference, starting as ARG.
Response, one a line: {"result": VALUE, "refs": [VALUE, ...]}, or {"error": {"number": N,
"description": TEXT}, "refs": [...]} when the call fails; "refs" holds the final value of every
by-reference argument in argument order. A line that cannot be called as written (not JSON, the
wrong number of arguments, a plain value where the method writes back into its argument) gets
error -2147024809 "Invalid request: ..." saying why, and the host goes on with the next line.
Example: GetAllUsers takes four arguments by value and pvError by reference, where it leaves the
error text. On a computer WEBSRV1 with one user, bob:
  in:  {"method": "GetAllUsers", "args": ["WinNT://WEBSRV1", "WEBSRV1", "Administrators", "false", {"ref": ""}]}
  out: {"result":"<TR><TD class=TableRow><a href=\"JavaScript:updateField('bob','Administrators');\">bob</a></TD><TD class=TableRow></TD></TR>","refs":[""]}
  in:  {"method": "GetAllUsers", "args": ["WinNT://WEBSRV9", "WEBSRV9", "Administrators", "false", {"ref": ""}]}
  out: {"result":"","refs":["-2147024843 ,The network path was not found."]}
  in:  {"method": "GetAllUsers", "args": ["WinNT://WEBSRV1", "WEBSRV1", "Administrators", "false", ""]}
  out: {"error":{"number":-2147024809,"description":"Invalid request: argument 5 (pvError) must be passed by reference: {\"ref\": value}"},"refs":[]}
  in:  {"method": "GetAllUsers", "args": ["WinNT://WEBSRV1", "WEBSRV1", "Administrators", "false"]}
  out: {"error":{"number":-2147024809,"description":"Invalid request: GetAllUsers takes 5 arguments, 4 given"},"refs":[]}
Both arguments of StartVirtualWebServer are by reference: the site and the error text.
  in:  {"method": "StartVirtualWebServer", "args": [{"ref": "1"}, {"ref": ""}]}
  out: {"result":true,"refs":["1",""]}
  in:  {"method": "StartVirtualWebServer", "args": [{"ref": "9"}, {"ref": ""}]}
  out: {"result":false,"refs":["9","-2147024893 ,The system cannot find the path specified."]})");
  cmd->callback([progid, &ctx] {
    ctx.Root();
    std::string line;
    while (std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      Response response;
      try {
        response = Handle(line, *progid);
      } catch (const std::exception& e) {
        // Whatever fails in answering a line is that line's answer; the host goes on.
        response = ErrorResponse(errors::kEFail.number, e.what(), ojson::array());
      }
      WriteLine(response, std::cout);
    }
  });
}

}  // namespace brindlecore::cli
