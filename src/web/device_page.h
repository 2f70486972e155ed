#pragma once
// The page of one device (/device?code=…): its graphs over the last 24 hours, 7 days and year
// (drawn by dygraphs in the browser from /api/history), its battery level, its state changes and
// when it was last seen. A device without history still gets its page, saying so.
#include <string>

#include "devices/device_lifecycle.h"
#include "devices/device_registry.h"

namespace quillon::web {

struct DevicePageInfo {
  const devices::W800Device* device = nullptr;  // null: unknown to the registry
  const devices::Sighting* sighting = nullptr;
  std::string unit;
  bool historyOn = true;
};

std::string devicePage(const std::string& code, const DevicePageInfo& info);

}  // namespace quillon::web
