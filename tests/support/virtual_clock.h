#pragma once
// A clock and event loop on virtual time: tests advance it by hand and timers fire in order.
#include <cstdint>
#include <functional>
#include <map>
#include <tuple>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"

namespace quillon::test {

class VirtualClock : public platform::Clock, public platform::EventLoop {
 public:
  explicit VirtualClock(util::DateTime start = util::DateTime{2026, 12, 6, 12, 0, 0, 0});

  util::DateTime now() const override { return util::DateTime::fromEpochMs(wallMs_); }
  std::int64_t monotonicMs() const override { return monoMs_; }

  void post(std::function<void()> fn) override;
  platform::TimerId startTimer(platform::Millis interval, bool repeating, std::function<void()> fn) override;
  void stopTimer(platform::TimerId id) override;
  void quit() override { quitRequested = true; }

  // Runs posted tasks (and those they post) until none is left.
  void runPending();
  // Moves time forward by ms, firing every timer that falls due on the way, in time order.
  void advance(std::int64_t ms);
  // Sets the wall clock (as a clock step would) without moving monotonic time or timers.
  void setWallClock(const util::DateTime& t) { wallMs_ = t.toEpochMs(); }
  std::size_t activeTimers() const { return timers_.size(); }

  bool quitRequested = false;

 private:
  struct TimerEntry {
    std::int64_t due;
    std::int64_t interval;
    bool repeating;
    std::function<void()> fn;
  };
  std::int64_t wallMs_;
  std::int64_t monoMs_ = 0;
  platform::TimerId nextId_ = 0;
  std::map<platform::TimerId, TimerEntry> timers_;
  std::vector<std::function<void()>> posted_;
};

}  // namespace quillon::test
