#include "util/password_scramble.h"

#include "util/text.h"

namespace quillon::util {
namespace {

constexpr std::string_view kKey = "Qu1lN";

// The key byte for the n-th byte (from 0): the counter goes 1, 2, 3, 4, 0, 1, ...
unsigned char keyByte(std::size_t n) { return static_cast<unsigned char>(kKey[(n + 1) % kKey.size()]); }

}  // namespace

std::string scramblePassword(std::string_view plain) {
  std::string out;
  for (std::size_t n = 0; n < plain.size(); ++n) {
    if (n) out += '.';
    out += std::to_string(static_cast<unsigned char>(plain[n]) ^ keyByte(n));
  }
  return out;
}

std::string unscramblePassword(std::string_view stored) {
  std::string out;
  if (stored.empty()) return out;
  std::size_t n = 0;
  for (const std::string& piece : split(stored, ".")) {
    double v = leadingNumber(piece);
    int code = v < 0 || v > 255 ? 0 : static_cast<int>(v);
    out += static_cast<char>(static_cast<unsigned char>(code) ^ keyByte(n++));
  }
  return out;
}

}  // namespace quillon::util
