#include "metrics/prometheus_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace quillon::metrics {

namespace {

// The length of the well-formed UTF-8 sequence at the start of s (no overlong forms, surrogates
// or code points past U+10FFFF), or 0.
std::size_t utf8Length(std::string_view s) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const auto tail = [&](std::size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
  const unsigned c = b(0);
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return tail(1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (!tail(1) || !tail(2)) return 0;
    if ((c == 0xE0 && b(1) < 0xA0) || (c == 0xED && b(1) > 0x9F)) return 0;
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (!tail(1) || !tail(2) || !tail(3)) return 0;
    if ((c == 0xF0 && b(1) < 0x90) || (c == 0xF4 && b(1) > 0x8F)) return 0;
    return 4;
  }
  return 0;
}

}  // namespace

std::string escapeLabelValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  while (!value.empty()) {
    const char c = value.front();
    std::size_t n = 1;
    if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else if (c == '\n') out += "\\n";
    else if ((n = utf8Length(value)) > 0) out.append(value.substr(0, n));
    else n = 1, out += "\xEF\xBF\xBD";  // a byte that is no UTF-8 (a text typed in another code page)
    value.remove_prefix(n);
  }
  return out;
}

std::string escapeHelp(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::string formatValue(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  char buf[64];
  // Whole numbers up to 2^53 are exact as integers: counters read as counts.
  if (value == std::trunc(value) && std::fabs(value) < 9007199254740992.0) {
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<std::int64_t>(value));
    return std::string(buf, r.ptr);
  }
  const auto r = std::to_chars(buf, buf + sizeof buf, value);  // shortest text that reads back exactly
  return std::string(buf, r.ptr);
}

void Exposition::Family::add(const Labels& labels, double value) {
  samples_ += name_;
  if (!labels.empty()) {
    samples_ += '{';
    for (std::size_t i = 0; i < labels.size(); ++i) {
      if (i) samples_ += ',';
      samples_ += labels[i].first;
      samples_ += "=\"";
      samples_ += escapeLabelValue(labels[i].second);
      samples_ += '"';
    }
    samples_ += '}';
  }
  samples_ += ' ';
  samples_ += formatValue(value);
  samples_ += '\n';
}

Exposition::Family& Exposition::family(std::string_view name, MetricType type, std::string_view help) {
  auto it = byName_.find(std::string(name));
  if (it != byName_.end()) return *it->second;
  Family& f = families_.emplace_back();
  f.name_ = name;
  f.help_ = help;
  f.type_ = type;
  byName_.emplace(f.name_, &f);
  return f;
}

std::string Exposition::text() const {
  std::string out;
  for (const Family& f : families_) {
    if (f.samples_.empty()) continue;
    out += "# HELP " + f.name_ + " " + escapeHelp(f.help_) + "\n";
    out += "# TYPE " + f.name_ + (f.type_ == MetricType::Counter ? " counter\n" : " gauge\n");
    out += f.samples_;
  }
  return out;
}

}  // namespace quillon::metrics
