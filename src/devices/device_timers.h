#pragma once
// The time-driven duties of device records: the daily rain history of counting devices with its
// midnight rollover (checked every 30 s), and one auto-off timer per record with an OffTime.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/node_context.h"
#include "core/subsystem.h"
#include "devices/device_registry.h"
#include "platform/event_loop.h"

namespace quillon::devices {

// A record whose type begins with "rain" counts tips of its bucket.
bool isCountingDevice(const W800Device& device);

class DeviceTimers final : public core::Subsystem {
 public:
  // Publishes a record's rollover ("xapbsc.event") and queues its tag.
  using RolloverPublisher = std::function<void(W800Device& device)>;
  // Reports a record off when its auto-off timer expires.
  using OffReporter = std::function<void(W800Device& device)>;
  static constexpr int kNewDayIntervalMs = 30000;

  DeviceTimers(core::NodeContext& ctx, DeviceRegistry& registry);

  void setRolloverPublisher(RolloverPublisher fn) { publishRollover_ = std::move(fn); }
  void setOffReporter(OffReporter fn) { reportOff_ = std::move(fn); }

  const char* name() const override { return "SaveLastChange"; }
  // Starts the 30 s new-day timer; its first tick performs a rollover.
  void start() override;
  // Shutdown stops every timer before the records are saved, so none changes meanwhile.
  void save() override { stop(); }
  void stop() override;
  // The midnight rollover (the timer's tick).
  void newDayTick();
  // Counts one tip of a counting device that reported "on" and shows today's rain.
  void computeWaterCount(W800Device& device);
  // (Re)starts the auto-off timer of a record with an OffTime, for the full interval.
  void startOffTimer(W800Device& device);
  bool offTimerRunning(int index) const;

  static std::string historyKey(const W800Device& device) { return "History_" + device.dc(); }

 private:
  void onOffTimer(int index);

  core::NodeContext& ctx_;
  DeviceRegistry& registry_;
  platform::Timer newDayTimer_;
  util::DateTime lastRollover_{};
  std::vector<std::unique_ptr<platform::Timer>> offTimers_;  // slot i = timer index i
  RolloverPublisher publishRollover_;
  OffReporter reportOff_;
};

}  // namespace quillon::devices
