#include "support/fake_platform.h"

namespace quillon::test {

FakeSerialPort::~FakeSerialPort() { forget(owner_->serialPorts, this); }
bool FakeSerialPort::open(const std::string& d, const platform::SerialSettings& settings) {
  device = d;
  baudRate = settings.baudRate;
  open_ = owner_->serialDevices.count(d) != 0;
  error_ = open_ ? "" : "No such file or directory";
  return open_;
}

FakeTcpClient::~FakeTcpClient() { forget(owner_->tcpClients, this); }

FakeUdpSocket::~FakeUdpSocket() {
  close();
  forget(owner_->udpSockets, this);
}
bool FakeUdpSocket::bind(std::uint16_t port, bool shareAddress) {
  if (owner_->busyUdpPorts.count(port)) return false;
  if (!shareAddress && owner_->boundUdpPorts.count(port)) return false;
  shared = shareAddress;
  port_ = port;
  owner_->boundUdpPorts.insert(port);
  return true;
}
void FakeUdpSocket::close() {
  if (port_) owner_->boundUdpPorts.erase(port_);
  port_ = 0;
}

FakeTcpListener::~FakeTcpListener() { forget(owner_->tcpListeners, this); }
bool FakeTcpListener::listen(std::uint16_t p) {
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

}  // namespace quillon::test
