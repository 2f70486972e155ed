#pragma once
// What the decoders hand out: their reports, which the node sends as xAP messages, and the
// receive processor's debounce. Both are interfaces, so the decoders know no transport.
#include <string>

namespace quillon::devices {
class W800Device;
}

namespace quillon::decode {

class DecodeReports {
 public:
  virtual ~DecodeReports() = default;
  // A device's new state (an xapbsc.event from the device's endpoint).
  virtual void deviceEvent(const devices::W800Device& d, const std::string& state) = 0;
  // A PC remote key while IR schema messages are asked for.
  virtual void irSignal(const devices::W800Device& d, const std::string& signal) = 0;
};

// The debounce of the receive processor: the key of the last accepted event and its timer.
class Debounce {
 public:
  virtual ~Debounce() = default;
  virtual std::string& lastEventKey() = 0;
  // Restarts the debounce timer; returns whether it was running before.
  virtual bool restartDebounce() = 0;
};

}  // namespace quillon::decode
