#pragma once
// The picture of a device's state as pages draw it and xAP sends it as display text: an HTML
// table cell with the state's image and its text.
#include <string>
#include <string_view>

#include "devices/w800_device.h"

namespace quillon::devices {

// The picture for the state text `display` of a device of kind `deviceType` (or its own icon).
std::string statusImageHtml(std::string_view display, std::string_view deviceType, std::string_view icon);
// The device's current state drawn (a script's own display text as it is).
std::string statusPicture(const W800Device& device);

}  // namespace quillon::devices
