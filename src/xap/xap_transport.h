#pragma once
// The node on the xAP network: two UDP sockets, heartbeats, the pending queue for messages sent
// before the transport is ready, and the receive queue that the main form drains.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/node_context.h"
#include "platform/event_loop.h"
#include "platform/udp_socket.h"

namespace quillon::xap {

inline constexpr std::uint16_t kXapPort = 3639;
inline constexpr std::uint16_t kFirstListenPort = 32768;
inline constexpr int kListenPortTries = 200;
// The largest payload a UDP datagram over IPv4 can carry.
inline constexpr std::size_t kMaxDatagram = 65507;
inline constexpr std::size_t kMaxPending = 1000;
inline constexpr std::size_t kMaxReceiveQueue = 10000;
// Init's result when the second socket cannot be bound (Winsock's "address in use").
inline constexpr int kBindError = -10048;

// The send body: items separated by U+0000, each name U+0001 value.
std::string makeSendBody(const std::vector<std::pair<std::string, std::string>>& items);

// True when both are dotted quads and every bit of the pattern is set in the address.
bool addressMatches(const std::string& address, const std::string& pattern);

class XapTransport {
 public:
  explicit XapTransport(core::NodeContext& ctx);
  ~XapTransport();
  XapTransport(const XapTransport&) = delete;
  XapTransport& operator=(const XapTransport&) = delete;

  // Properties. Source, target and UID rebuild the heartbeat text.
  void setXapSource(const std::string& v);
  void setXapTarget(const std::string& v);
  void setXapUid(const std::string& v);
  void setXapClass(const std::string& v) { class_ = v; }
  void setBroadcastAddress(const std::string& v) { broadcastAddress_ = v; }
  void setInterfaceAddress(const std::string& v) { interfaceAddress_ = v; }
  void setFilterHeartbeats(bool on) { filterHeartbeats_ = on; }
  const std::string& xapSource() const { return source_; }
  const std::string& xapTarget() const { return target_; }
  const std::string& xapUid() const { return uid_; }
  const std::string& xapClass() const { return class_; }
  const std::string& broadcastAddress() const { return broadcastAddress_; }
  const std::string& interfaceAddress() const { return interfaceAddress_; }
  bool filterHeartbeats() const { return filterHeartbeats_; }

  // Called 50 ms after datagrams were queued (the main form's onMessage).
  void registerNewMessageCallback(std::function<void()> fn) { callback_ = std::move(fn); }
  // Removes and returns the oldest queued datagram; empty when none.
  std::string getMessage();

  // The local IPv4 address to use: the first that matches InterfaceAddress, else the first.
  std::string getIp();
  // Binds the sockets; the listen port, or -1 / a negative error number.
  int init();
  // Re-arms the heartbeat timer and sends one heartbeat (interval clamped to 0, 5..60).
  void sendHeartbeat(int interval);
  // Builds and broadcasts one message now (the form's SendXap). Always returns empty text.
  std::string sendXapNow(const std::string& target, const std::string& cls, const std::string& section,
                         const std::string& data, const std::string& subAddress, const std::string& uid,
                         const std::string& targetSubAddress = "");
  // The node's send routine: holds messages back until the transport is ready, then sends the
  // held ones first, oldest first.
  void sendXap(const std::string& target, const std::string& cls, const std::string& section,
               const std::string& data, const std::string& subAddress = "", const std::string& uid = "",
               const std::string& targetSubAddress = "");
  // The start-up and BSC form: no target, items as name/value pairs.
  void sendXapItems(const std::string& cls, const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& items);
  // The network copy of a log entry (connect to Logger::setXapSender).
  void sendLogEvent(const std::string& time, const std::string& type, const std::string& data);
  void sendRawXap(const std::string& text);
  // Unload: drops the receive queue and closes both sockets.
  void close();

  // A datagram as it arrived on either socket.
  void processReceived(const std::string& datagram);

  int listenPort() const { return listenPort_; }
  const std::string& sendHost() const { return sendHost_; }
  const std::string& localAddress() const { return localAddress_; }
  std::size_t pendingCount() const { return pending_.size(); }
  std::size_t receiveQueueSize() const { return receiveQueue_.size(); }
  const platform::Timer& heartbeatTimer() const { return hbeatTimer_; }
  std::string heartbeatText(int interval) const { return hbeatText_ + std::to_string(interval) + hbeatTail_; }

 private:
  struct QueuedMessage {
    std::string target, uid, cls, section, data, subAddress, targetSubAddress;
  };
  void rebuildHeartbeat();
  void onHeartbeatTick();
  bool send(const std::string& text, const char* label);
  std::string effectiveUid(const std::string& uid) const;

  core::NodeContext& ctx_;
  std::unique_ptr<platform::UdpSocket> winsock1_;  // receives on 127.0.0.1
  std::unique_ptr<platform::UdpSocket> winsock2_;  // sends, and receives on the local address
  platform::Timer hbeatTimer_;
  platform::Timer receiveTimer_;

  std::string source_, target_, uid_ = "FF.0052:00", class_;
  std::string broadcastAddress_ = "Default", interfaceAddress_ = "Default";
  std::string sendHost_, localAddress_;
  int listenPort_ = 0;
  std::string hbeatText_, hbeatTail_;
  int tickCount_ = 0;
  bool filterHeartbeats_ = true;
  std::function<void()> callback_;
  std::deque<std::string> receiveQueue_;
  std::deque<QueuedMessage> pending_;
  bool pendingOverflow_ = false;
  bool receiveOverflow_ = false;
};

}  // namespace quillon::xap
