#pragma once
// One part of the running node (links, xAP, scripts, HTTP, MQTT, desktop…) as the node starts,
// re-reads the settings and shuts down. The node keeps them in one ordered list: start-up walks it
// forward; shutdown walks it backward twice, first saving, then stopping.
#include <string>
#include <string_view>
#include <vector>

#include "core/settings.h"
#include "util/text.h"

namespace quillon::core {

// The settings before and after a re-read, with the names of the keys whose value changed.
struct SettingsChange {
  const Settings& before;
  const Settings& now;
  std::vector<std::string> keys;

  bool has(std::string_view key) const {
    for (const std::string& k : keys)
      if (util::iequals(k, key)) return true;
    return false;
  }
};

class Subsystem {
 public:
  virtual ~Subsystem() = default;
  // Names the subsystem in the log line of a shutdown step that failed.
  virtual const char* name() const = 0;
  // Start-up, in list order. An exception stops the start-up (logged; the node runs on).
  virtual void start() {}
  // Shutdown's first pass, in reverse list order: what must reach the settings files.
  virtual void save() {}
  // Shutdown's second pass, in reverse list order: close what is open.
  virtual void stop() {}
  // The settings were re-read (SIGHUP, the settings window), in list order.
  virtual void applySettings(const SettingsChange& /*change*/) {}
};

}  // namespace quillon::core
