#pragma once
// A serial port: opened by device path, bytes arrive in events with everything waiting.
// A device that goes away (USB adapter unplugged) is closed and reported through onError.
#include <cstddef>
#include <functional>
#include <string>

namespace quillon::platform {

struct SerialSettings {
  int baudRate = 4800;  // 8 data bits, no parity, 1 stop bit, no handshake
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  virtual bool open(const std::string& device, const SerialSettings& settings) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  virtual bool write(const std::string& bytes) = 0;
  // Bytes written but not yet sent out of the port.
  virtual std::size_t bytesToWrite() const { return 0; }
  virtual std::string errorString() const = 0;

  void onData(std::function<void(const std::string&)> fn) { dataHandler_ = std::move(fn); }
  void onError(std::function<void(const std::string&)> fn) { errorHandler_ = std::move(fn); }

 protected:
  std::function<void(const std::string&)> dataHandler_;
  std::function<void(const std::string&)> errorHandler_;
};

}  // namespace quillon::platform
