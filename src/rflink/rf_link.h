#pragma once
// The receiver and transmitter links: each a serial port (4800 8N1, no handshake) or a TCP
// connection to a serial-to-network adapter, with paced connection tries, reconnection after the
// far end closes, and a slower retry once the tries are used up or a serial device vanishes.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/serial_port.h"
#include "platform/tcp_client.h"

namespace quillon::core {
struct NodeContext;
}

namespace quillon::rflink {

// "3" -> "/dev/ttyS2" (COM3); a text containing "/" is a device path; "" when neither.
std::string serialDevicePath(const std::string& portText);
// The Winsock-style state number of a TCP client: 0 closed, 6 connecting, 7 connected, 8 closing, 9 error.
int winsockState(platform::TcpClient::State s);

class LinkEndpoint {
 public:
  enum class Role { Receiver, Transmitter };
  static constexpr int kConnectIntervalMs = 2000;
  static constexpr int kMaxTries = 6;
  static constexpr int kSlowRetryMs = 30000;
  // A write is dropped when the bytes still waiting to go out would pass this (about 8 s of
  // data at 4800 baud).
  static constexpr std::size_t kMaxWriteBacklog = 4096;

  LinkEndpoint(core::NodeContext& ctx, Role role);
  ~LinkEndpoint();

  // Opens the link once; done(result) runs when the outcome is known (at once for serial, after the
  // connection or the last try for TCP). With retryOnFailure a failed open goes on retrying every 30 s.
  void open(const std::string& portText, std::function<void(bool)> done = {}, bool retryOnFailure = true);
  void close();
  bool isOpen() const;
  bool isTcp() const { return isTcp_; }
  bool opening() const { return opening_; }
  bool retrying() const { return slowRetry_.isActive(); }
  int tries() const { return tries_; }
  bool write(const std::string& bytes);
  std::uint64_t droppedWrites() const { return droppedWrites_; }

  // Receiver data, with the event code (2: bytes received). The transmitter's data is dropped.
  void onData(std::function<void(const std::string&, int)> fn) { data_ = std::move(fn); }
  // The echo window's status line (receiver only).
  void onStatus(std::function<void(const std::string&)> fn) { status_ = std::move(fn); }
  // Runs when the slow retry or a reconnection after a lost connection opened the link again.
  void onReopened(std::function<void()> fn) { reopened_ = std::move(fn); }

 private:
  bool receiver() const { return role_ == Role::Receiver; }
  const std::string& ipSetting() const;
  void ensureSerial();
  void ensureTcp();
  bool openSerial();
  void startTcpAttempt();
  void onConnectTick();
  void onConnected();
  void endWait(bool connected);
  void finish(bool result);
  void startSlowRetry();
  void onSlowRetryTick();
  void onTcpError(const std::string& message);
  void onTcpClosed();
  void onSerialError(const std::string& message);
  void reopenLater(int delayMs);
  void log(const std::string& text);

  core::NodeContext& ctx_;
  Role role_;
  std::unique_ptr<platform::SerialPort> serial_;
  std::unique_ptr<platform::TcpClient> tcp_;
  platform::Timer connectTimer_;
  platform::Timer slowRetry_;
  platform::Timer reopenTimer_;
  std::string portText_;
  std::string host_;
  std::string device_;
  std::uint16_t port_ = 0;
  int tries_ = 0;
  bool isTcp_ = false;
  bool opening_ = false;
  bool retryOnFailure_ = true;
  bool configError_ = false;     // the last open failed on the setting itself (no such port)
  bool reconnecting_ = false;    // the open under way replaces a lost connection
  bool serialWasOpen_ = false;
  std::int64_t connectedAtMs_ = -1;
  std::uint64_t droppedWrites_ = 0;
  std::vector<std::function<void(bool)>> waiting_;
  std::function<void(const std::string&, int)> data_;
  std::function<void(const std::string&)> status_;
  std::function<void()> reopened_;
};

// Both links with the start-up opens and the write rules.
class RfLinks {
 public:
  explicit RfLinks(core::NodeContext& ctx);

  LinkEndpoint& receiver() { return receiver_; }
  LinkEndpoint& transmitter() { return transmitter_; }

  // Start-up open of the receiver (setting SerialPort) with two attempts; true when the receiver
  // is open on return. A TCP attempt finishes later; a success then runs the startup-open hook.
  bool initCommPort();
  // Opens whatever is configured and was not opened at start-up (the receiver's third attempt
  // waits for a TCP start-up attempt still in progress).
  void initW800();
  // The setup page changed the ports: close both links and open them with the new settings.
  void reopenAll();
  // One link's port or address changed: close it and open it with the new settings (an empty
  // port leaves it closed). done(open) runs once the receiver's outcome is known.
  void reopenReceiver(std::function<void(bool)> done = {});
  void reopenTransmitter();
  void closeLinks();

  bool receiverOpen() const { return receiver_.isOpen(); }
  bool receiverOpenedAtStartup() const { return receiverOpen_; }
  bool transmitterOpenedAtStartup() const { return transmitterOpen_; }
  bool sendToReceiver(const std::string& bytes);
  // Writes to the transmitter when the id is "*" or numerically 1; otherwise sends nothing.
  bool sendToTransmitter(const std::string& id, const std::string& bytes);

  // The receiver opened at start-up after the start-up calls had returned (a TCP receiver): the
  // node sends the mode command from here.
  void onReceiverStartupOpen(std::function<void()> fn) { startupOpen_ = std::move(fn); }

 private:
  void initAttempt(int attempt);
  void w800Attempt();
  void receiverStartupOpened();

  core::NodeContext& ctx_;
  LinkEndpoint receiver_;
  LinkEndpoint transmitter_;
  bool receiverOpen_ = false;
  bool transmitterOpen_ = false;
  bool initInProgress_ = false;
  bool w800Pending_ = false;
  int startupCallDepth_ = 0;
  std::function<void()> startupOpen_;
};

}  // namespace quillon::rflink
