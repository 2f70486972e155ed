#pragma once
// A device record as JSON, shared by the MQTT state messages and the HTTP device API, and the
// Home Assistant discovery class each kind of device gets.
#include <string>

#include <nlohmann/json.hpp>

#include "devices/w800_device.h"
#include "rflink/link_status.h"

namespace quillon::mqtt {

// What the JSON and the discovery need to know about the node besides the record.
struct DeviceView {
  bool metric = false;       // units of the decoders' values
  bool canTransmit = false;  // a transmitter is configured, so X10 units can be switched
};

// {"code","type","location","state","value","unit","battery","last_change"} (and "in_use" when
// asked): state "ON"/"OFF" or null when never set; value a number when the text is one.
nlohmann::ordered_json deviceJson(const devices::W800Device& device, const DeviceView& view, bool withInUse = false);

// "2026-12-07T14:05:09"; empty for the zero date (30/12/1899 00:00:00, a record never changed).
std::string isoDateTime(const util::DateTime& t);

// {"role","state","kind","where","since","bytes","packets","last_packet","reconnects"} of an RF
// link: state "open", "closed" or "not configured"; times null when unknown; packets only for
// the receiver.
nlohmann::ordered_json linkJson(const rflink::LinkStatus& link);

enum class Component { None, Sensor, BinarySensor, Switch, Light };
const char* componentName(Component c);

struct DiscoveryClass {
  Component component = Component::None;
  std::string deviceClass;  // empty: none
  std::string unit;         // empty: none
};

// The Home Assistant component and class of a device by its type, code and the node's view.
DiscoveryClass discoveryClass(const devices::W800Device& device, const DeviceView& view);

}  // namespace quillon::mqtt
