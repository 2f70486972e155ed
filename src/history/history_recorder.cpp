#include "history/history_recorder.h"

#include "devices/device_json.h"
#include "history/local_time.h"
#include "util/text.h"

namespace quillon::history {
namespace {
constexpr std::int64_t kDayMs = 86400LL * 1000;
}

std::optional<Reading> readingOf(const devices::DeviceChange& change, bool metric, std::int64_t tMs) {
  using Kind = devices::DeviceChange::Kind;
  if (change.kind != Kind::Changed && change.kind != Kind::Repeated) return std::nullopt;
  const devices::DeviceState& s = change.after;
  Reading r;
  r.code = change.device.dc();
  r.tMs = tMs;
  r.type = s.type;
  r.unit = devices::valueUnit(s.type, metric);
  const std::string text = util::trim(s.text);
  if (!text.empty() && util::isNumeric(text)) r.value = util::leadingNumber(text);
  if (s.status == devices::kDeviceStatusOn || s.status == devices::kDeviceStatusOff) {
    r.state = s.status == devices::kDeviceStatusOn ? "ON" : "OFF";
    if (!r.value) r.value = s.status == devices::kDeviceStatusOn ? 1.0 : 0.0;
  } else if (!text.empty() && !r.value) {
    r.state = text;  // a remote's key, a forecast, a mode
  }
  if (!r.value && r.state.empty()) return std::nullopt;
  // A state heard again is no change; a sensor's value heard again is a reading.
  if (change.kind == Kind::Repeated && !r.state.empty() && change.before.status == s.status && change.before.text == s.text)
    return std::nullopt;
  return r;
}

HistoryRecorder::HistoryRecorder(core::NodeContext& ctx, devices::DeviceRegistry& registry)
    : ctx_(ctx),
      registry_(registry),
      flushTimer_(ctx.platform.loop()),
      maintainTimer_(ctx.platform.loop()),
      retryTimer_(ctx.platform.loop()) {
  flushTimer_.setHandler([this] { flush(); });
  maintainTimer_.setHandler([this] { maintain(); });
  retryTimer_.setHandler([this] {
    if (openStore()) retryTimer_.stop();
  });
}

HistoryRecorder::~HistoryRecorder() { stop(); }

std::filesystem::path HistoryRecorder::file() const { return std::filesystem::path(ctx_.paths.dataDir()) / "history.sqlite"; }

void HistoryRecorder::start() {
  if (!ctx_.settings.historyEnabled || running_) return;
  running_ = true;
  listener_ = registry_.subscribe([this](const devices::DeviceChange& change) { heard(change); });
  if (!openStore()) retryTimer_.start(platform::Millis(kRetryMs));
}

void HistoryRecorder::stop() {
  if (!running_) return;
  flush();
  registry_.unsubscribe(listener_);
  listener_ = 0;
  running_ = false;
  flushTimer_.stop();
  retryTimer_.stop();
  closeStore();
  pending_.clear();
}

void HistoryRecorder::applySettings(const core::SettingsChange& change) {
  if (!change.has("HistoryEnabled")) return;
  if (ctx_.settings.historyEnabled) start();
  else stop();
}

bool HistoryRecorder::openStore() {
  std::string error;
  if (!store_.open(file(), error)) {
    failed("cannot be opened", error);
    return false;
  }
  if (failing_) ctx_.logEvent("History database " + file().string() + " works again");
  failing_ = false;
  maintainTimer_.start(platform::Millis(kMaintainMs));
  if (!pending_.empty() && !flushTimer_.isActive()) flushTimer_.start(platform::Millis(kFlushMs), false);
  return true;
}

void HistoryRecorder::closeStore() {
  maintainTimer_.stop();
  store_.close();
}

void HistoryRecorder::failed(const std::string& what, const std::string& error) {
  if (!failing_)
    ctx_.logEvent("History database " + file().string() + " " + what + ": " + error +
                  "; the node goes on without history and tries again every minute");
  failing_ = true;
  closeStore();
  if (running_ && !retryTimer_.isActive()) retryTimer_.start(platform::Millis(kRetryMs));
}

void HistoryRecorder::heard(const devices::DeviceChange& change) {
  if (change.kind == devices::DeviceChange::Kind::Forgotten) lastMs_.erase(change.device.dc());
  const std::int64_t t = utcMsOfLocal(ctx_.now());
  std::optional<Reading> r = readingOf(change, ctx_.settings.metric, t);
  if (!r) return;
  std::int64_t& last = lastMs_[change.device.dc()];
  if (r->tMs <= last) r->tMs = last + 1;
  last = r->tMs;
  if (pending_.size() >= kMaxPending) {
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(kMaxPending / 10));
    dropped_ += kMaxPending / 10;
  }
  pending_.push_back(std::move(*r));
  if (store_.isOpen() && !flushTimer_.isActive()) flushTimer_.start(platform::Millis(kFlushMs), false);
}

void HistoryRecorder::flush() {
  flushTimer_.stop();
  if (pending_.empty() || !store_.isOpen()) return;
  std::string error;
  if (!store_.write(pending_, error)) {
    failed("cannot be written", error);  // kept pending for the next try
    return;
  }
  pending_.clear();
  if (dropped_ > 0) {
    ctx_.logEvent("History: " + std::to_string(dropped_) + " readings were dropped while the database was away");
    dropped_ = 0;
  }
}

void HistoryRecorder::maintain() {
  if (!store_.isOpen()) return;
  const std::int64_t now = utcMsOfLocal(ctx_.now());
  const std::int64_t rawBefore = now - ctx_.settings.historyRawDays * kDayMs;
  const std::int64_t hourlyBefore = now - ctx_.settings.historyYears * 366 * kDayMs;
  std::string error;
  if (store_.pruneStep(rawBefore, hourlyBefore, kPruneRowsPerStep, error) < 0) failed("cannot be cleaned up", error);
}

bool HistoryRecorder::query(const std::string& code, std::int64_t fromMs, std::int64_t toMs, Step step,
                            std::size_t limit, std::vector<Point>& out, std::string& error) {
  flush();
  if (!store_.isOpen()) {
    error = running_ ? "the history database is not available" : "history is turned off (HistoryEnabled)";
    return false;
  }
  return store_.query(code, fromMs, toMs, step, limit, out, error);
}

void HistoryRecorder::moveCode(const std::string& oldCode, const std::string& newCode) {
  flush();
  for (Reading& r : pending_)
    if (util::iequals(r.code, oldCode)) r.code = newCode;
  if (!store_.isOpen()) return;
  std::string error;
  if (store_.moveCode(oldCode, newCode, error))
    ctx_.logEvent("History of " + oldCode + " moved to " + newCode);
  else
    ctx_.logEvent("History of " + oldCode + " could not be moved to " + newCode + ": " + error);
}

}  // namespace quillon::history
