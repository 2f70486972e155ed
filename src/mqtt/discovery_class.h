#pragma once
// The Home Assistant component and device class each kind of device is announced as.
#include <string>

#include "devices/device_json.h"

namespace quillon::mqtt {

enum class Component { None, Sensor, BinarySensor, Switch, Light };
const char* componentName(Component c);

struct DiscoveryClass {
  Component component = Component::None;
  std::string deviceClass;  // empty: none
  std::string unit;         // empty: none
};

// The component and class of a device by its type, code and the node's view.
DiscoveryClass discoveryClass(const devices::W800Device& device, const devices::DeviceView& view);

}  // namespace quillon::mqtt
