#pragma once
// The node's /metrics text: each device's reading in base units, the running counts, the
// receiver link's state, the build and the start time.
#include <cstdint>
#include <functional>
#include <string>

#include "core/node_context.h"
#include "devices/device_lifecycle.h"
#include "devices/device_registry.h"
#include "rflink/link_status.h"

namespace quillon::metrics {

// What one exposition is made of, taken at one moment.
struct Snapshot {
  const devices::DeviceTable* devices = nullptr;
  // When each device was last heard, by code (null when never).
  std::function<const devices::Sighting*(const std::string& code)> sighting;
  bool metric = false;  // readings are in °C, hPa, mm, km/h and kg (else °F, inHg, in, mph, lb)
  const core::Counters* counters = nullptr;
  rflink::LinkStatus receiver;
  double nowSeconds = 0;     // Unix time now
  std::int64_t nowMs = 0;    // the monotonic clock now
  double startSeconds = 0;   // Unix time of the node's start
  std::string version;
};

std::string metricsText(const Snapshot& snapshot);

// Seconds since 1970-01-01 UTC of a local date and time, in this machine's time zone.
double unixSeconds(const util::DateTime& local);

class NodeMetrics {
 public:
  using ReceiverFn = std::function<rflink::LinkStatus()>;
  NodeMetrics(core::NodeContext& ctx, const devices::DeviceRegistry& registry,
              const devices::DeviceLifecycle& lifecycle, ReceiverFn receiver);

  std::string text() const;

 private:
  core::NodeContext& ctx_;
  const devices::DeviceRegistry& registry_;
  const devices::DeviceLifecycle& lifecycle_;
  ReceiverFn receiver_;
  double startSeconds_;
};

}  // namespace quillon::metrics
