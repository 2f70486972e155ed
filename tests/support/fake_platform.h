#pragma once
// Fakes of every platform interface. FakePlatform remembers what it created, so a test can reach
// the sockets the code under test made; a fake removes itself from that list when destroyed.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "support/virtual_clock.h"

namespace quillon::test {

class FakePlatform;

class FakeSerialPort : public platform::SerialPort {
 public:
  explicit FakeSerialPort(FakePlatform* owner) : owner_(owner) {}
  ~FakeSerialPort() override;
  bool open(const std::string& device, const platform::SerialSettings& settings) override;
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }
  bool write(const std::string& bytes) override {
    if (!open_) return false;
    written += bytes;
    return true;
  }
  std::string errorString() const override { return error_; }

  void deliver(const std::string& bytes) { if (dataHandler_) dataHandler_(bytes); }
  // The device goes away (USB adapter unplugged): closed, then the loss is reported.
  void unplug(const std::string& reason = "hang-up (end of stream)") {
    open_ = false;
    if (lostHandler_) lostHandler_(reason);
  }

  std::string device;
  int baudRate = 0;
  int openCalls = 0;
  std::string written;
  FakePlatform* owner_;

 private:
  bool open_ = false;
  std::string error_;
};

class FakeTcpClient : public platform::TcpClient {
 public:
  explicit FakeTcpClient(FakePlatform* owner) : owner_(owner) {}
  ~FakeTcpClient() override;
  void connectTo(const std::string& h, std::uint16_t p) override {
    host = h;
    port = p;
    ++connectCalls;
    state_ = State::Connecting;
  }
  void close() override { state_ = State::Closed; }
  State state() const override { return state_; }
  bool write(const std::string& bytes) override {
    if (state_ != State::Connected) return false;
    written += bytes;
    if (stalled) unsent += bytes.size();
    return true;
  }
  std::size_t bytesToWrite() const override { return unsent; }
  std::string errorString() const override { return "connection refused"; }
  void setKeepAlive(int idle, int interval, int probes) override { keepAlive = {idle, interval, probes}; }

  // The far end accepts, sends, closes or the connection fails.
  void acceptConnection() {
    state_ = State::Connected;
    if (connectedHandler_) connectedHandler_();
  }
  void deliver(const std::string& bytes) { if (dataHandler_) dataHandler_(bytes); }
  void farEndClose() {
    state_ = State::Closed;
    if (closedHandler_) closedHandler_();
  }
  void fail(const std::string& e = "connection refused") {
    state_ = State::Error;
    if (errorHandler_) errorHandler_(e);
  }

  std::string host;
  std::uint16_t port = 0;
  int connectCalls = 0;
  std::string written;
  std::vector<int> keepAlive;  // idle, interval, probes as the code asked
  bool stalled = false;     // the far end takes nothing: writes pile up in unsent
  std::size_t unsent = 0;
  FakePlatform* owner_;

 private:
  State state_ = State::Closed;
};

class FakeUdpSocket : public platform::UdpSocket {
 public:
  struct Sent {
    std::string data, address;
    std::uint16_t port;
  };
  explicit FakeUdpSocket(FakePlatform* owner) : owner_(owner) {}
  ~FakeUdpSocket() override;
  bool bind(std::uint16_t port, bool shareAddress) override;
  bool bindTo(const std::string& address, std::uint16_t port, bool shareAddress) override;
  void close() override;
  std::uint16_t localPort() const override { return port_; }
  bool sendTo(const std::string& data, const std::string& address, std::uint16_t port) override {
    sent.push_back({data, address, port});
    return true;
  }
  std::string errorString() const override { return "address in use"; }

  void deliver(const std::string& data, const std::string& from = "127.0.0.1", std::uint16_t fromPort = 3639) {
    if (datagramHandler_) datagramHandler_(platform::Datagram{data, from, fromPort});
  }

