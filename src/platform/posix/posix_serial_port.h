#pragma once
// A serial port on a POSIX terminal device: raw 8N1 at the given speed, no handshake, read and
// written without blocking on the event loop's descriptor watcher. A hang-up, end of stream or a
// read or write error means the device is gone: the port closes itself and reports it once, so a
// vanished device never keeps the loop busy.
#include <functional>
#include <memory>
#include <string>

#include "platform/serial_port.h"
#include "platform/socket_watcher.h"

namespace quillon::platform {

class PosixSerialPort : public SerialPort {
 public:
  using WatcherFactory = std::function<std::unique_ptr<SocketWatcher>(int fd)>;
  static constexpr std::size_t kReadChunk = 4096;

  explicit PosixSerialPort(WatcherFactory watchers);
  ~PosixSerialPort() override;

  bool open(const std::string& device, const SerialSettings& settings) override;
  void close() override;
  bool isOpen() const override { return fd_ >= 0; }
  bool write(const std::string& bytes) override;
  std::size_t bytesToWrite() const override { return out_.size(); }
  std::string errorString() const override { return error_; }

 private:
  bool configure(int fd, int baudRate);
  void onReadable();
  void flush();
  void lose(const std::string& reason);

  WatcherFactory watchers_;
  int fd_ = -1;
  std::unique_ptr<SocketWatcher> watcher_;
  // The watcher of a lost descriptor: silenced, and destroyed at the next open or close rather
  // than inside its own notification.
  std::unique_ptr<SocketWatcher> retired_;
  std::string out_;
  std::string error_;
};

}  // namespace quillon::platform
