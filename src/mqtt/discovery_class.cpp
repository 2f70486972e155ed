#include "mqtt/discovery_class.h"

#include "devices/onoff_reporter.h"

namespace quillon::mqtt {
namespace {

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }
bool dimmable(const std::string& type) { return type == "Dimmer" || type == "Light"; }

}  // namespace

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

DiscoveryClass discoveryClass(const devices::W800Device& d, const devices::DeviceView& view) {
  const std::string& type = d.deviceType();
  // Sensors on X10 addresses report; they cannot be switched even when a transmitter is set.
  const bool sensorType = type == "Motion" || type == "Tamper" || type == "Battery" || type == "Door" ||
                          type == "Window" || startsWith(type, "Rain");
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
      {"WindDirection", Component::Sensor, "wind_direction"},
      {"Motion", Component::BinarySensor, "motion"},
      {"Switch", Component::BinarySensor, "door"},
      {"Door", Component::BinarySensor, "door"},
      {"Window", Component::BinarySensor, "window"},
      {"Tamper", Component::BinarySensor, "tamper"},
      {"Battery", Component::BinarySensor, "battery"},
      {"Security", Component::BinarySensor, "safety"},
  };
  for (const Row& r : kRows)
    if (type == r.type) return {r.component, r.deviceClass, r.component == Component::Sensor ? devices::valueUnit(type, view.metric) : ""};
  if (startsWith(type, "Rain")) return {Component::Sensor, "precipitation", devices::valueUnit(type, view.metric)};
  // An X10 security sensor without a type: its packets told a door contact from a motion sensor.
  if (type.empty() && !d.familyHint().empty()) return {Component::BinarySensor, d.familyHint(), ""};
  // Any other kind: a value is a plain sensor, a bare on/off state a binary sensor.
  if (!d.text().empty()) return {Component::Sensor, "", devices::valueUnit(type, view.metric)};
  if (d.deviceStatus() != 0) return {Component::BinarySensor, "", ""};
  return {};
}

}  // namespace quillon::mqtt
