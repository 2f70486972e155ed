#pragma once
// The Prometheus text exposition format (version 0.0.4): metric families, each written as its
// HELP and TYPE lines followed by all of its samples, in the order the families were first used.
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillon::metrics {

enum class MetricType { Gauge, Counter };

using Labels = std::vector<std::pair<std::string, std::string>>;

// A label value with backslash, double quote and line feed escaped, and each byte that is not part
// of well-formed UTF-8 replaced by U+FFFD (the format is UTF-8).
std::string escapeLabelValue(std::string_view value);
// A HELP text with backslash and line feed escaped.
std::string escapeHelp(std::string_view text);
// A sample value: whole numbers without a fraction, others in their shortest exact form, and
// NaN, +Inf, -Inf.
std::string formatValue(double value);

class Exposition {
 public:
  class Family {
   public:
    void add(const Labels& labels, double value);
    void add(double value) { add({}, value); }

   private:
    friend class Exposition;
    std::string name_, help_;
    MetricType type_ = MetricType::Gauge;
    std::string samples_;
  };

  // The family of that name, made with its type and help the first time it is asked for. The
  // reference stays valid while the exposition lives.
  Family& family(std::string_view name, MetricType type, std::string_view help);
  // Every family that has samples.
  std::string text() const;

 private:
  std::deque<Family> families_;
  std::unordered_map<std::string, Family*> byName_;
};

}  // namespace quillon::metrics
