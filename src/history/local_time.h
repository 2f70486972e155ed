#pragma once
// The node's clock and settings speak local time; the history keeps UTC milliseconds, so that an
// hour is always an hour, also across a daylight-saving change. Conversions use the system's zone.
#include <cstdint>
#include <string>

#include "util/date_time.h"

namespace quillon::history {

// UTC milliseconds of a local time (the earlier of the two when a change back makes it ambiguous).
std::int64_t utcMsOfLocal(const util::DateTime& local);
// The local time of UTC milliseconds.
util::DateTime localOfUtcMs(std::int64_t utcMs);
// "2026-12-07T14:05:09+01:00": the local time of UTC milliseconds, with its offset.
std::string isoLocal(std::int64_t utcMs);
// UTC milliseconds of the local midnight that starts the day holding utcMs.
std::int64_t localDayStartMs(std::int64_t utcMs);

}  // namespace quillon::history
