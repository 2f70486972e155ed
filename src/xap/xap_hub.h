#pragma once
// A small xAP hub: listens on the xAP port, learns the local clients from their heartbeats'
// "port=" and forwards every datagram it receives to each live client on 127.0.0.1.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/platform.h"

namespace quillon::xap {

// What the hub reads from a heartbeat; ok is false for anything that is not one.
struct HeartbeatInfo {
  bool ok = false;
  bool stopped = false;  // class xap-hbeat.stopped
  std::string source;
  int port = 0;
  int intervalSeconds = 0;
};
HeartbeatInfo parseHeartbeat(const std::string& datagram);

class XapHub {
 public:
  using LogFn = std::function<void(const std::string&)>;
  struct Client {
    std::uint16_t port = 0;
    std::string source;
    std::int64_t lastSeenMs = 0;
    std::int64_t intervalMs = 0;
  };

  static constexpr int kDefaultIntervalSeconds = 60;
  static constexpr std::size_t kMaxClients = 1024;

  XapHub(platform::Platform& platform, LogFn log);
  ~XapHub();
  XapHub(const XapHub&) = delete;
  XapHub& operator=(const XapHub&) = delete;

  // Binds the hub port on all addresses (0: any free port); false (logged) when another program
  // holds it.
  bool start(std::uint16_t port = 3639);
  void stop();
  bool running() const { return running_; }
  std::uint16_t port() const { return port_; }

  // A datagram as it arrived; public so tests can drive it without sockets.
  void onDatagram(const std::string& data, const std::string& senderAddress);
  // Drops clients not heard from within twice their interval.
  void expireClients();

  const std::map<std::uint16_t, Client>& clients() const { return clients_; }
  std::uint64_t forwarded() const { return forwarded_; }

 private:
  bool isLocal(const std::string& address) const;

  platform::Platform& platform_;
  LogFn log_;
  std::unique_ptr<platform::UdpSocket> socket_;
  platform::Timer expiryTimer_;
  std::map<std::uint16_t, Client> clients_;
  std::set<std::string> localAddresses_;
  std::uint16_t port_ = 0;
  bool running_ = false;
  std::uint64_t forwarded_ = 0;
};

}  // namespace quillon::xap
