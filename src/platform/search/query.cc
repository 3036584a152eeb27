#include "platform/search/query.h"

#include <cctype>

#include "platform/automation/errors.h"
#include "platform/directory/ldap/ldap_names.h"

namespace brindlecore::platform::search {
namespace {

using ldap::EqualsIgnoreCase;

[[noreturn]] void Refuse() { errors::kDbEErrorsincommand.Throw(); }

// "(" + op + inner + ")", built by appending: GCC 12 misreads the operator+ chain (-Wrestrict).
std::string Wrap(std::string_view op, std::string_view inner) {
  std::string out;
  out.reserve(inner.size() + op.size() + 2);
  out.append("(").append(op).append(inner).append(")");
  return out;
}

std::string_view TrimWhite(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' ||
         c == ';';
}

std::vector<std::string> SplitColumns(std::string_view list) {
  std::vector<std::string> columns;
  while (true) {
    size_t comma = list.find(',');
    std::string_view column = TrimWhite(list.substr(0, comma));
    if (column.empty()) Refuse();
    for (char c : column) {
      if (!IsNameChar(c)) Refuse();
    }
    columns.emplace_back(column);
    if (comma == std::string_view::npos) return columns;
    list.remove_prefix(comma + 1);
  }
}

// --- the angle-bracket dialect

Query ParseLdapDialect(std::string_view text) {
  Query query;
  size_t close = 1;
  while (close < text.size() && !(text[close] == '>' && text[close - 1] != '\\')) ++close;
  if (close >= text.size()) Refuse();
  query.root = std::string(TrimWhite(text.substr(1, close - 1)));
  std::string_view rest = TrimWhite(text.substr(close + 1));
  if (rest.empty() || rest.front() != ';') Refuse();
  rest.remove_prefix(1);
  // The filter ends at the first ";" outside its parentheses.
  size_t end = 0;
  for (int depth = 0; end < rest.size() && !(rest[end] == ';' && depth == 0); ++end) {
    if (rest[end] == '(') ++depth;
    if (rest[end] == ')') --depth;
  }
  std::string_view filter = TrimWhite(rest.substr(0, end));
  if (filter.empty()) filter = "(objectClass=*)";
  query.filter = filter.front() == '(' ? std::string(filter) : Wrap("", filter);
  if (end >= rest.size()) Refuse();
  rest.remove_prefix(end + 1);
  size_t semicolon = rest.find(';');
  query.columns = SplitColumns(rest.substr(0, semicolon));
  if (semicolon != std::string_view::npos) {
    std::string_view scope = TrimWhite(rest.substr(semicolon + 1));
    if (EqualsIgnoreCase(scope, "base")) {
      query.scope = 0;
    } else if (EqualsIgnoreCase(scope, "oneLevel")) {
      query.scope = 1;
    } else if (EqualsIgnoreCase(scope, "subTree")) {
      query.scope = 2;
    } else {
      Refuse();
    }
  }
  return query;
}

// --- the select dialect

struct Token {
  enum Kind { kWord, kQuoted, kPunct, kEnd } kind;
  std::string text;
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  Token Next() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    if (pos_ >= text_.size()) return {Token::kEnd, ""};
    char c = text_[pos_];
    if (c == '\'') return Quoted();
    if (c == ',' || c == '(' || c == ')' || c == '=') {
      ++pos_;
      return {Token::kPunct, std::string(1, c)};
    }
    size_t start = pos_;
    while (pos_ < text_.size() && (IsNameChar(text_[pos_]) || text_[pos_] == '*')) ++pos_;
    if (pos_ == start) Refuse();
    return {Token::kWord, std::string(text_.substr(start, pos_ - start))};
  }

 private:
  // A quote inside a value is written twice.
  Token Quoted() {
    std::string value;
    for (++pos_; pos_ < text_.size(); ++pos_) {
      if (text_[pos_] == '\'') {
        if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
          value += '\'';
          ++pos_;
          continue;
        }
        ++pos_;
        return {Token::kQuoted, value};
      }
      value += text_[pos_];
    }
    Refuse();
  }

  std::string_view text_;
  size_t pos_ = 0;
};

class SelectParser {
 public:
  explicit SelectParser(std::string_view text) : lexer_(text) { Advance(); }

  Query Parse() {
    Query query;
    ExpectKeyword("select");
    std::string columns;
    while (!IsKeyword("from")) {
      if (token_.kind == Token::kEnd || token_.kind == Token::kQuoted) Refuse();
      // Kept apart so that two names without a comma cannot read as one.
      columns += token_.text + " ";
      Advance();
    }
    query.columns = SplitColumns(columns);
    Advance();
    if (token_.kind != Token::kQuoted) Refuse();
    query.root = token_.text;
    Advance();
    query.filter = "(objectClass=*)";
    if (IsKeyword("where")) {
      Advance();
      query.filter = Or();
    }
    if (token_.kind != Token::kEnd) Refuse();
    return query;
  }

 private:
  void Advance() { token_ = lexer_.Next(); }
  bool IsKeyword(std::string_view word) const {
    return token_.kind == Token::kWord && EqualsIgnoreCase(token_.text, word);
  }
  bool IsPunct(char c) const { return token_.kind == Token::kPunct && token_.text[0] == c; }
  void ExpectKeyword(std::string_view word) {
    if (!IsKeyword(word)) Refuse();
    Advance();
  }

  std::string Or() { return Chain("or", '|', [this] { return And(); }); }
  std::string And() { return Chain("and", '&', [this] { return Not(); }); }

  template <typename Operand>
  std::string Chain(std::string_view keyword, char op, Operand operand) {
    std::vector<std::string> parts{operand()};
    while (IsKeyword(keyword)) {
      Advance();
      parts.push_back(operand());
    }
    if (parts.size() == 1) return parts[0];
    std::string out = "(";
    out += op;
    for (const auto& p : parts) out += p;
    return out + ")";
  }

  std::string Not() {
    if (IsKeyword("not")) {
      Advance();
      return Wrap("!", Not());
    }
    if (IsPunct('(')) {
      Advance();
      std::string inner = Or();
      if (!IsPunct(')')) Refuse();
      Advance();
      return inner;
    }
    return Comparison();
  }

  std::string Comparison() {
    if (token_.kind != Token::kWord || token_.text.find('*') != std::string::npos) Refuse();
    std::string attribute = token_.text;
    Advance();
    if (!IsPunct('=')) Refuse();
    Advance();
    std::string value;
    if (token_.kind == Token::kQuoted) {
      value = ldap::EscapeFilterValue(token_.text, true);
    } else if (token_.kind == Token::kWord && !IsKeyword("and") && !IsKeyword("or") &&
               !IsKeyword("not")) {
      value = ldap::EscapeFilterValue(token_.text, false);
    } else {
      Refuse();
    }
    Advance();
    return Wrap("", attribute + "=" + value);
  }

  Lexer lexer_;
  Token token_{Token::kEnd, ""};
};

}  // namespace

Query ParseQuery(std::string_view text) {
  text = TrimWhite(text);
  if (text.empty()) Refuse();
  if (text.front() == '<') return ParseLdapDialect(text);
  return SelectParser(text).Parse();
}

}  // namespace brindlecore::platform::search
