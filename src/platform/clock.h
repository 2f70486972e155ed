#pragma once
// The node's clock: local wall-clock time (the node's Now) and a monotonic counter.
#include <cstdint>

#include "util/date_time.h"

namespace quillon::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual util::DateTime now() const = 0;
  // Milliseconds of a monotonic clock, for time-outs and intervals.
  virtual std::int64_t monotonicMs() const = 0;
};

}  // namespace quillon::platform
