#include "devices/device_json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "devices/device_lifecycle.h"
#include "util/text.h"

namespace quillon::devices {

namespace {

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// The whole text as a finite number, or nothing ("21.5" yes, "21.5 C" and "" no).
bool wholeNumber(const std::string& text, double& out) {
  const std::string t = util::trim(text);
  if (t.empty()) return false;
  char* end = nullptr;
  out = std::strtod(t.c_str(), &end);
  return end == t.c_str() + t.size() && std::isfinite(out);
}

}  // namespace

std::string valueUnit(const std::string& type, bool metric) {
  if (type == "Temperature") return metric ? "°C" : "°F";
  if (type == "Humidity" || type == "BatteryLevel") return "%";
  if (type == "Barometer") return metric ? "hPa" : "inHg";
  if (type == "Watt") return "W";
  if (type == "Voltage") return "V";
  if (type == "RainRate") return metric ? "mm/h" : "in/h";
  if (type == "RainToday" || type == "RainTotal") return metric ? "mm" : "in";
  if (startsWith(type, "Rain")) return "in";  // a gauge's count of 0.01 in tips
  if (type == "WindSpeed" || type == "WindGust") return metric ? "km/h" : "mph";
  if (type == "WindDirection") return "°";
  if (type == "Dimmer") return "%";
  return "";
}


std::string isoDateTime(const util::DateTime& t) {
  const util::DateTime zero{};
  if (t.year == zero.year && t.month == zero.month && t.day == zero.day && t.hour == 0 && t.minute == 0 && t.second == 0)
    return "";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return buf;
}

std::string isoDateTimeWithOffset(const util::DateTime& t) {
  std::string text = isoDateTime(t);
  if (text.empty()) return text;
  // The offset the system's time zone has at that local time (DST included).
  std::tm tm = util::toLocalTm(t);
  long offset = 0;
  if (std::mktime(&tm) != static_cast<std::time_t>(-1)) offset = tm.tm_gmtoff;
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char buf[8];
  std::snprintf(buf, sizeof buf, "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60 % 100, minutes % 60);
  return text + buf;
}

nlohmann::ordered_json deviceJson(const W800Device& d, const DeviceView& view, bool withInUse) {
  nlohmann::ordered_json j;  // built ordered, so every answer lists the fields the same way
  j["code"] = d.dc();
  j["type"] = d.deviceType();
  j["location"] = d.location();
  const bool battery = d.deviceType() == "Battery";
  const bool low = d.deviceStatus() == kDeviceStatusOn || (d.deviceStatus() == 0 && d.text() == "1");
  if (battery)  // sensors report their battery as the value 1 (low) or 0 without an on/off status
    j["state"] = low ? "ON" : "OFF";
  else if (d.deviceStatus() == kDeviceStatusOn || d.deviceStatus() == kDeviceStatusDim ||
           d.deviceStatus() == kDeviceStatusBright)
    j["state"] = "ON";
  else if (d.deviceStatus() == kDeviceStatusOff)
    j["state"] = "OFF";
  else
    j["state"] = nullptr;
  double number = 0;
  if (wholeNumber(d.text(), number))
    j["value"] = number;
  else if (!d.text().empty())
    j["value"] = d.text();
  else
    j["value"] = nullptr;
  const std::string unit = valueUnit(d.deviceType(), view.metric);
  j["unit"] = unit.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(unit);
  j["battery"] = battery ? nlohmann::ordered_json(low ? "low" : "ok") : nlohmann::ordered_json(nullptr);
  const std::string last = isoDateTime(d.deviceLastChange());
  j["last_change"] = last.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(last);
  if (withInUse) {
    j["in_use"] = d.inUse();
    j["stale"] = d.stale();
    const Sighting* s = view.lifecycle ? view.lifecycle->sighting(d.dc()) : nullptr;
    auto time = [](const util::DateTime& t) {
      const std::string text = isoDateTime(t);
      return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
    };
    j["first_seen"] = s ? time(s->firstSeen) : nlohmann::ordered_json(nullptr);
    j["last_seen"] = s ? time(s->lastSeen) : nlohmann::ordered_json(nullptr);
    j["packets"] = s ? s->count : 0;
    j["interval_s"] = s && s->intervalS > 0 ? nlohmann::ordered_json(s->intervalS) : nlohmann::ordered_json(nullptr);
  }
  return j;
}

}  // namespace quillon::devices
