#include "support/virtual_clock.h"

#include <stdexcept>

namespace quillon::test {

VirtualClock::VirtualClock(util::DateTime start) : wallMs_(start.toEpochMs()) {}

void VirtualClock::post(std::function<void()> fn) { posted_.push_back(std::move(fn)); }

platform::TimerId VirtualClock::startTimer(platform::Millis interval, bool repeating, std::function<void()> fn) {
  platform::TimerId id = ++nextId_;
  std::int64_t ms = interval.count() < 1 ? 1 : interval.count();
  timers_[id] = TimerEntry{monoMs_ + ms, ms, repeating, std::move(fn)};
  return id;
}

void VirtualClock::stopTimer(platform::TimerId id) { timers_.erase(id); }

void VirtualClock::runPending() {
  for (int rounds = 0; !posted_.empty(); ++rounds) {
    if (rounds > 100000) throw std::runtime_error("posted tasks keep posting");
    auto batch = std::move(posted_);
    posted_.clear();
    for (auto& fn : batch) fn();
  }
}

void VirtualClock::advance(std::int64_t ms) {
  const std::int64_t target = monoMs_ + ms;
  runPending();
  for (int fired = 0;; ++fired) {
    if (fired > 10000000) throw std::runtime_error("timer storm");
    // The earliest due timer; ties go to the one started first.
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it)
      if (next == timers_.end() || it->second.due < next->second.due) next = it;
    if (next == timers_.end() || next->second.due > target) break;
    wallMs_ += next->second.due - monoMs_;
    monoMs_ = next->second.due;
    platform::TimerId id = next->first;
    std::function<void()> fn = next->second.fn;
    if (next->second.repeating)
      next->second.due += next->second.interval;
    else
      timers_.erase(next);
    (void)id;
    fn();
    runPending();
  }
  wallMs_ += target - monoMs_;
  monoMs_ = target;
}

}  // namespace quillon::test
