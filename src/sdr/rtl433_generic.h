#pragma once
// Records for rtl_433 models the node has no family for: one record per measurement, named by
// model, id and channel (`Acurite-Tower_1234_A`) with the suffixes the Oregon records use (none
// for the temperature, `_H` humidity, `_B` pressure, `_P` battery low, `_W` wind, `_R` rain...)
// and `_<field>` for any other number or state.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace quillon::sdr {

struct GenericReading {
  std::string code;
  std::string type;     // the record's DeviceType
  std::string text;     // its value as text
  std::string display;  // with its unit, for the status page
};

// The device part of the code; empty when the object names no model.
std::string genericDeviceCode(const nlohmann::json& reading);
// Every measurement of the object; temperatures follow `metric` like the node's own sensors.
std::vector<GenericReading> genericReadings(const nlohmann::json& reading, bool metric);

}  // namespace quillon::sdr
