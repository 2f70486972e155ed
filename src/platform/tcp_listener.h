#pragma once
// A TCP listener and the connections it accepts (the HTTP server's sockets).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quillon::platform {

class TcpConnection {
 public:
  virtual ~TcpConnection() = default;
  virtual bool write(const std::string& bytes) = 0;
  // Bytes written but not yet handed to the network.
  virtual std::int64_t pendingBytes() const = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  virtual std::string peerAddress() const = 0;

  void onData(std::function<void(const std::string&)> fn) { dataHandler_ = std::move(fn); }
  // Everything written so far has been sent.
  void onSendComplete(std::function<void()> fn) { sendCompleteHandler_ = std::move(fn); }
  void onClosed(std::function<void()> fn) { closedHandler_ = std::move(fn); }

 protected:
  std::function<void(const std::string&)> dataHandler_;
  std::function<void()> sendCompleteHandler_;
  std::function<void()> closedHandler_;
};

class TcpListener {
 public:
  virtual ~TcpListener() = default;
  virtual bool listen(std::uint16_t port) = 0;
  virtual void close() = 0;
  virtual bool isListening() const = 0;
  virtual std::string errorString() const = 0;

  void onConnection(std::function<void(std::unique_ptr<TcpConnection>)> fn) { connectionHandler_ = std::move(fn); }

 protected:
  std::function<void(std::unique_ptr<TcpConnection>)> connectionHandler_;
};

}  // namespace quillon::platform
