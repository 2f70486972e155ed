#pragma once
// A TCP listener and the connections it accepts (the HTTP server's sockets).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quillon::platform {

class TcpConnection {
 public:
  enum class State { Closed, Connected, Closing, Error };

  virtual ~TcpConnection() = default;
  // Queues bytes for sending; false when the connection cannot take them.
  virtual bool write(const std::string& bytes) = 0;
  // Bytes written but not yet handed to the network.
  virtual std::int64_t pendingBytes() const = 0;
  // Everything received and not read yet.
  virtual std::string readAll() = 0;
  // Closes gracefully: what was written still goes out. No handler runs after this call.
  virtual void close() = 0;
  virtual State state() const = 0;
  bool isOpen() const { return state() == State::Connected; }
  // Dotted IPv4 addresses of the two ends.
  virtual std::string peerAddress() const = 0;
  virtual std::string localAddress() const = 0;

  // Data arrived; readAll() gives it.
  void onReadyRead(std::function<void()> fn) { readyReadHandler_ = std::move(fn); }
  // Everything written so far has been handed to the network (the send-complete event).
  void onWritten(std::function<void()> fn) { writtenHandler_ = std::move(fn); }
  // Some of what was written has been handed to the network; pendingBytes() tells how much still
  // waits. A writer that keeps a bounded amount waiting tops it up from here.
  void onBytesWritten(std::function<void()> fn) { bytesWrittenHandler_ = std::move(fn); }
  // The far end closed the connection.
  void onClosed(std::function<void()> fn) { closedHandler_ = std::move(fn); }
  // The connection failed (reset, time-out); state() is Error afterwards.
  void onError(std::function<void(const std::string&)> fn) { errorHandler_ = std::move(fn); }

 protected:
  std::function<void()> readyReadHandler_;
  std::function<void()> writtenHandler_;
  std::function<void()> bytesWrittenHandler_;
  std::function<void()> closedHandler_;
  std::function<void(const std::string&)> errorHandler_;
};

class TcpListener {
 public:
  virtual ~TcpListener() = default;
  // Listens on every local IPv4 address; false when the port is taken.
  virtual bool listen(std::uint16_t port) = 0;
  virtual void close() = 0;
  virtual bool isListening() const = 0;
  virtual std::uint16_t localPort() const = 0;
  virtual std::string errorString() const = 0;
  // Takes the oldest waiting connection; null when none waits.
  virtual std::unique_ptr<TcpConnection> accept() = 0;

  // A client is waiting to be accepted (one call per waiting connection).
  void onConnectionRequest(std::function<void()> fn) { connectionRequestHandler_ = std::move(fn); }

 protected:
  std::function<void()> connectionRequestHandler_;
};

}  // namespace quillon::platform
