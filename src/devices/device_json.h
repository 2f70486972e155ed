#pragma once
// A device record as JSON, shared by the MQTT state messages and the HTTP device API.
#include <string>

#include <nlohmann/json.hpp>

#include "devices/w800_device.h"

namespace quillon::devices {

// What the JSON and the discovery need to know about the node besides the record.
class DeviceLifecycle;

struct DeviceView {
  bool metric = false;       // units of the decoders' values
  bool canTransmit = false;  // a transmitter is configured, so X10 units can be switched
  const DeviceLifecycle* lifecycle = nullptr;  // sightings for the API's answers, when known
};

// {"code","type","location","state","value","unit","battery","last_change"} (and, when asked,
// "in_use", "stale", "first_seen", "last_seen", "packets", "interval_s"): state "ON"/"OFF" or
// null when never set; value a number when the text is one.
nlohmann::ordered_json deviceJson(const W800Device& device, const DeviceView& view, bool withInUse = false);

// "2026-12-07T14:05:09"; empty for the zero date (30/12/1899 00:00:00, a record never changed).
std::string isoDateTime(const util::DateTime& t);

// The same with the local time's offset from UTC ("2026-12-07T14:05:09+01:00"), as a timestamp
// must be for readers in other time zones; empty for the zero date.
std::string isoDateTimeWithOffset(const util::DateTime& t);

// The unit the decoders give a value of this device type in ("" when none).
std::string valueUnit(const std::string& type, bool metric);

}  // namespace quillon::devices
