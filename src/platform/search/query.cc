#include "platform/search/query.h"

#include <cctype>

#include "platform/automation/errors.h"
#include "platform/directory/ldap/ldap_names.h"

namespace brindlecore::platform::search {
namespace {

using ldap::EqualsIgnoreCase;

[[noreturn]] void Refuse() { errors::kDbEErrorsincommand.Throw(); }

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
  // The filter ends at the first ";" outside its parentheses. It goes to the LDAP library as
  // written, whose encoder recurses once per level: deeper nesting is refused here.
  size_t end = 0;
  for (int depth = 0; end < rest.size() && !(rest[end] == ';' && depth == 0); ++end) {
    if (rest[end] == '(' && ++depth > kMaxFilterNesting) Refuse();
    if (rest[end] == ')') --depth;
  }
  std::string_view filter = TrimWhite(rest.substr(0, end));
  if (filter.empty()) filter = "(objectClass=*)";
  if (filter.front() == '(') {
    query.filter = filter;
  } else {
    query.filter.append("(").append(filter).append(")");
  }
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
    if (IsKeyword("where")) {
      Advance();
      Or(query.filter, 0);
    } else {
      query.filter = "(objectClass=*)";
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

  // Each rule appends its filter to `out`, so no level copies what the levels below built.
  void Or(std::string& out, int depth) {
    Chain(out, "or", '|', [&] { And(out, depth); });
  }
  void And(std::string& out, int depth) {
    Chain(out, "and", '&', [&] { Not(out, depth); });
  }

  template <typename Operand>
  void Chain(std::string& out, std::string_view keyword, char op, Operand operand) {
    size_t start = out.size();
    operand();
    if (!IsKeyword(keyword)) return;
    // Only now is it known that there are two operands: the first one moves once.
    out.insert(start, {'(', op});
    while (IsKeyword(keyword)) {
      Advance();
      operand();
    }
    out += ')';
  }

  // `depth` counts the "not"s and parentheses around the operand: bounded so a hostile text
  // cannot exhaust the stack here or in the LDAP library's own recursive filter encoder.
  void Not(std::string& out, int depth) {
    if (IsKeyword("not")) {
      Advance();
      Nest(depth);
      out += "(!";
      Not(out, depth + 1);
      out += ')';
      return;
    }
    if (IsPunct('(')) {
      Advance();
      Nest(depth);
      Or(out, depth + 1);
      if (!IsPunct(')')) Refuse();
      Advance();
      return;
    }
    Comparison(out);
  }

  static void Nest(int depth) {
    if (depth >= kMaxFilterNesting) Refuse();
  }

  void Comparison(std::string& out) {
    if (token_.kind != Token::kWord || token_.text.find('*') != std::string::npos) Refuse();
    std::string attribute = std::move(token_.text);
    Advance();
    if (!IsPunct('=')) Refuse();
    Advance();
    bool quoted = token_.kind == Token::kQuoted;
    if (!quoted &&
        (token_.kind != Token::kWord || IsKeyword("and") || IsKeyword("or") || IsKeyword("not"))) {
      Refuse();
    }
    out.append("(").append(attribute).append("=");
    out += ldap::EscapeFilterValue(token_.text, quoted);
    out += ')';
    Advance();
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
