#include "lexer.h"

#include <cmath>
#include <cstdint>
#include <deque>

#include "convert.h"
#include "errors.h"

namespace quillon::vbs {

namespace {

[[noreturn]] void fail(int number, int line, int col) {
  throw ScriptError{number, errorText(number), "Microsoft VBScript compilation error", line, col, {}, {}, {}, {}, 0};
}

bool identStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool identChar(char c) { return identStart(c) || (c >= '0' && c <= '9') || c == '_'; }

// Date literals read month first, whatever the locale.
bool parseDateLiteral(const std::string& body, double& out) {
  std::string t = body;
  size_t a = t.find('/');
  if (a != std::string::npos) {
    size_t b = t.find('/', a + 1);
    if (b != std::string::npos) {
      size_t st = t.find_first_not_of(' ');
      std::string m = t.substr(st, a - st), d = t.substr(a + 1, b - a - 1);
      bool numeric = !m.empty() && !d.empty() && m.find_first_not_of("0123456789") == std::string::npos &&
                     d.find_first_not_of("0123456789") == std::string::npos;
      if (numeric) t = d + "/" + m + t.substr(b);
    }
  }
  return parseDate(t, out);
}

}  // namespace

template <class Out>
void Lexer::fill(Out& out, size_t want) {
  if (finished_) return;
  const std::string_view s = s_;
  int& line = line_;
  size_t& lineStart = lineStart_;
  size_t& i = i_;
  const size_t n = s.size();
  bool& space = space_;
  bool& continued = continued_;
  auto col = [&](size_t p) { return static_cast<int>(p - lineStart) + 1; };
  auto push = [&](Tok k, size_t start, std::string text) {
    Token t;
    t.kind = k;
    t.line = line;
    t.col = col(start);
    t.spaceBefore = space;
    t.continued = continued;
    t.text = std::move(text);
    out.push_back(std::move(t));
    space = false;
    continued = false;
  };
  while (i < n && out.size() < want) {
    char c = s[i];
    if (c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\0') { ++i; space = true; continue; }
    if (c == '\r' || c == '\n') {
      push(Tok::Newline, i, "");
      if (c == '\r' && i + 1 < n && s[i + 1] == '\n') ++i;
      ++i;
      ++line;
      lineStart = i;
      space = true;
      continue;
    }
    if (c == '\'') {
      while (i < n && s[i] != '\r' && s[i] != '\n') ++i;
      continue;
    }
    if (c == '_') {
      // Line continuation: "_" then only blanks up to the end of the line. A "_" inside a name is
      // part of the name; anywhere else (after a blank, an operator or a bracket) it may continue.
      size_t j = i + 1;
      while (j < n && (s[j] == ' ' || s[j] == '\t')) ++j;
      if (j >= n || s[j] == '\r' || s[j] == '\n') {
        if (j < n && s[j] == '\r' && j + 1 < n && s[j + 1] == '\n') ++j;
        i = j + 1;
        ++line;
        lineStart = i;
        space = true;
        continued = true;
        continue;
      }
      fail(err::InvalidCharacter, line, col(i));
    }
    size_t start = i;
    if (identStart(c)) {
      while (i < n && identChar(s[i])) ++i;
      std::string raw(s.substr(start, i - start));
      std::string low = lower(raw);
      bool afterDot = !out.empty() && out.back().kind == Tok::Dot && !space;
      if (low == "rem" && !afterDot && (i >= n || s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n' || s[i] == ':')) {
        while (i < n && s[i] != '\r' && s[i] != '\n') ++i;
        continue;
      }
      if (raw.size() > 255) fail(1030, line, col(start));
      push(Tok::Ident, start, low);
      out.back().raw = std::move(raw);
      // Type-declaration suffixes are not VBScript; "[name]" escapes are rare and unsupported.
      continue;
    }
    if (c == '[') {
      size_t j = s.find(']', i);
      if (j == std::string_view::npos || s.substr(i, j - i).find('\n') != std::string_view::npos) fail(err::InvalidCharacter, line, col(i));
      std::string raw(s.substr(i + 1, j - i - 1));
      i = j + 1;
      push(Tok::Ident, start, raw.empty() ? "[]" : lower(raw));  // "[]" is a name of its own
      out.back().raw = raw;
      out.back().bracketed = true;
      continue;
    }
    if ((c >= '0' && c <= '9') || (c == '.' && i + 1 < n && s[i + 1] >= '0' && s[i + 1] <= '9' &&
                                   (out.empty() || space || (out.back().kind != Tok::Ident && out.back().kind != Tok::RParen)))) {
      bool isFloat = false;
      while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
      if (i < n && s[i] == '.') {
        isFloat = true;
        ++i;
        while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
      }
      if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < n && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < n && s[j] >= '0' && s[j] <= '9') {
          isFloat = true;
          i = j;
          while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
        }
      }
      std::string text(s.substr(start, i - start));
      if (i < n && identStart(s[i])) fail(err::ExpectedEndOfStatement, line, col(i));
      push(Tok::Number, start, text);
      double d = std::strtod(text.c_str(), nullptr);
      if (!std::isfinite(d)) fail(1031, line, col(start));
      if (!isFloat && d <= 2147483647.0) out.back().value = Variant::fromInt(static_cast<int64_t>(d));
      else out.back().value = Variant::dbl(d);
      continue;
    }
    // "&h"/"&o" start a number only when a digit follows; "x &hi" concatenates hi.
    auto isDigitOf = [&](size_t k, bool hex) {
      if (k >= n) return false;
      char d = s[k];
      return (d >= '0' && d <= '9') || (hex && ((d >= 'a' && d <= 'f') || (d >= 'A' && d <= 'F')));
    };
    if (c == '&' && i + 1 < n &&
        (((s[i + 1] == 'h' || s[i + 1] == 'H') && isDigitOf(i + 2, true)) ||
         ((s[i + 1] == 'o' || s[i + 1] == 'O') && isDigitOf(i + 2, false)) || (s[i + 1] >= '0' && s[i + 1] <= '7'))) {
      int base = (s[i + 1] == 'h' || s[i + 1] == 'H') ? 16 : 8;
      size_t j = i + ((s[i + 1] >= '0' && s[i + 1] <= '7') ? 1 : 2);
      uint64_t v = 0;
      size_t digits = 0;
      while (j < n) {
        char d = s[j];
        int dv;
        if (d >= '0' && d <= '9') dv = d - '0';
        else if (base == 16 && d >= 'a' && d <= 'f') dv = d - 'a' + 10;
        else if (base == 16 && d >= 'A' && d <= 'F') dv = d - 'A' + 10;
        else break;
        if (dv >= base) fail(err::SyntaxError, line, col(j));
        v = v * base + dv;
        if (v > 0xFFFFFFFFull) fail(1031, line, col(start));
        ++j;
        ++digits;
      }
      if (!digits) fail(err::SyntaxError, line, col(start));
      bool forceLong = j < n && s[j] == '&';
      if (forceLong) ++j;
      i = j;
      push(Tok::Number, start, std::string(s.substr(start, i - start)));
      // Up to four digits without "&" are a 16-bit pattern (&hFFFF is -1), otherwise 32 bits
      // (&hFFFF& is 65535); the value then takes the smallest type that holds it.
      int32_t value = v <= 0xFFFF && !forceLong ? static_cast<int16_t>(static_cast<uint16_t>(v))
                                                 : static_cast<int32_t>(static_cast<uint32_t>(v));
      out.back().value = Variant::fromInt(value);
      continue;
    }
    if (c == '"') {
      std::string val;
      ++i;
      for (;;) {
        if (i >= n || s[i] == '\r' || s[i] == '\n') fail(err::Unterminated, line, col(start));
        if (s[i] == '"') {
          if (i + 1 < n && s[i + 1] == '"') { val += '"'; i += 2; continue; }
          ++i;
          break;
        }
        val += s[i++];
      }
      push(Tok::String, start, "");
      out.back().value = Variant::str(std::move(val));
      continue;
    }
    if (c == '#') {
      size_t j = i + 1;
      while (j < n && s[j] != '#' && s[j] != '\r' && s[j] != '\n') ++j;
      if (j >= n || s[j] != '#') fail(err::SyntaxError, line, col(i));
      std::string body(s.substr(i + 1, j - i - 1));
      double d;
      if (!parseDateLiteral(body, d)) fail(err::SyntaxError, line, col(i));
      i = j + 1;
      push(Tok::Date, start, body);
      out.back().value = Variant::date(d);
      continue;
    }
    Tok k;
    size_t len = 1;
    switch (c) {
      case ':': k = Tok::Colon; break;
      case ',': k = Tok::Comma; break;
      case '.': k = Tok::Dot; break;
      case '(': k = Tok::LParen; break;
      case ')': k = Tok::RParen; break;
      case '+': k = Tok::Plus; break;
      case '-': k = Tok::Minus; break;
      case '*': k = Tok::Star; break;
      case '/': k = Tok::Slash; break;
      case '\\': k = Tok::Backslash; break;
      case '^': k = Tok::Caret; break;
      case '&': k = Tok::Amp; break;
      case '=': k = Tok::Eq; break;
      case '<':
        if (i + 1 < n && s[i + 1] == '>') { k = Tok::Ne; len = 2; }
        else if (i + 1 < n && s[i + 1] == '=') { k = Tok::Le; len = 2; }
        else k = Tok::Lt;
        break;
      case '>':
        if (i + 1 < n && s[i + 1] == '=') { k = Tok::Ge; len = 2; }
        else k = Tok::Gt;
        break;
      default: fail(err::InvalidCharacter, line, col(i));
    }
    i += len;
    push(k, start, std::string(s.substr(start, len)));
  }
  if (i < n) return;
  Token end;
  end.kind = Tok::Newline;
  end.line = line;
  end.col = col(i);
  out.push_back(end);
  end.kind = Tok::End;
  out.push_back(end);
  finished_ = true;
}

template void Lexer::fill(std::vector<Token>&, size_t);
template void Lexer::fill(std::deque<Token>&, size_t);

std::vector<Token> tokenize(std::string_view s, int firstLine) {
  std::vector<Token> out;
  Lexer(s, firstLine).fill(out, SIZE_MAX);
  return out;
}

}  // namespace quillon::vbs
