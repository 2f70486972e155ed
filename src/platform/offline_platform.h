#pragma once
// A platform without the operating system: virtual time that the caller moves forward, UDP sockets
// that keep what they would send, and no serial port or TCP connection. Tools and benchmarks run
// the node's code on it without opening any socket.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quillon::platform {

// Collects what the node would send instead of sending it.
class RecordingUdpSocket : public UdpSocket {
 public:
  explicit RecordingUdpSocket(std::vector<std::string>& out) : out_(out) {}
  bool bind(std::uint16_t port, bool) override { return bindTo("0.0.0.0", port, false); }
  bool bindTo(const std::string&, std::uint16_t port, bool) override {
    port_ = port ? port : 32768;
    return true;
  }
  void close() override {}
  std::uint16_t localPort() const override { return port_; }
  bool sendTo(const std::string& data, const std::string&, std::uint16_t) override {
    out_.push_back(data);
    return true;
  }
  std::string errorString() const override { return {}; }

 private:
  std::vector<std::string>& out_;
  std::uint16_t port_ = 0;
};

// Virtual time and timers (the caller moves the time), and no real sockets at all.
class OfflinePlatform : public Platform, public Clock, public EventLoop {
 public:
  EventLoop& loop() override { return *this; }
  Clock& clock() override { return *this; }
  std::unique_ptr<SerialPort> createSerialPort() override { return nullptr; }
  std::unique_ptr<TcpClient> createTcpClient() override { return nullptr; }
  std::unique_ptr<UdpSocket> createUdpSocket() override { return std::make_unique<RecordingUdpSocket>(sent); }
  std::unique_ptr<TcpListener> createTcpListener() override { return nullptr; }
  std::string machineName() override { return name; }
  std::vector<NetworkInterface> networkInterfaces() override { return {}; }
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
  void post(std::function<void()> fn) override { startTimer(Millis(0), false, std::move(fn)); }
  TimerId startTimer(Millis interval, bool repeating, std::function<void()> fn) override {
    TimerId id = ++lastId_;
    timers_[id] = {nowMs_ + interval.count(), interval.count(), repeating, std::move(fn)};
    return id;
  }
  void stopTimer(TimerId id) override { timers_.erase(id); }
  void quit() override {}

  std::vector<std::string> sent;  // UDP datagrams, oldest first
  std::string name = "offline";   // the machine name

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
  std::map<TimerId, Entry> timers_;
  TimerId lastId_ = 0;
  std::int64_t nowMs_ = 0;
};

}  // namespace quillon::platform
