#include "rflink/replay_feed.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "core/node_context.h"

namespace quillon::rflink {
namespace {
constexpr double kMaxDelayMs = 24.0 * 3600 * 1000;  // a gap in the recording longer than a day is shortened
}

ReplayFeed::ReplayFeed(core::NodeContext& ctx, Deliver deliver)
    : ctx_(ctx), deliver_(std::move(deliver)), timer_(ctx.platform.loop()) {
  timer_.setHandler([this] { deliverNext(); });
}

bool ReplayFeed::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ctx_.logEvent("Replay file " + path + " cannot be read");
    return false;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  return loadText(ss.str(), path);
}

bool ReplayFeed::loadText(const std::string& text, const std::string& name) {
  stop();
  name_ = name;
  file_ = decode::parseReplay(text);
  next_ = 0;
  started_ = false;
  for (const auto& e : file_.errors) ctx_.logEvent("Replay " + name_ + " " + e + ", line skipped");
  if (file_.entries.empty()) {
    ctx_.logEvent("Replay " + name_ + " holds no packets");
    return false;
  }
  ctx_.logEvent("Replay " + name_ + ": " + std::to_string(file_.entries.size()) + " packets");
  return true;
}

void ReplayFeed::start(double speed) {
  if (!(speed >= 0) || !std::isfinite(speed)) {
    ctx_.logEvent("Replay speed " + std::to_string(speed) + " is not valid, using 1");
    speed = 1;
  }
  speed_ = speed;
  next_ = 0;
  lastSeconds_ = -1;
  started_ = true;
  timer_.stop();
  if (file_.entries.empty()) {
    if (finished_) finished_();
    return;
  }
  timer_.start(platform::Millis(0), false);
}

void ReplayFeed::stop() { timer_.stop(); }

void ReplayFeed::deliverNext() {
  if (next_ >= file_.entries.size()) return;
  const std::string bytes = file_.entries[next_].bytes;
  if (file_.entries[next_].seconds >= 0) lastSeconds_ = file_.entries[next_].seconds;
  ++next_;
  scheduleNext();  // before delivering, so a handler that stops the feed has the last word
  if (deliver_) deliver_(bytes, 2);
  if (next_ >= file_.entries.size() && !timer_.isActive() && finished_) finished_();
}

void ReplayFeed::scheduleNext() {
  if (next_ >= file_.entries.size()) return;
  double delay = 0;
  const auto& cur = file_.entries[next_];
  // The gap is measured from the last line that gave a time: untimed lines come with that one
  // and do not swallow the pause that follows them.
  if (speed_ > 0 && cur.seconds >= 0 && lastSeconds_ >= 0) delay = (cur.seconds - lastSeconds_) * 1000.0 / speed_;
  delay = std::clamp(delay, 0.0, kMaxDelayMs);
  timer_.start(platform::Millis(static_cast<long long>(std::llround(delay))), false);
}

}  // namespace quillon::rflink
