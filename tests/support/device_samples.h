#pragma once
// A device record with the fields the JSON and discovery tests look at, changed 2026-12-07 14:05:09.
#include <cstdint>
#include <string>

#include "devices/w800_device.h"

namespace quillon::test {

inline devices::W800Device sampleDevice(const std::string& code, const std::string& type, const std::string& text = "",
                                        int status = 0, const std::string& location = "Hall") {
  devices::W800Device d;
  d.setDc(code);
  d.setDeviceType(type);
  d.setText(text);
  d.setStatus(static_cast<std::int16_t>(status));
  d.setLocation(location);
  d.setInUse(!location.empty());
  d.setDeviceLastChange(util::DateTime{2026, 12, 7, 14, 5, 9, 0});
  return d;
}

}  // namespace quillon::test
