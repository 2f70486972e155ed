#pragma once
// An outgoing TCP connection (to a serial-to-network adapter).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace quillon::platform {

class TcpClient {
 public:
  enum class State { Closed, Connecting, Connected, Closing, Error };

  virtual ~TcpClient() = default;
  virtual void connectTo(const std::string& host, std::uint16_t port) = 0;
  virtual void close() = 0;
  virtual State state() const = 0;
  virtual bool write(const std::string& bytes) = 0;
  // Bytes written but not yet handed to the network.
  virtual std::size_t bytesToWrite() const { return 0; }
  virtual std::string errorString() const = 0;
  // The platform's number for the last error (0 when none is known).
  virtual int errorCode() const { return 0; }
  // TCP keep-alive on every connection made from now on: after idleSeconds without traffic a
  // probe every intervalSeconds; after `probes` unanswered ones the connection fails with an
  // error. A peer that vanished without closing (power cut, cable pulled) is noticed this way.
  virtual void setKeepAlive(int idleSeconds, int intervalSeconds, int probes) {
    (void)idleSeconds, (void)intervalSeconds, (void)probes;
  }

  void onConnected(std::function<void()> fn) { connectedHandler_ = std::move(fn); }
  void onData(std::function<void(const std::string&)> fn) { dataHandler_ = std::move(fn); }
  // The far end closed the connection.
  void onClosed(std::function<void()> fn) { closedHandler_ = std::move(fn); }
  void onError(std::function<void(const std::string&)> fn) { errorHandler_ = std::move(fn); }

 protected:
  std::function<void()> connectedHandler_;
  std::function<void(const std::string&)> dataHandler_;
  std::function<void()> closedHandler_;
  std::function<void(const std::string&)> errorHandler_;
};

}  // namespace quillon::platform
