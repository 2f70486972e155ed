#include "devices/device_timers.h"

#include <cmath>
#include <cstdio>
#include <exception>

#include "core/settings.h"
#include "util/text.h"

namespace quillon::devices {

namespace {

constexpr const char* kHistorySection = "W800";
constexpr const char* kCountDefault = "0;0;0;1;0;1/1/2000;0;0";
constexpr const char* kRolloverDefault = "0;0;1/1/2000;0;1/1/2000;0;1/1/2000;0";

// Today's rain in inches from a count of 0.01 in tips: the value ("0.25") and as shown ("0.25 in").
std::string rainValue(long long tips) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(tips) * 0.01);
  return buf;
}
std::string rainText(long long tips) { return rainValue(tips) + " in"; }

// True when the history's last tip (field 5) is from today or, after the clock stepped back,
// from a later date: today's count must then be kept.
bool lastTipIsToday(const std::vector<std::string>& f, const util::DateTime& now) {
  if (f.size() < 6) return false;
  auto last = util::parseDateTime(f[5]);
  return last && last->dateOnly() >= now.dateOnly();
}

}  // namespace

bool isCountingDevice(const W800Device& device) { return util::istartsWith(device.deviceType(), "rain"); }

DeviceTimers::DeviceTimers(core::NodeContext& ctx, DeviceRegistry& registry)
    : ctx_(ctx), registry_(registry), newDayTimer_(ctx.platform.loop()) {
  newDayTimer_.setHandler([this] { newDayTick(); });
}

void DeviceTimers::start() {
  lastRollover_ = ctx_.now().addMs(-24LL * 3600 * 1000);
  newDayTimer_.start(platform::Millis(kNewDayIntervalMs));
  if (ctx_.log.debugLog()) ctx_.logDebug("Internal Timer Started");
}

void DeviceTimers::stop() {
  newDayTimer_.stop();
  for (auto& t : offTimers_)
    if (t) t->stop();
}

void DeviceTimers::newDayTick() {
  try {
    const util::DateTime now = ctx_.now();
    if (now.day == lastRollover_.day) return;
    lastRollover_ = now;
    for (const auto& [code, device] : registry_.devices()) {
      if (!device || !isCountingDevice(*device)) continue;
      std::string value = util::removeChar(
          ctx_.ini.getIniSetting(kHistorySection, historyKey(*device), kRolloverDefault, core::kSettingsFile), '"');
      std::vector<std::string> f = util::split(value, ";");
      if (f.size() <= 7 || f[4] == f[6]) continue;
      // A restart during the day must not wipe the rain already counted today.
      if (lastTipIsToday(f, now)) continue;
      f[6] = f[4];
      ctx_.ini.saveIniSetting(kHistorySection, historyKey(*device), util::join(f, ";"), core::kSettingsFile);
      registry_.report(*device, {.text = "0.00", .shown = "0.00 in", .stamp = true});
      if (device->inUse() && publishRollover_) publishRollover_(*device);
    }
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "NewDayTimer_Timer", e.what());
  }
}

void DeviceTimers::computeWaterCount(W800Device& device) {
  try {
    if (device.deviceStatus() != kDeviceStatusOn) return;
    const util::DateTime now = ctx_.now();
    std::vector<std::string> f = util::split(
        util::removeChar(ctx_.ini.getIniSetting(kHistorySection, historyKey(device), kCountDefault, core::kSettingsFile), '"'),
        ";");
    f.resize(8);
    double total = std::round(util::leadingNumber(f[4]));
    long long count = static_cast<long long>(std::fabs(std::isfinite(total) ? total : 0.0)) % 0x80000000LL + 1;
    if (!util::isNumeric(f[6])) f[6] = std::to_string(count);
    long long dayStart = static_cast<long long>(util::leadingNumber(f[6]));
    long long today = count >= dayStart ? count - dayStart : 0;
    const std::string day = std::to_string(now.day);
    if (f[3] != day && !lastTipIsToday(f, now)) {
      // The first tip of a new day is that day's first: the day starts just before it.
      f[3] = day;
      dayStart = count - 1;
      f[6] = std::to_string(dayStart);
      today = 1;
    }
    const std::vector<std::string> out{"", "0", "0", f[3], std::to_string(count), util::formatGeneral(now), f[6],
                                       util::formatNumber(util::leadingNumber(f[7]))};
    ctx_.ini.saveIniSetting(kHistorySection, historyKey(device), util::join(out, ";"), core::kSettingsFile);
    registry_.report(device, {.text = rainValue(today), .shown = rainText(today)});
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", " ComputeWaterCount: ", e.what());
  }
}

void DeviceTimers::startOffTimer(W800Device& device) {
  const int index = device.timerIndex();
  if (index < 1 || device.offTime() < 1) return;
  if (static_cast<std::size_t>(index) >= offTimers_.size()) offTimers_.resize(index + 1);
  auto& timer = offTimers_[index];
  if (!timer) {
    timer = std::make_unique<platform::Timer>(ctx_.platform.loop());
    timer->setHandler([this, index] { onOffTimer(index); });
  }
  timer->start(platform::Millis(static_cast<long>(device.offTime()) * 1000), false);
}

bool DeviceTimers::offTimerRunning(int index) const {
  return index >= 0 && static_cast<std::size_t>(index) < offTimers_.size() && offTimers_[index] &&
         offTimers_[index]->isActive();
}

void DeviceTimers::onOffTimer(int index) {
  if (static_cast<std::size_t>(index) < offTimers_.size() && offTimers_[index]) offTimers_[index]->stop();
  W800Device* device = registry_.offTimerDevice(index);
  if (device && reportOff_) reportOff_(*device);
}

}  // namespace quillon::devices
