#include "decode/families/family_common.h"

#include <cmath>
#include <cstdio>

#include "util/text.h"

namespace quillon::decode {

double roundHalfEven(double x, int digits) {
  const double scale = std::pow(10.0, digits);
  // Scaled values such as 213.75 are exact in binary; nearbyint rounds halves to even.
  const double r = std::nearbyint(x * scale) / scale;
  return r == 0 ? 0.0 : r;  // no "-0"
}

std::string formatOneDecimal(double x) {
  std::string s = util::formatNumber(roundHalfEven(x, 1));
  if (s.find('.') == std::string::npos) s += ".0";
  return s;
}

std::string formatTwoDecimals(double x) {
  std::string s = util::formatNumber(roundHalfEven(x, 2));
  const auto dot = s.find('.');
  if (dot == std::string::npos)
    s += ".00";
  else if (dot + 2 == s.size())
    s += "0";
  return s;
}

std::string windCompass(double d) {
  static const struct {
    double from;
    const char* word;
  } kRanges[] = {{326.26, "NNW"}, {303.76, "NW"}, {281.26, "WNW"}, {258.76, "W"},  {236.26, "WSW"},
                 {213.76, "SW"},  {191.26, "SSW"}, {168.76, "S"},  {146.26, "SSE"}, {123.76, "SE"},
                 {101.26, "ESE"}, {78.76, "E"},    {56.26, "ENE"}, {33.76, "NE"},   {11.26, "NNE"}};
  if (d < 11.26 || d > 348.75) return "N";
  for (const auto& r : kRanges)
    if (d >= r.from) return r.word;
  return "N";
}

std::string compassText(int d) {
  static const struct {
    int below;
    const char* word;
  } kBounds[] = {{34, " NNE "}, {56, " NE "},  {79, " ENE "}, {101, " E "}, {124, " ESE "},
                 {146, " SE "}, {169, " SSE "}, {191, " S "},  {214, " SSW "}, {236, " SW "},
                 {259, " WSW "}, {281, " W "},  {304, " WNW "}, {326, " NW "}};
  if (d > 349 || d < 11) return " N ";
  for (const auto& b : kBounds)
    if (d < b.below) return b.word;
  return " NNW ";
}

namespace detail {

std::string hex(unsigned b) { return util::toHex(static_cast<unsigned char>(b)); }

bool requireBytes(std::string_view data, std::size_t need, const char* name, std::string& detail) {
  if (data.size() >= need) return true;
  detail += std::string(" | ") + name + " ignored because packet too short (" + std::to_string(data.size()) +
            " of " + std::to_string(need) + " bytes)";
  return false;
}

bool debounce(DecodeEnv& env, const std::string& dc, const std::string& eventText, const std::string& key,
              std::string& detail) {
  const bool wasRunning = env.debounce ? env.debounce->restartDebounce()
                                      : env.restartDebounce ? env.restartDebounce() : false;
  std::string& last = env.debounce ? env.debounce->lastEventKey() : env.lastEventKey;
  if (key != last || !wasRunning) {
    detail += " | " + dc + "=" + eventText;
    last = key;
    return true;
  }
  detail += " | Debounce Discard of " + dc + "=" + eventText;
  return false;
}

void sendBscEvent(DecodeEnv& env, const devices::W800Device& d, const std::string& state) {
  env.reports.deviceEvent(d, state);
}

void queueTag(DecodeEnv& env, const devices::W800Device& d) {
  if (!d.tag().empty() && env.queueTagEvent) env.queueTagEvent(d.tag());
}

std::string ignoredText(const std::string& name, std::string_view data) {
  return " | " + name + " " + util::hexString(data) + " Ignored because location not defined for sensor";
}

void sensorReport(DecodeEnv& env, std::string_view data, std::string& detail, const Reading& r,
                  bool tagOnlyWhenInUse) {
  if (!env.registry.addW800Unit(r.code)) return;
  devices::W800Device* d = env.registry.device(r.code);
  if (!d) return;
  const bool changed = d->text() != r.text;
  env.registry.report(*d, {.type = r.type, .text = r.text, .shown = r.display, .stamp = changed && d->inUse()});
  detail += " | " + r.addressCode + " = " + d->text();
  if (d->inUse()) {
    if (changed) sendBscEvent(env, *d, "ON");
  } else {
    detail += ignoredText(r.reportName, data);
  }
  if (!tagOnlyWhenInUse || d->inUse()) queueTag(env, *d);
}

void oregonReport(DecodeEnv& env, std::string_view data, std::string& detail, const Reading& r,
                  const std::string& state, bool battery) {
  if (!env.registry.addW800Unit(r.code)) return;
  devices::W800Device* d = env.registry.device(r.code);
  if (!d) return;
  // The picture follows only a change that is published.
  const bool published = d->inUse() && d->text() != r.text;
  const bool changed = d->text() != r.text;
  env.registry.report(*d, published ? devices::DeviceReading{.type = r.type, .text = r.text, .shown = r.display,
                                                             .stamp = true}
                                    : devices::DeviceReading{.type = r.type, .text = r.text});
  detail += " | " + r.code + " = " + d->text() + r.extra;
  if (d->inUse()) {
    if (changed) {
      sendBscEvent(env, *d, state);
    } else if (battery) {
      detail += " | OSBattery " + util::hexString(data) + " Not reported because no change";
    }
  } else {
    detail += ignoredText(r.reportName, data);
  }
  queueTag(env, *d);
}

}  // namespace detail
}  // namespace quillon::decode
