#pragma once
// The software-defined radio receiver: JSON lines from rtl_433, either from a child process the
// node runs and restarts (Rtl433Command) or from a TCP port or a file or named pipe (Rtl433Source),
// decoded beside the serial receiver. Its state is shown as a link of its own.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/node_context.h"
#include "core/subsystem.h"
#include "platform/event_loop.h"
#include "rflink/link_status.h"
#include "sdr/command_line.h"
#include "sdr/line_splitter.h"
#include "sdr/rtl433_decoder.h"

namespace quillon::sdr {

class SdrReceiver : public core::Subsystem {
 public:
  // Waits before a restart or reopen, in seconds; the last one repeats.
  static constexpr int kBackoffSeconds[] = {1, 2, 5, 10, 30, 60};
  // A child that ran this long before it ended restarts after the first wait again.
  static constexpr int kHealthyRunSeconds = 60;
  // Lines of the child's standard error logged a minute; the rest are counted.
  static constexpr int kStderrLinesPerMinute = 10;
  // Bytes read from a file or pipe per poll, and the poll interval.
  static constexpr std::size_t kReadChunk = 64 * 1024;
  static constexpr int kPollMs = 100;
  static constexpr std::size_t kMaxPending = 1000;

  SdrReceiver(core::NodeContext& ctx, Rtl433Decoder::PacketSink sink, decode::DecodeEnv& env);
  ~SdrReceiver() override;

  const char* name() const override { return "SdrReceiver"; }
  void start() override;
  void stop() override;
  void applySettings(const core::SettingsChange& change) override;

  // Lines straight in (tests, the benchmark): as if the source had sent them.
  void feed(const std::string& bytes);

  bool configured() const { return kind_ != Kind::None; }
  rflink::LinkStatus status() const;
  std::uint64_t lines() const { return lines_; }
  std::uint64_t restarts() const { return restarts_; }
  const Rtl433Decoder& decoder() const { return decoder_; }

 private:
  enum class Kind { None, Command, Tcp, File };

  void launch();
  void onChildFinished(bool started, int exitCode, const std::string& error);
  void connectTcp();
  void openFile();
  void poll();
  void retryLater(const std::string& what);
  void setOpen(bool open);
  void onLine(std::string_view line);
  void drainPending();
  void onStderr(const std::string& bytes);

  core::NodeContext& ctx_;
  Rtl433Decoder decoder_;
  Kind kind_ = Kind::None;
  std::string command_, source_;
  std::string host_;
  std::uint16_t port_ = 0;
  std::unique_ptr<platform::ChildProcess> child_;
  std::unique_ptr<platform::TcpClient> tcp_;
  std::unique_ptr<platform::FileReader> file_;
  platform::Timer retry_;
  platform::Timer poll_;
  LineSplitter lines_in_{Rtl433Decoder::kMaxLine};
  LineSplitter stderr_in_{1024};
  std::deque<std::string> pending_;  // lines that came while the receive processor was busy
  bool drainPosted_ = false;
  bool open_ = false;
  bool finished_ = false;   // a plain file read to its end
  bool failureLogged_ = false;  // one line for a source that keeps failing
  std::size_t backoff_ = 0;
  std::int64_t startedAtMs_ = 0;
  util::DateTime since_;
  bool haveSince_ = false;
  std::uint64_t bytes_ = 0, lines_ = 0, restarts_ = 0;
  util::DateTime lastPacket_;
  bool haveLastPacket_ = false;
  std::int64_t stderrWindowMs_ = 0;
  int stderrInWindow_ = 0, stderrDropped_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quillon::sdr
