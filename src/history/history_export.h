#pragma once
// GET /api/history?code=…&from=…&to=…&step=raw|hour|day[&format=csv][&limit=N]: a device's
// history as JSON, or as CSV when asked for (format=csv or an Accept of text/csv). Times are
// seconds since 1970 (UTC) or local ISO times ("2026-12-07T14:05"); `to` defaults to now and
// `from` to a day before `to`. Bad parameters get 400 with {"error":…,"parameter":…}.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "history/history_recorder.h"

namespace quillon::history {

struct ExportAnswer {
  int status = 200;
  std::string contentType;
  std::string body;
};

// A query parameter by name; empty when absent.
using ParamFn = std::function<std::string(std::string_view)>;

ExportAnswer historyExport(HistoryRecorder& history, const ParamFn& param, const std::string& accept, std::int64_t nowMs);

}  // namespace quillon::history
