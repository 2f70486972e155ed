#pragma once
// A serial port: opened by device path, bytes arrive in events with everything waiting.
// A device that goes away (USB adapter unplugged, the far side of a pseudo-terminal closed) is
// closed by the port itself and reported once through onLost.
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
  // False when the device cannot be opened; errorString() then says why.
  virtual bool open(const std::string& device, const SerialSettings& settings) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  virtual bool write(const std::string& bytes) = 0;
  // Bytes written but not yet sent out of the port.
  virtual std::size_t bytesToWrite() const { return 0; }
  virtual std::string errorString() const = 0;

  void onData(std::function<void(const std::string&)> fn) { dataHandler_ = std::move(fn); }
  // The open port hung up, reached the end of its stream or failed a read or write: it is closed
  // when this runs. The handler must not reopen the port from inside the call.
  void onLost(std::function<void(const std::string& reason)> fn) { lostHandler_ = std::move(fn); }

 protected:
  std::function<void(const std::string&)> dataHandler_;
  std::function<void(const std::string&)> lostHandler_;
};

}  // namespace quillon::platform
