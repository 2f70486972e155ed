#pragma once
// Append-only text builder used for pages, answers and properties strings.
#include <string>
#include <string_view>

namespace quillon::util {

class FastString {
 public:
  void reset() { text_.clear(); }
  FastString& add(std::string_view piece) {
    text_.append(piece);
    return *this;
  }
  const std::string& value() const { return text_; }
  std::string take() { return std::move(text_); }

 private:
  std::string text_;
};

}  // namespace quillon::util
