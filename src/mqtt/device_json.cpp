#include "mqtt/device_json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "devices/onoff_reporter.h"
#include "util/text.h"

namespace quillon::mqtt {

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

// The unit the decoders give a value of this type in.
std::string unitOf(const std::string& type, bool metric) {
  if (type == "Temperature") return metric ? "°C" : "°F";
  if (type == "Humidity" || type == "BatteryLevel") return "%";
  if (type == "Barometer") return metric ? "hPa" : "inHg";
  if (type == "Watt") return "W";
  if (type == "Voltage") return "V";
  if (type == "RainRate") return metric ? "mm/h" : "in/h";
  if (type == "RainToday") return metric ? "mm" : "in";
  if (startsWith(type, "Rain")) return "in";  // a gauge's count of 0.01 in tips
  if (type == "WindSpeed" || type == "WindGust") return metric ? "km/h" : "mph";
  if (type == "WindDirection") return "°";
  return "";
}

bool dimmable(const std::string& type) { return type == "Dimmer" || type == "Light"; }

}  // namespace

std::string isoDateTime(const util::DateTime& t) {
  const util::DateTime zero{};
  if (t.year == zero.year && t.month == zero.month && t.day == zero.day && t.hour == 0 && t.minute == 0 && t.second == 0)
    return "";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return buf;
}

nlohmann::ordered_json deviceJson(const devices::W800Device& d, const DeviceView& view, bool withInUse) {
  nlohmann::ordered_json j;  // built ordered, so every answer lists the fields the same way
  j["code"] = d.dc();
  j["type"] = d.deviceType();
  j["location"] = d.location();
  const bool battery = d.deviceType() == "Battery";
  const bool low = d.deviceStatus() == devices::kDeviceStatusOn || (d.deviceStatus() == 0 && d.text() == "1");
  if (battery)  // sensors report their battery as the value 1 (low) or 0 without an on/off status
    j["state"] = low ? "ON" : "OFF";
  else if (d.deviceStatus() == devices::kDeviceStatusOn)
    j["state"] = "ON";
  else if (d.deviceStatus() == devices::kDeviceStatusOff)
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
  const std::string unit = unitOf(d.deviceType(), view.metric);
  j["unit"] = unit.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(unit);
  j["battery"] = battery ? nlohmann::ordered_json(low ? "low" : "ok") : nlohmann::ordered_json(nullptr);
  const std::string last = isoDateTime(d.deviceLastChange());
  j["last_change"] = last.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(last);
  if (withInUse) j["in_use"] = d.inUse();
  return j;
}

const char* componentName(Component c) {
  switch (c) {
    case Component::Sensor: return "sensor";
    case Component::BinarySensor: return "binary_sensor";
    case Component::Switch: return "switch";
    case Component::Light: return "light";
    case Component::None: break;
  }
  return "";
}

DiscoveryClass discoveryClass(const devices::W800Device& d, const DeviceView& view) {
  const std::string& type = d.deviceType();
  const bool sensorType = type == "Motion" || type == "Tamper" || type == "Battery";
  if (view.canTransmit && devices::isX10Address(d.dc()) && !sensorType)
    return {dimmable(type) ? Component::Light : Component::Switch, "", ""};
  struct Row {
    const char* type;
    Component component;
    const char* deviceClass;
  };
  static const Row kRows[] = {
      {"Temperature", Component::Sensor, "temperature"},
      {"Humidity", Component::Sensor, "humidity"},
      {"Barometer", Component::Sensor, "atmospheric_pressure"},
      {"Watt", Component::Sensor, "power"},
      {"Voltage", Component::Sensor, "voltage"},
      {"BatteryLevel", Component::Sensor, "battery"},
      {"RainRate", Component::Sensor, "precipitation_intensity"},
      {"WindSpeed", Component::Sensor, "wind_speed"},
      {"WindGust", Component::Sensor, "wind_speed"},
      {"Motion", Component::BinarySensor, "motion"},
      {"Switch", Component::BinarySensor, "door"},
      {"Door", Component::BinarySensor, "door"},
      {"Window", Component::BinarySensor, "window"},
      {"Tamper", Component::BinarySensor, "tamper"},
      {"Battery", Component::BinarySensor, "battery"},
  };
  for (const Row& r : kRows)
    if (type == r.type) return {r.component, r.deviceClass, r.component == Component::Sensor ? unitOf(type, view.metric) : ""};
  if (startsWith(type, "Rain")) return {Component::Sensor, "precipitation", unitOf(type, view.metric)};
  // Any other kind: a value is a plain sensor, a bare on/off state a binary sensor.
  if (!d.text().empty()) return {Component::Sensor, "", unitOf(type, view.metric)};
  if (d.deviceStatus() != 0) return {Component::BinarySensor, "", ""};
  return {};
}

}  // namespace quillon::mqtt

namespace quillon::mqtt {

nlohmann::ordered_json linkJson(const rflink::LinkStatus& link) {
  nlohmann::ordered_json j;
  j["role"] = link.role;
  j["state"] = link.stateText();
  j["kind"] = link.tcp ? "tcp" : "serial";
  j["where"] = link.where;
  j["since"] = link.haveSince ? nlohmann::ordered_json(isoDateTime(link.since)) : nlohmann::ordered_json();
  j["bytes"] = link.bytes;
  if (link.role != "transmitter") {
    j["packets"] = link.packets;
    j["last_packet"] = link.haveLastPacket ? nlohmann::ordered_json(isoDateTime(link.lastPacket)) : nlohmann::ordered_json();
  }
  j["reconnects"] = link.reconnects;
  return j;
}

}  // namespace quillon::mqtt
