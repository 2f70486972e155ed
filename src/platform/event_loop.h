#pragma once
// The single-threaded event loop everything runs on: timers and "run soon" posting.
#include <chrono>
#include <cstdint>
#include <functional>

namespace quillon::platform {

using Millis = std::chrono::milliseconds;
using TimerId = std::uint64_t;

class EventLoop {
 public:
  virtual ~EventLoop() = default;
  // Runs fn from the loop after the current handler returns, in posting order.
  virtual void post(std::function<void()> fn) = 0;
  // Starts a timer; a repeating one fires every interval until stopped. Returns a non-zero id.
  virtual TimerId startTimer(Millis interval, bool repeating, std::function<void()> fn) = 0;
  // Stops a timer; an unknown or already finished id is ignored.
  virtual void stopTimer(TimerId id) = 0;
  // Ends the loop's run (the application quits after the current handler).
  virtual void quit() = 0;
};

// A timer control like the ones on the original forms: an interval, enabled or not, a tick handler.
// Destroying it stops it, so a handler never outlives its owner.
class Timer {
 public:
  explicit Timer(EventLoop& loop) : loop_(&loop) {}
  ~Timer() { stop(); }
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  void setHandler(std::function<void()> fn) { handler_ = std::move(fn); }
  // Starts (or restarts) the timer with the given interval.
  void start(Millis interval, bool repeating = true) {
    stop();
    interval_ = interval;
    repeating_ = repeating;
    id_ = loop_->startTimer(interval, repeating, [this] {
      if (!repeating_) id_ = 0;
      if (handler_) handler_();
    });
  }
  void stop() {
    if (id_) loop_->stopTimer(id_);
    id_ = 0;
  }
  bool isActive() const { return id_ != 0; }
  Millis interval() const { return interval_; }

 private:
  EventLoop* loop_;
  std::function<void()> handler_;
  TimerId id_ = 0;
  Millis interval_{0};
  bool repeating_ = true;
};

}  // namespace quillon::platform