  std::vector<Sent> sent;
  bool shared = false;
  std::string boundAddress;  // "0.0.0.0" for bind(), the given address for bindTo()
  FakePlatform* owner_;

 private:
  std::uint16_t port_ = 0;
};

// An accepted connection: the test plays the client and the network.
class FakeTcpConnection : public platform::TcpConnection {
 public:
  FakeTcpConnection(FakePlatform* owner, std::string peerAddr, std::string localAddr);
  ~FakeTcpConnection() override;
  bool write(const std::string& bytes) override {
    if (state_ != State::Connected || failWrites) return false;
    written += bytes;
    writes.push_back(bytes);
    pending_ += static_cast<std::int64_t>(bytes.size());
    return true;
  }
  std::int64_t pendingBytes() const override { return pending_; }
  std::string readAll() override { return std::exchange(inbox_, std::string()); }
  void close() override {
    if (state_ != State::Closed) ++closeCalls;
    state_ = State::Closed;
    closedByServer = true;
  }
  State state() const override { return state_; }
  std::string peerAddress() const override { return peer; }
  std::string localAddress() const override { return local; }

  // The client's bytes arrive.
  void deliver(const std::string& bytes) {
    inbox_ += bytes;
    if (readyReadHandler_) readyReadHandler_();
  }
  // The network has taken everything written so far.
  void completeSend() {
    pending_ = 0;
    if (bytesWrittenHandler_) bytesWrittenHandler_();
    if (writtenHandler_) writtenHandler_();
  }
  // The network has taken some of what was written.
  void takeSome(std::int64_t bytes) {
    pending_ = std::max<std::int64_t>(0, pending_ - bytes);
    if (bytesWrittenHandler_) bytesWrittenHandler_();
  }
  void farEndClose() {
    state_ = State::Closed;
    if (closedHandler_) closedHandler_();
  }
  void fail(const std::string& e = "connection reset") {
    state_ = State::Error;
    if (errorHandler_) errorHandler_(e);
  }
  // The connection breaks without an event reaching the server.
  void breakSilently() { state_ = State::Error; }

  std::string written;              // everything the server wrote
  std::vector<std::string> writes;  // the same, one entry per write
  std::string peer, local;
  int closeCalls = 0;
  bool closedByServer = false;
  bool failWrites = false;
  FakePlatform* owner_;

 private:
  State state_ = State::Connected;
  std::string inbox_;
  std::int64_t pending_ = 0;
};

class FakeTcpListener : public platform::TcpListener {
 public:
  explicit FakeTcpListener(FakePlatform* owner) : owner_(owner) {}
  ~FakeTcpListener() override;
  bool listen(std::uint16_t p) override;
  void close() override { listening_ = false; }
  bool isListening() const override { return listening_; }
  std::uint16_t localPort() const override { return port; }
  std::string errorString() const override { return "address in use"; }
  std::unique_ptr<platform::TcpConnection> accept() override {
    if (waiting_.empty()) return nullptr;
    auto conn = std::move(waiting_.front());
    waiting_.erase(waiting_.begin());
    return conn;
  }

  // A client connects; returns the connection the code under test owns once it has accepted it
  // (a connection it leaves waiting stays alive here).
  FakeTcpConnection* connect(const std::string& peer = "127.0.0.1", const std::string& local = "127.0.0.1") {
    auto conn = std::make_unique<FakeTcpConnection>(owner_, peer, local);
    FakeTcpConnection* raw = conn.get();
    waiting_.push_back(std::move(conn));
    if (connectionRequestHandler_) connectionRequestHandler_();
    return raw;
  }

  std::uint16_t port = 0;
  int listenCalls = 0;
  FakePlatform* owner_;

 private:
  bool listening_ = false;
  std::vector<std::unique_ptr<FakeTcpConnection>> waiting_;
};

