// quillon-decode: reads receive events as hex bytes (a replay file, or plain hex lines) from a file
// or standard input and prints each framed packet and the description line of each event.
// Usage: quillon-decode [--mode 32|48] [FILE]
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "core/node_context.h"
#include "decode/family_decoder.h"
#include "decode/receive_processor.h"
#include "decode/replay_file.h"

using namespace quillon;

namespace {

// Virtual time and timers, so the receive time-out follows the recorded times; no sockets at all.
class OfflinePlatform : public platform::Platform, public platform::Clock, public platform::EventLoop {
 public:
  platform::EventLoop& loop() override { return *this; }
  platform::Clock& clock() override { return *this; }
  std::unique_ptr<platform::SerialPort> createSerialPort() override { return nullptr; }
  std::unique_ptr<platform::TcpClient> createTcpClient() override { return nullptr; }
  std::unique_ptr<platform::UdpSocket> createUdpSocket() override { return nullptr; }
  std::unique_ptr<platform::TcpListener> createTcpListener() override { return nullptr; }
  std::string machineName() override { return "decode"; }
  std::vector<platform::NetworkInterface> networkInterfaces() override { return {}; }
  bool openWithDesktop(const std::string&) override { return false; }
  bool startDetached(const std::string&, const std::vector<std::string>&) override { return false; }

  util::DateTime now() const override {
    util::DateTime t{2026, 1, 1, 0, 0, 0, 0};
    std::int64_t s = nowMs_ / 1000;
    t.hour = static_cast<int>(s / 3600 % 24);
    t.minute = static_cast<int>(s / 60 % 60);
    t.second = static_cast<int>(s % 60);
    return t;
  }
  std::int64_t monotonicMs() const override { return nowMs_; }
  void post(std::function<void()> fn) override { startTimer(platform::Millis(0), false, std::move(fn)); }
  platform::TimerId startTimer(platform::Millis interval, bool repeating, std::function<void()> fn) override {
    platform::TimerId id = ++lastId_;
    timers_[id] = {nowMs_ + interval.count(), interval.count(), repeating, std::move(fn)};
    return id;
  }
  void stopTimer(platform::TimerId id) override { timers_.erase(id); }
  void quit() override {}

  // Moves time forward, running every timer that falls due on the way.
  void advanceTo(std::int64_t ms) {
    for (int guard = 0; guard < 100000; ++guard) {
      auto due = timers_.end();
      for (auto it = timers_.begin(); it != timers_.end(); ++it)
        if (it->second.due <= ms && (due == timers_.end() || it->second.due < due->second.due)) due = it;
      if (due == timers_.end()) break;
      nowMs_ = std::max(nowMs_, due->second.due);
      auto fn = due->second.fn;
      if (due->second.repeating) due->second.due += std::max<std::int64_t>(1, due->second.interval);
      else timers_.erase(due);
      fn();
    }
    nowMs_ = std::max(nowMs_, ms);
  }

 private:
  struct Entry {
    std::int64_t due, interval;
    bool repeating;
    std::function<void()> fn;
  };
  std::map<platform::TimerId, Entry> timers_;
  platform::TimerId lastId_ = 0;
  std::int64_t nowMs_ = 0;
};

int usage() {
  std::fprintf(stderr, "usage: quillon-decode [--mode 32|48] [FILE]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int mode = -1;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--mode" && i + 1 < argc) {
      std::string m = argv[++i];
      if (m == "48") mode = 1;
      else if (m == "32") mode = 0;
      else return usage();
    } else if (a == "-h" || a == "--help") {
      return usage();
    } else if (path.empty()) {
      path = a;
    } else {
      return usage();
    }
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::stringstream text;
  if (path.empty() || path == "-") {
    text << std::cin.rdbuf();
  } else {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "quillon-decode: cannot read %s\n", path.c_str());
      return 1;
    }
    text << in.rdbuf();
  }
  decode::ReplayFile file = decode::parseReplay(text.str());
  for (const auto& e : file.errors) std::fprintf(stderr, "quillon-decode: %s, skipped\n", e.c_str());
  if (mode < 0) mode = file.mode < 0 ? 0 : file.mode;

  OfflinePlatform platform;
  core::AppPaths paths;
  paths.appFolder = "/dev/null/quillon-decode";  // nothing is written: log entries go to stderr
  core::NodeContext ctx(platform, paths);
  ctx.log.setEchoToStderr(true);
  ctx.settings.mode = mode;

  decode::DecoderRegistry registry;
  decode::DecoderEnv env{ctx};
  decode::registerAllDecoders(registry, env);
  decode::ReceiveProcessor processor(ctx, registry);
  processor.setFrameSink([](const decode::Packet& p) {
    std::string line = "frame " + std::to_string(p.bits) + " bits";
    if (p.countByte >= 0) line += " (count " + decode::hexDump(std::string(1, static_cast<char>(p.countByte))) + ")";
    line += ": " + decode::hexDump(p.data);
    std::printf("%s\n", line.c_str());
  });
  processor.setEchoSink([](const std::string& line) { std::printf("%s\n", line.c_str()); });

  // A recording that starts with the receiver's one-byte answer to the mode command.
  if (!file.entries.empty() && file.entries.front().bytes.size() == 1) {
    unsigned char b = static_cast<unsigned char>(file.entries.front().bytes[0]);
    processor.setAwaitingModeAck(b == 0x29 || b == 0x2C);
  }
  double start = -1;
  for (const auto& e : file.entries) {
    if (e.seconds >= 0) {
      if (start < 0) start = e.seconds;
      platform.advanceTo(static_cast<std::int64_t>((e.seconds - start) * 1000.0));
    }
    processor.processCommData(e.bytes, 2);
  }
  std::fflush(stdout);
  return 0;
}
