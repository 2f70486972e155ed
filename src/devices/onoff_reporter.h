#pragma once
// Turns on/off reports (X10 security sensors and remotes, Visonic sensors, X10 motion devices,
// auto-off timers) into record states and publishes them.
#include <string>
#include <utility>
#include <vector>

#include "core/node_context.h"
#include "devices/device_registry.h"
#include "devices/device_timers.h"

namespace quillon::devices {

// Where reports go out: the BSC endpoint, plain xAP messages from the node's own address, and
// the script queue.
class DevicePublisher {
 public:
  virtual ~DevicePublisher() = default;
  // A device's BSC event or info with its stored type ("xapbsc.event" / "xapbsc.info").
  virtual void sendXapBsc(const std::string& code, const std::string& cls) = 0;
  // A BSC message of a device under a sub-address built with `typeWord`, with the given state text.
  virtual void sendXapBscAs(const W800Device& device, const std::string& cls, const std::string& typeWord,
                            const std::string& stateText) = 0;
  // A message with no target, sub-address or UID.
  virtual void sendXap(const std::string& cls, const std::string& section,
                       const std::vector<std::pair<std::string, std::string>>& items) = 0;
  virtual void queueTagEvent(const std::string& tag) = 0;
};

// A two- or three-character code A..P followed by 1..16.
bool isX10Address(const std::string& code);

class OnOffReporter {
 public:
  OnOffReporter(core::NodeContext& ctx, DeviceRegistry& registry, DeviceTimers& timers, DevicePublisher& publisher);

  // Security command byte of sensor `code`; true when a record it updated is not in use (for
  // bytes that update two records, when both are not).
  bool securitySensor(const std::string& code, int command);
  // One on/off report; true when the record exists but is not in use.
  bool specialX10Sensor(const std::string& code, bool on, bool alwaysEvent);
  // Publishes a status the caller decided; true when ignored (record not in use).
  bool informEvent(W800Device& device, int status, const std::string& text);
  // Reports on records code + unit + "B" (battery), "T" (tamper) and "S" (status, of type
  // `statusType`); a record without a type takes its report's type.
  void visonic(const std::string& code, const std::string& unit, const std::string& status,
               const std::string& battery, const std::string& tamper, const std::string& statusType = "Status");

 private:
  void noteFamily(const std::string& code, int command);
  void visonicUnit(const std::string& code, const std::string& type, const std::string& text);
  void publishX10(const W800Device& device, const std::string& code, const std::string& text);

  core::NodeContext& ctx_;
  DeviceRegistry& registry_;
  DeviceTimers& timers_;
  DevicePublisher& publisher_;
};

}  // namespace quillon::devices
