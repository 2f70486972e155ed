#include "history/history_export.h"

#include <charconv>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "history/local_time.h"
#include "util/date_time.h"
#include "util/text.h"

namespace quillon::history {
namespace {

constexpr const char* kJson = "application/json; charset=utf-8";

ExportAnswer badRequest(const std::string& parameter, const std::string& error) {
  nlohmann::ordered_json j;
  j["error"] = error;
  j["parameter"] = parameter;
  return {400, kJson, j.dump()};
}

// Seconds since 1970 (a whole number, UTC) or a local date and time.
std::optional<std::int64_t> parseTime(const std::string& text) {
  std::int64_t seconds = 0;
  const char* end = text.data() + text.size();
  if (auto [p, ec] = std::from_chars(text.data(), end, seconds); ec == std::errc() && p == end) {
    if (seconds < -(1LL << 40) || seconds > (1LL << 40)) return std::nullopt;
    return seconds * 1000;
  }
  if (const std::optional<util::DateTime> t = util::parseDateTime(text)) return utcMsOfLocal(*t);
  return std::nullopt;
}

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  return "\"" + util::replaceAll(text, "\"", "\"\"") + "\"";
}

}  // namespace

ExportAnswer historyExport(HistoryRecorder& history, const ParamFn& param, const std::string& accept, std::int64_t nowMs) {
  const std::string code = util::trim(param("code"));
  if (code.empty()) return badRequest("code", "a device code is required");
  if (code.size() > 64) return badRequest("code", "the device code is too long");

  std::int64_t toMs = nowMs + 1, fromMs = 0;  // up to now, included
  if (const std::string t = param("to"); !t.empty()) {
    const std::optional<std::int64_t> v = parseTime(t);
    if (!v) return badRequest("to", "not a time: seconds since 1970 or a date such as 2026-12-07T14:05");
    toMs = *v;
  }
  fromMs = toMs - 86400LL * 1000;
  if (const std::string f = param("from"); !f.empty()) {
    const std::optional<std::int64_t> v = parseTime(f);
    if (!v) return badRequest("from", "not a time: seconds since 1970 or a date such as 2026-12-07T14:05");
    fromMs = *v;
  }
  if (fromMs >= toMs) return badRequest("from", "from must be before to");

  Step step = Step::Raw;
  const std::string stepText = util::lower(param("step"));
  if (stepText == "hour") step = Step::Hour;
  else if (stepText == "day") step = Step::Day;
  else if (!stepText.empty() && stepText != "raw") return badRequest("step", "step is raw, hour or day");

  std::size_t limit = HistoryRecorder::kMaxRows;
  if (const std::string l = param("limit"); !l.empty()) {
    std::size_t n = 0;
    const char* end = l.data() + l.size();
    if (auto [p, ec] = std::from_chars(l.data(), end, n); ec != std::errc() || p != end || n == 0 ||
                                                          n > HistoryRecorder::kMaxRows)
      return badRequest("limit", "limit is a number from 1 to " + std::to_string(HistoryRecorder::kMaxRows));
    limit = n;
  }

  const std::string format = util::lower(param("format"));
  if (!format.empty() && format != "csv" && format != "json") return badRequest("format", "format is json or csv");
  const bool csv = format == "csv" || (format.empty() && util::lower(accept).find("text/csv") != std::string::npos);

  std::vector<Point> rows;
  std::string error;
  if (!history.query(code, fromMs, toMs, step, limit, rows, error)) {
    nlohmann::ordered_json j;
    j["error"] = error;
    return {503, kJson, j.dump()};
  }
  const bool more = rows.size() >= limit;

  if (csv) {
    std::string out = step == Step::Raw ? "time,t,value,state\r\n" : "time,t,mean,min,max,count\r\n";
    for (const Point& p : rows) {
      out += isoLocal(p.tMs) + "," + std::to_string(p.tMs) + "," + (p.value ? number(*p.value) : "");
      if (step == Step::Raw) out += "," + csvField(p.state);
      else out += "," + number(p.min) + "," + number(p.max) + "," + std::to_string(p.n);
      out += "\r\n";
    }
    return {200, "text/csv; charset=utf-8", out};
  }

  nlohmann::ordered_json j;
  j["code"] = util::upper(code);
  const std::optional<DeviceInfo> info = history.device(code);
  j["type"] = info ? nlohmann::ordered_json(info->type) : nlohmann::ordered_json(nullptr);
  j["unit"] = info ? nlohmann::ordered_json(info->unit) : nlohmann::ordered_json(nullptr);
  j["step"] = step == Step::Raw ? "raw" : step == Step::Hour ? "hour" : "day";
  j["from"] = fromMs / 1000;
  j["to"] = toMs / 1000;
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Point& p : rows) {
    nlohmann::ordered_json row;
    row["t"] = p.tMs;
    row["time"] = isoLocal(p.tMs);
    row["value"] = p.value ? nlohmann::ordered_json(*p.value) : nlohmann::ordered_json(nullptr);
    if (step == Step::Raw) {
      if (!p.state.empty()) row["state"] = p.state;
    } else {
      row["min"] = p.min;
      row["max"] = p.max;
      row["n"] = p.n;
    }
    list.push_back(std::move(row));
  }
  j["rows"] = std::move(list);
  j["more"] = more;
  if (more && !rows.empty()) j["next"] = rows.back().tMs / 1000 + 1;
  return {200, kJson, j.dump()};
}

}  // namespace quillon::history
