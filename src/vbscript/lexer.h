// Tokeniser: splits script text into tokens with 1-based line and column.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "value.h"

namespace quillon::vbs {

enum class Tok : uint8_t {
  Ident, Number, String, Date, Newline, Colon, Comma, Dot, LParen, RParen,
  Plus, Minus, Star, Slash, Backslash, Caret, Amp, Eq, Ne, Lt, Gt, Le, Ge, End
};

struct Token {
  Tok kind = Tok::End;
  bool spaceBefore = false;  // whitespace right before: ".x" after a space starts a With member
  bool bracketed = false;    // "[name]": never a keyword
  bool continued = false;    // first token after a line continuation
  int line = 0, col = 0;
  std::string text;          // identifiers lower-cased; raw text for others
  std::string raw;           // identifier as written (for messages and class names)
  Variant value;             // literal value
};

// Tokenises text on demand, so a parse error stops the work early (a million-term line is
// refused after its first few thousand tokens). Throws ScriptError (10xx) with position on bad
// input. The text must outlive the lexer.
class Lexer {
 public:
  explicit Lexer(std::string_view src, int firstLine = 1) : s_(src), line_(firstLine) {}
  // Appends tokens until `out` holds at least `want` or the text has ended; the last two tokens
  // of a text are a Newline and End.
  template <class Out> void fill(Out& out, size_t want);
  bool finished() const { return finished_; }

 private:
  std::string_view s_;
  int line_;
  size_t lineStart_ = 0, i_ = 0;
  bool space_ = true, continued_ = false, finished_ = false;
};

// Tokenises the whole text.
std::vector<Token> tokenize(std::string_view src, int firstLine = 1);

}  // namespace quillon::vbs
