#pragma once
// Qt classes behind the platform interfaces (internal to the Qt adapter).
#include <QObject>
#include <QPointer>
#include <map>

#include "platform/platform.h"

class QTimer;
class QSocketNotifier;
class QTcpSocket;
class QUdpSocket;
class QTcpServer;

namespace quillon::platform {

class QtEventLoop : public EventLoop {
 public:
  void post(std::function<void()> fn) override;
  TimerId startTimer(Millis interval, bool repeating, std::function<void()> fn) override;
  void stopTimer(TimerId id) override;
  void quit() override;

 private:
  QObject context_;
  TimerId nextId_ = 0;
  std::map<TimerId, QTimer*> timers_;
};

// Two socket notifiers on one descriptor; the write notifier is enabled only on request.
class QtSocketWatcher : public SocketWatcher {
 public:
  explicit QtSocketWatcher(int fd);
  ~QtSocketWatcher() override;
  void setWriteWatch(bool on) override;
  void setReadWatch(bool on) override;

 private:
  std::unique_ptr<QSocketNotifier> read_, write_;
};

class QtClock : public Clock {
 public:
  util::DateTime now() const override;
  std::int64_t monotonicMs() const override;
};

class QtTcpClient : public TcpClient {
 public:
  QtTcpClient();
  ~QtTcpClient() override;
  void connectTo(const std::string& host, std::uint16_t port) override;
  void close() override;
  State state() const override;
  bool write(const std::string& bytes) override;
  std::size_t bytesToWrite() const override;
  std::string errorString() const override;
  int errorCode() const override;
  void setKeepAlive(int idleSeconds, int intervalSeconds, int probes) override;

 private:
  void applyKeepAlive();

  std::unique_ptr<QTcpSocket> socket_;
  bool closing_ = false;
  int keepIdle_ = 0, keepInterval_ = 0, keepProbes_ = 0;
};

class QtUdpSocket : public UdpSocket {
 public:
  QtUdpSocket();
  ~QtUdpSocket() override;
  bool bind(std::uint16_t port, bool shareAddress) override;
  bool bindTo(const std::string& address, std::uint16_t port, bool shareAddress) override;
  void close() override;
  std::uint16_t localPort() const override;
  bool sendTo(const std::string& data, const std::string& address, std::uint16_t port) override;
  std::string errorString() const override;

 private:
  std::unique_ptr<QUdpSocket> socket_;
};

class QtTcpListener : public TcpListener {
 public:
  QtTcpListener();
  ~QtTcpListener() override;
  bool listen(std::uint16_t port) override;
  void close() override;
  bool isListening() const override;
  std::uint16_t localPort() const override;
  std::string errorString() const override;
  std::unique_ptr<TcpConnection> accept() override;

 private:
  std::unique_ptr<QTcpServer> server_;
};

}  // namespace quillon::platform
