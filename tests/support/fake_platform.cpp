#include "support/fake_platform.h"

#include "platform/posix/posix_file_reader.h"

namespace quillon::test {

FakeSerialPort::~FakeSerialPort() { forget(owner_->serialPorts, this); }
bool FakeSerialPort::open(const std::string& d, const platform::SerialSettings& settings) {
  device = d;
  baudRate = settings.baudRate;
  ++openCalls;
  open_ = owner_->serialDevices.count(d) != 0;
  error_ = open_ ? "" : "No such file or directory";
  return open_;
}

FakeTcpClient::~FakeTcpClient() { forget(owner_->tcpClients, this); }

FakeUdpSocket::~FakeUdpSocket() {
  close();
  forget(owner_->udpSockets, this);
}
bool FakeUdpSocket::bind(std::uint16_t port, bool shareAddress) { return bindTo("0.0.0.0", port, shareAddress); }
bool FakeUdpSocket::bindTo(const std::string& address, std::uint16_t port, bool shareAddress) {
  if (port == 0) {  // an ephemeral port: the first one nobody holds
    port = 50000;
    while (owner_->boundUdpPorts.count(port) || owner_->busyUdpPorts.count(port)) ++port;
  }
  if (owner_->busyUdpPorts.count(port)) return false;
  if (owner_->busyUdpEndpoints.count(address + ":" + std::to_string(port))) return false;
  if (!shareAddress)
    for (const auto& [a, p] : owner_->boundUdpEndpoints)
      if (p == port && (a == address || a == "0.0.0.0" || address == "0.0.0.0")) return false;
  close();
  shared = shareAddress;
  port_ = port;
  boundAddress = address;
  owner_->boundUdpPorts.insert(port);
  owner_->boundUdpEndpoints.insert({address, port});
  return true;
}
void FakeUdpSocket::close() {
  if (port_) {
    auto it = owner_->boundUdpEndpoints.find({boundAddress, port_});
    if (it != owner_->boundUdpEndpoints.end()) owner_->boundUdpEndpoints.erase(it);
    bool stillBound = false;
    for (const auto& e : owner_->boundUdpEndpoints) stillBound = stillBound || e.second == port_;
    if (!stillBound) owner_->boundUdpPorts.erase(port_);
  }
  port_ = 0;
  boundAddress.clear();
}

FakeTcpConnection::FakeTcpConnection(FakePlatform* owner, std::string peerAddr, std::string localAddr)
    : peer(std::move(peerAddr)), local(std::move(localAddr)), owner_(owner) {
  owner_->tcpConnections.push_back(this);
}
FakeTcpConnection::~FakeTcpConnection() { forget(owner_->tcpConnections, this); }

FakeTcpListener::~FakeTcpListener() { forget(owner_->tcpListeners, this); }
bool FakeTcpListener::listen(std::uint16_t p) {
  ++listenCalls;
  if (owner_->busyTcpPorts.count(p)) return false;
  port = p;
  listening_ = true;
  return true;
}

std::unique_ptr<platform::SerialPort> FakePlatform::createSerialPort() {
  auto p = std::make_unique<FakeSerialPort>(this);
  serialPorts.push_back(p.get());
  return p;
}
FakeChildProcess::~FakeChildProcess() { forget(platform_->children, this); }

void FakeChildProcess::start(const std::string& prog, const std::vector<std::string>& a) {
  program = prog;
  args = a;
  ++starts;
  if (!platform_->programs.count(prog)) {
    running_ = false;
    if (finished_) finished_(false, -1, "execvp: No such file or directory");
    return;
  }
  running_ = true;
}

std::unique_ptr<platform::ChildProcess> FakePlatform::createChildProcess() {
  auto p = std::make_unique<FakeChildProcess>(this);
  children.push_back(p.get());
  return p;
}

std::unique_ptr<platform::FileReader> FakePlatform::createFileReader() {
  return std::make_unique<platform::PosixFileReader>();
}

std::unique_ptr<platform::TcpClient> FakePlatform::createTcpClient() {
  auto p = std::make_unique<FakeTcpClient>(this);
  tcpClients.push_back(p.get());
  return p;
}
std::unique_ptr<platform::UdpSocket> FakePlatform::createUdpSocket() {
  auto p = std::make_unique<FakeUdpSocket>(this);
  udpSockets.push_back(p.get());
  return p;
}
std::unique_ptr<platform::TcpListener> FakePlatform::createTcpListener() {
  auto p = std::make_unique<FakeTcpListener>(this);
  tcpListeners.push_back(p.get());
  return p;
}

std::string exchangeUntilClosed(FakePlatform& fake, const std::string& request) {
  FakeTcpConnection* conn = fake.tcpListeners.back()->connect();
  conn->deliver(request);
  for (int i = 0; i < 100 && conn->state() != platform::TcpConnection::State::Closed; ++i) {
    fake.time().advance(10);
    conn->completeSend();
  }
  return conn->written;
}

}  // namespace quillon::test
