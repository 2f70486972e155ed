#pragma once
// A UDP socket bound to a local port; sends datagrams (broadcast allowed) and reports arrivals.
#include <cstdint>
#include <functional>
#include <string>

namespace quillon::platform {

struct Datagram {
  std::string data;
  std::string senderAddress;
  std::uint16_t senderPort = 0;
};

class UdpSocket {
 public:
  virtual ~UdpSocket() = default;
  // Binds to the port on all local IPv4 addresses; false when the port is taken.
  // shareAddress lets several programs on the machine receive broadcasts on the same port.
  virtual bool bind(std::uint16_t port, bool shareAddress) = 0;
  // Binds to the port on one local IPv4 address (dotted); "0.0.0.0" means all of them. Port 0 picks
  // a free port. False when the address cannot be bound.
  virtual bool bindTo(const std::string& address, std::uint16_t port, bool shareAddress) = 0;
  virtual void close() = 0;
  virtual std::uint16_t localPort() const = 0;
  virtual bool sendTo(const std::string& data, const std::string& address, std::uint16_t port) = 0;
  virtual std::string errorString() const = 0;

  void onDatagram(std::function<void(const Datagram&)> fn) { datagramHandler_ = std::move(fn); }

 protected:
  std::function<void(const Datagram&)> datagramHandler_;
};

}  // namespace quillon::platform