// A child program that runs only as far as the test says: output, error lines and its end.
class FakeChildProcess : public platform::ChildProcess {
 public:
  explicit FakeChildProcess(FakePlatform* p) : platform_(p) {}
  ~FakeChildProcess() override;
  void start(const std::string& program, const std::vector<std::string>& args) override;
  void stop() override {
    running_ = false;
    ++stops;
  }
  bool running() const override { return running_; }

  void emitStdout(const std::string& bytes) {
    if (stdout_) stdout_(bytes);
  }
  void emitStderr(const std::string& bytes) {
    if (stderr_) stderr_(bytes);
  }
  void exit(int code) {
    running_ = false;
    if (finished_) finished_(true, code, "");
  }

  std::string program;
  std::vector<std::string> args;
  int starts = 0, stops = 0;

 private:
  FakePlatform* platform_;
  bool running_ = false;
};

class FakePlatform : public platform::Platform {
 public:
  explicit FakePlatform(util::DateTime start = util::DateTime{2026, 12, 6, 12, 0, 0, 0}) : clock_(start) {}

  platform::EventLoop& loop() override { return clock_; }
  platform::Clock& clock() override { return clock_; }
  VirtualClock& time() { return clock_; }

  std::unique_ptr<platform::SerialPort> createSerialPort() override;
  std::unique_ptr<platform::TcpClient> createTcpClient() override;
  std::unique_ptr<platform::UdpSocket> createUdpSocket() override;
  std::unique_ptr<platform::TcpListener> createTcpListener() override;
  std::unique_ptr<platform::ChildProcess> createChildProcess() override;
  // Files are read for real (tests name their own temporary files).
  std::unique_ptr<platform::FileReader> createFileReader() override;
  std::string machineName() override { return machine; }
  std::vector<platform::NetworkInterface> networkInterfaces() override { return interfaces; }
  bool openWithDesktop(const std::string& target) override {
    opened.push_back(target);
    return true;
  }
  bool startDetached(const std::string& program, const std::vector<std::string>& args) override {
    started.push_back({program, args});
    return true;
  }

  std::string machine = "testhost";
  std::vector<platform::NetworkInterface> interfaces{{"lo", "127.0.0.1", "", true},
                                                     {"eth0", "192.168.1.20", "192.168.1.255", false}};
  std::vector<std::string> opened;
  std::vector<std::pair<std::string, std::vector<std::string>>> started;
  // Serial devices that open successfully; others fail to open.
  std::set<std::string> serialDevices{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"};
  // UDP and TCP ports that someone else already holds (exclusive binds fail on them).
  std::set<std::uint16_t> busyUdpPorts, busyTcpPorts;

  std::vector<FakeSerialPort*> serialPorts;
  std::vector<FakeTcpClient*> tcpClients;
  std::vector<FakeUdpSocket*> udpSockets;
  std::vector<FakeTcpListener*> tcpListeners;
  std::vector<FakeChildProcess*> children;
  // Programs that start; any other fails to start as a missing program would.
  std::set<std::string> programs{"rtl_433"};
  std::vector<FakeTcpConnection*> tcpConnections;  // accepted or waiting, oldest first
  std::set<std::uint16_t> boundUdpPorts;
  // Address and port of every bound UDP socket; "0.0.0.0" conflicts with every address on its port.
  std::multiset<std::pair<std::string, std::uint16_t>> boundUdpEndpoints;
  // "address:port" pairs that someone else holds (bindTo fails on them).
  std::set<std::string> busyUdpEndpoints;

  // The bound UDP socket on a port, or null.
  FakeUdpSocket* udpOn(std::uint16_t port) const {
    for (auto* s : udpSockets)
      if (s->localPort() == port) return s;
    return nullptr;
  }

 private:
  VirtualClock clock_;
};

template <typename T>
void forget(std::vector<T*>& list, T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

// Sends `request` to the newest listener as a new client and lets the virtual clock run (10 ms
// steps, at most one second) until the server closes the connection; returns all it wrote.
std::string exchangeUntilClosed(FakePlatform& fake, const std::string& request);

}  // namespace quillon::test
