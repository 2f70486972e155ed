#pragma once
// Stands in for the receiver link: reads a replay file and delivers its byte lines as receive
// events at their recorded pace, scaled by a speed factor (0: one after the other, as fast as the
// event loop runs them).
#include <cstddef>
#include <functional>
#include <string>

#include "decode/replay_file.h"
#include "platform/event_loop.h"

namespace quillon::core {
struct NodeContext;
}

namespace quillon::rflink {

class ReplayFeed {
 public:
  using Deliver = std::function<void(const std::string& bytes, int eventCode)>;

  ReplayFeed(core::NodeContext& ctx, Deliver deliver);

  // Reads the file; bad lines are logged and skipped. False when the file cannot be read or holds no packets.
  bool load(const std::string& path);
  bool loadText(const std::string& text, const std::string& name = "replay");
  // Starts delivering from the first line; the first line comes on the next loop turn.
  void start(double speed = 1.0);
  void stop();

  // The receiver mode the file was recorded in: 0, 1 or -1 when it does not say.
  int recordedMode() const { return file_.mode; }
  std::size_t packetCount() const { return file_.entries.size(); }
  // The recording begins with the receiver's one-byte answer to a mode command (0x29 or 0x2C).
  bool startsWithModeAnswer() const {
    if (file_.entries.empty() || file_.entries.front().bytes.size() != 1) return false;
    const unsigned char b = static_cast<unsigned char>(file_.entries.front().bytes[0]);
    return b == 0x29 || b == 0x2C;
  }
  const std::string& name() const { return name_; }
  std::size_t delivered() const { return next_; }
  bool finished() const { return started_ && next_ >= file_.entries.size(); }
  bool running() const { return timer_.isActive(); }
  void onFinished(std::function<void()> fn) { finished_ = std::move(fn); }

 private:
  void deliverNext();
  void scheduleNext();

  core::NodeContext& ctx_;
  Deliver deliver_;
  decode::ReplayFile file_;
  std::string name_;
  platform::Timer timer_;
  double speed_ = 1.0;
  double lastSeconds_ = -1;  // time of the last delivered line that gave one
  std::size_t next_ = 0;
  bool started_ = false;
  std::function<void()> finished_;
};

}  // namespace quillon::rflink
