#pragma once
// The receiver and transmitter links: each a serial port (4800 8N1, no handshake) or a TCP
// connection to a serial-to-network adapter, under a supervisor that keeps it open. A serial
// device that goes away is closed, its loss logged once and the device reopened when it is back
// (tried after 1 s, 2 s, then every 5 s); a TCP adapter gets paced connection tries, reconnection
// after the far end closes or vanishes (TCP keep-alive), and a slower retry once its tries are
// used up. Every open, first or again, is announced, so the receiver gets its mode command each
// time.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/serial_port.h"
#include "platform/tcp_client.h"
#include "rflink/link_status.h"

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
  // A serial device that is missing or lost is tried again after these, then every last one.
  static constexpr int kSerialRetryMs[] = {1000, 2000, 5000};
  // TCP keep-alive of an adapter connection: idle 60 s, then 3 probes 10 s apart.
  static constexpr int kKeepAliveIdleS = 60, kKeepAliveIntervalS = 10, kKeepAliveProbes = 3;
  // The silence watch looks this often.
  static constexpr int kSilenceCheckMs = 15000;
  // A write is dropped when the bytes still waiting to go out would pass this (about 8 s of
  // data at 4800 baud).
  static constexpr std::size_t kMaxWriteBacklog = 4096;

  LinkEndpoint(core::NodeContext& ctx, Role role);
  ~LinkEndpoint();

  // Opens the link once; done(result) runs when the outcome is known (at once for serial, after the
  // connection or the last try for TCP). With retryOnFailure a failed open goes on retrying.
  void open(const std::string& portText, std::function<void(bool)> done = {}, bool retryOnFailure = true);
  void close();
  bool isOpen() const;
  bool isTcp() const { return isTcp_; }
  bool opening() const { return opening_; }
  bool retrying() const { return retryTimer_.isActive() || reopenTimer_.isActive(); }
  int tries() const { return tries_; }
  bool write(const std::string& bytes);
  std::uint64_t droppedWrites() const { return droppedWrites_; }

  // Receiver data, with the event code (2: bytes received). The transmitter's data is dropped.
  void onData(std::function<void(const std::string&, int)> fn) { data_ = std::move(fn); }
  // The echo window's status line (receiver only).
  void onStatus(std::function<void(const std::string&)> fn) { status_ = std::move(fn); }
  // Runs from the loop, after the open has returned, each time the link has become open: at
  // start-up, after a loss, and after a reopen with new settings.
  void onOpened(std::function<void()> fn) { opened_ = std::move(fn); }
  // Each loss and each reopen of the link as one line (the IO window shows them).
  void onNotice(std::function<void(const std::string&)> fn) { notice_ = std::move(fn); }
  // A new number each time the link becomes open.
  std::uint64_t openCount() const { return openCount_; }

  // Warns once when an open link brings no byte for this many minutes (0: off).
  void setSilenceLimit(int minutes);
  LinkStatus status() const;

 private:
  bool receiver() const { return role_ == Role::Receiver; }
  std::string who() const;
  const std::string& ipSetting() const;
  const std::string& portSetting() const;
  void ensureSerial();
  void ensureTcp();
  bool openSerial();
  void startTcpAttempt();
  void onConnectTick();
  void onConnected();
  void finish(bool result);
  void scheduleRetry();
  void onRetryTick();
  void markOpened();
  void markLost();
  bool connectionLost() const;
  void onTcpError(const std::string& message);
  void onTcpClosed();
  void onSerialLost(const std::string& reason);
  void received(const std::string& bytes);
  void checkSilence();
  void log(const std::string& text);
  // Logged and shown as a notice.
  void announce(const std::string& text);

  core::NodeContext& ctx_;
  Role role_;
  std::unique_ptr<platform::SerialPort> serial_;
  std::unique_ptr<platform::TcpClient> tcp_;
  platform::Timer connectTimer_;   // the paced TCP tries of one open
  platform::Timer retryTimer_;     // serial back-off, or the TCP slow retry
  platform::Timer reopenTimer_;    // a lost TCP connection is opened again from the loop
  platform::Timer silenceTimer_;
  std::string portText_;
  std::string host_;
  std::string device_;
  std::string openError_;
  std::uint16_t port_ = 0;
  int tries_ = 0;
  std::size_t retryStep_ = 0;
  bool isTcp_ = false;
  bool opening_ = false;
  bool retryOnFailure_ = true;
  bool configError_ = false;  // the last open failed on the setting itself (no such port)
  bool lost_ = false;         // lost while open and not open again yet
  bool outageLogged_ = false; // the retrying was logged for this outage
  bool silenceWarned_ = false;
  int silenceMinutes_ = 0;
  std::int64_t connectedAtMs_ = -1;
  std::int64_t lostAtMs_ = 0;
  std::int64_t openedAtMs_ = 0;
  std::int64_t lastByteMs_ = -1;
  std::uint64_t droppedWrites_ = 0;
  std::uint64_t openCount_ = 0;
  std::uint64_t reconnects_ = 0;
  std::uint64_t bytes_ = 0;
  bool haveSince_ = false;
  util::DateTime since_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::vector<std::function<void(bool)>> waiting_;
  std::function<void(const std::string&, int)> data_;
  std::function<void(const std::string&)> status_;
  std::function<void()> opened_;
  std::function<void(const std::string&)> notice_;
};

// Both links with the start-up opens and the write rules.
class RfLinks {
 public:
  explicit RfLinks(core::NodeContext& ctx);

  LinkEndpoint& receiver() { return receiver_; }
  LinkEndpoint& transmitter() { return transmitter_; }

  // Start-up open of the receiver (setting SerialPort) with two attempts; true when the receiver
  // is open on return. A TCP attempt finishes later.
  bool initCommPort();
  // Opens whatever is configured and was not opened at start-up (the receiver's third attempt
  // waits for a TCP start-up attempt still in progress).
  void initW800();
  // One link's port or address changed: close it and open it with the new settings (an empty
  // port leaves it closed). done(open) runs once the receiver's outcome is known.
  void reopenReceiver(std::function<void(bool)> done = {});
  void reopenTransmitter();
  void closeLinks();

  bool receiverOpen() const { return receiver_.isOpen(); }
  LinkStatus receiverStatus() const { return receiver_.status(); }
  LinkStatus transmitterStatus() const { return transmitter_.status(); }
  bool receiverOpenedAtStartup() const { return receiverOpen_; }
  bool transmitterOpenedAtStartup() const { return transmitterOpen_; }
  bool sendToReceiver(const std::string& bytes);
  // Writes to the transmitter when the id is "*" or numerically 1; otherwise sends nothing.
  bool sendToTransmitter(const std::string& id, const std::string& bytes);

 private:
  void initAttempt(int attempt);
  void w800Attempt();

  core::NodeContext& ctx_;
  LinkEndpoint receiver_;
  LinkEndpoint transmitter_;
  bool receiverOpen_ = false;
  bool transmitterOpen_ = false;
  bool initInProgress_ = false;
  bool w800Pending_ = false;
};

}  // namespace quillon::rflink
