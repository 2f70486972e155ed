#include "decode/replay_file.h"

#include <cctype>
#include <cstdlib>

#include "util/text.h"

namespace quillon::decode {
namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "12.25" or "hh:mm:ss[.fff]"; -1 when the token is not a time.
double parseTime(const std::string& tok) {
  if (tok.find_first_of(".:") == std::string::npos) return -1;
  double total = 0;
  auto parts = util::split(tok, ":");
  if (parts.size() > 3) return -1;
  for (const auto& part : parts) {
    if (part.empty()) return -1;
    for (char c : part)
      if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.') return -1;
    char* end = nullptr;
    double v = std::strtod(part.c_str(), &end);
    if (*end) return -1;
    total = total * 60 + v;
  }
  return total;
}

}  // namespace

bool parseHexBytes(const std::string& text, std::string& out, std::string& reason) {
  out.clear();
  std::string digits;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == ',' || c == '\r') {
      if (digits.size() % 2) {
        reason = "odd number of hex digits in \"" + digits + "\"";
        return false;
      }
      continue;
    }
    if (hexDigit(c) < 0) {
      reason = std::string("not a hex digit: '") + c + "'";
      return false;
    }
    digits += c;
    if (digits.size() % 2 == 0) out += static_cast<char>(hexDigit(digits[digits.size() - 2]) * 16 + hexDigit(c));
  }
  if (digits.size() % 2) {
    reason = "odd number of hex digits";
    return false;
  }
  return true;
}

ReplayFile parseReplay(const std::string& text) {
  ReplayFile file;
  auto lines = util::split(text, "\n");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i];
    const int number = static_cast<int>(i + 1);
    std::size_t hash = line.find('#');
    if (hash != std::string::npos) {
      std::string comment = util::lower(util::trimWhitespace(line.substr(hash + 1)));
      if (comment.rfind("mode:", 0) == 0) {
        std::string m = util::trimWhitespace(comment.substr(5));
        if (m == "48") file.mode = 1;
        else if (m == "32") file.mode = 0;
      }
      line.erase(hash);
    }
    line = util::trimWhitespace(line);
    if (line.empty()) continue;
    ReplayEntry e;
    e.line = number;
    std::size_t sp = line.find_first_of(" \t");
    std::string first = line.substr(0, sp);
    double t = parseTime(first);
    std::string rest = line;
    if (t >= 0) {
      e.seconds = t;
      rest = sp == std::string::npos ? "" : line.substr(sp + 1);
    }
    std::string reason;
    if (!parseHexBytes(rest, e.bytes, reason)) {
      file.errors.push_back("line " + std::to_string(number) + ": " + reason);
      continue;
    }
    if (e.bytes.empty()) {
      file.errors.push_back("line " + std::to_string(number) + ": no bytes");
      continue;
    }
    file.entries.push_back(std::move(e));
  }
  return file;
}

}  // namespace quillon::decode
