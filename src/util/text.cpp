#include "util/text.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>

namespace quillon::util {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

bool istartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && iequals(s.substr(0, prefix.size()), prefix);
}

std::size_t ifind(std::string_view hay, std::string_view needle, std::size_t from) {
  if (needle.empty()) return from <= hay.size() ? from : std::string_view::npos;
  for (std::size_t i = from; i + needle.size() <= hay.size(); ++i)
    if (iequals(hay.substr(i, needle.size()), needle)) return i;
  return std::string_view::npos;
}

std::string trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

std::string trimWhitespace(std::string_view s) {
  auto ws = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
  std::size_t b = 0, e = s.size();
  while (b < e && ws(s[b])) ++b;
  while (e > b && ws(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

std::vector<std::string> split(std::string_view s, std::string_view sep) {
  std::vector<std::string> out;
  if (sep.empty()) {
    out.emplace_back(s);
    return out;
  }
  std::size_t start = 0;
  while (true) {
    std::size_t p = s.find(sep, start);
    if (p == std::string_view::npos) {
      out.emplace_back(s.substr(start));
      return out;
    }
    out.emplace_back(s.substr(start, p - start));
    start = p + sep.size();
  }
}

std::string join(const std::vector<std::string>& parts, std::string_view sep) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out.append(sep);
    out.append(parts[i]);
  }
  return out;
}

std::string replaceAll(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  std::string out;
  std::size_t start = 0;
  while (true) {
    std::size_t p = s.find(from, start);
    if (p == std::string_view::npos) break;
    out.append(s.substr(start, p - start));
    out.append(to);
    start = p + from.size();
  }
  out.append(s.substr(start));
  return out;
}

std::string removeChar(std::string_view s, char c) {
  std::string out;
  out.reserve(s.size());
  for (char ch : s)
    if (ch != c) out.push_back(ch);
  return out;
}

std::string makeNumber(std::string_view s) {
  // The longest prefix that is a number; long texts are only searched in their first 64 bytes.
  std::size_t n = std::min<std::size_t>(s.size(), 64);
  for (; n >= 1; --n)
    if (isNumeric(s.substr(0, n))) return trimWhitespace(s.substr(0, n));
  return "0";
}

double leadingNumber(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  std::size_t start = i;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  bool dot = false, digits = false;
  while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || (s[i] == '.' && !dot))) {
    if (s[i] == '.') dot = true; else digits = true;
    ++i;
  }
  if (!digits) return 0;
  return std::strtod(std::string(s.substr(start, i - start)).c_str(), nullptr);
}

bool isNumeric(std::string_view s) {
  std::string t = trimWhitespace(s);
  if (t.empty()) return false;
  char* end = nullptr;
  std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size()) return false;
  // strtod also takes "inf", "nan" and hexadecimal floats, which are not numbers here.
  for (char c : t)
    if (std::isalpha(static_cast<unsigned char>(c)) && c != 'e' && c != 'E') return false;
  return true;
}

std::string toHex(unsigned char byte) {
  static const char kDigits[] = "0123456789ABCDEF";
  return std::string{kDigits[byte >> 4], kDigits[byte & 15]};
}

std::string hexString(std::string_view s) {
  std::string out;
  out.reserve(s.size() * 2);
  for (char c : s) out += toHex(static_cast<unsigned char>(c));
  return out;
}

bool toBool(std::string_view s) {
  std::string t = lower(removeChar(s, '"'));
  if (t == "true") return true;
  return leadingNumber(t) != 0;
}

std::string formatNumber(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
  if (v == 0) return "0";
  char buf[64];
  double a = std::fabs(v);
  if (a >= 1e15 || a < 1e-15) {
    std::snprintf(buf, sizeof buf, "%.14E", v);
    // Trim the mantissa's trailing zeros: 1.50000000000000E+20 -> 1.5E+20.
    std::string s = buf;
    std::size_t e = s.find('E');
    std::string mant = s.substr(0, e), ex = s.substr(e + 1);
    while (!mant.empty() && mant.back() == '0') mant.pop_back();
    if (!mant.empty() && mant.back() == '.') mant.pop_back();
    int expo = std::atoi(ex.c_str());
    std::snprintf(buf, sizeof buf, "%sE%s%02d", mant.c_str(), expo < 0 ? "-" : "+", std::abs(expo));
    return buf;
  }
  std::snprintf(buf, sizeof buf, "%.15g", v);
  std::string s = buf;
  if (s.find('e') != std::string::npos) {
    // %g chose an exponent for a small number; write it out in full instead.
    std::snprintf(buf, sizeof buf, "%.15f", v);
    s = buf;
  }
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s;
}

}  // namespace quillon::util
