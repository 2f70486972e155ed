#include "rflink/rf_link.h"

#include <algorithm>
#include <cmath>

#include "core/node_context.h"
#include "util/text.h"

namespace quillon::rflink {
namespace {

// The text of a setting's numeric value ("03" -> "3"); device paths stay as they are.
std::string numericText(const std::string& s) {
  if (s.find('/') != std::string::npos) return s;
  double v = util::leadingNumber(s);
  return std::to_string(static_cast<long long>(std::trunc(v)));
}

}  // namespace

std::string serialDevicePath(const std::string& portText) {
  std::string t = util::trim(portText);
  if (t.find('/') != std::string::npos) return t;
  double n = util::leadingNumber(t);
  if (n < 1 || n > 256) return "";
  return "/dev/ttyS" + std::to_string(static_cast<int>(n) - 1);
}

int winsockState(platform::TcpClient::State s) {
  switch (s) {
    case platform::TcpClient::State::Closed: return 0;
    case platform::TcpClient::State::Connecting: return 6;
    case platform::TcpClient::State::Connected: return 7;
    case platform::TcpClient::State::Closing: return 8;
    case platform::TcpClient::State::Error: return 9;
  }
  return 0;
}

LinkEndpoint::LinkEndpoint(core::NodeContext& ctx, Role role)
    : ctx_(ctx), role_(role), connectTimer_(ctx.platform.loop()), slowRetry_(ctx.platform.loop()), reopenTimer_(ctx.platform.loop()) {
  connectTimer_.setHandler([this] { onConnectTick(); });
  slowRetry_.setHandler([this] { onSlowRetryTick(); });
  reopenTimer_.setHandler([this] {
    if (ctx_.shuttingDown) return;
    reconnecting_ = true;
    open(portText_);
  });
}

LinkEndpoint::~LinkEndpoint() { close(); }

void LinkEndpoint::log(const std::string& text) { ctx_.logEvent(text); }

const std::string& LinkEndpoint::ipSetting() const { return receiver() ? ctx_.settings.serialIp : ctx_.settings.txSerialIp; }

void LinkEndpoint::ensureSerial() {
  if (serial_) return;
  serial_ = ctx_.platform.createSerialPort();
  if (!serial_) return;
  serial_->onData([this](const std::string& bytes) {
    if (receiver() && data_) data_(bytes, 2);  // the transmitter's answers are dropped
  });
  serial_->onError([this](const std::string& e) { onSerialError(e); });
}

void LinkEndpoint::ensureTcp() {
  if (tcp_) return;
  tcp_ = ctx_.platform.createTcpClient();
  if (!tcp_) return;
  tcp_->onConnected([this] { onConnected(); });
  tcp_->onData([this](const std::string& bytes) {
    if (receiver() && data_) data_(bytes, 2);
  });
  tcp_->onClosed([this] { onTcpClosed(); });
  tcp_->onError([this](const std::string& e) { onTcpError(e); });
}

bool LinkEndpoint::isOpen() const {
  if (isTcp_) return tcp_ && tcp_->state() == platform::TcpClient::State::Connected;
  return serial_ && serial_->isOpen();
}

bool LinkEndpoint::write(const std::string& bytes) {
  const std::size_t waiting = isTcp_ ? (tcp_ ? tcp_->bytesToWrite() : 0) : (serial_ ? serial_->bytesToWrite() : 0);
  if (waiting + bytes.size() > kMaxWriteBacklog) {
    // The far end does not take the bytes as fast as they come (a flood of commands at 4800
    // baud): drop this write rather than grow the buffer. The log sums the drops up.
    ++droppedWrites_;
    log(std::string(receiver() ? "Receiver" : "Transmitter") + " link: write of " + std::to_string(bytes.size()) + " bytes dropped: " + std::to_string(waiting) +
        " bytes still waiting (" + std::to_string(droppedWrites_) + " writes dropped so far)");
    return false;
  }
  if (isTcp_) return tcp_ && tcp_->write(bytes);
  return serial_ && serial_->write(bytes);
}

void LinkEndpoint::open(const std::string& portText, std::function<void(bool)> done, bool retryOnFailure) {
  tries_ = 0;
  portText_ = portText;
  retryOnFailure_ = retryOnFailure;
  configError_ = false;
  slowRetry_.stop();
  reopenTimer_.stop();
  if (done) waiting_.push_back(std::move(done));

  if (ipSetting().find('.') == std::string::npos) {
    isTcp_ = false;
    if (tcp_) tcp_->close();
    finish(openSerial());
    return;
  }
  isTcp_ = true;
  if (serial_) serial_->close();
  ensureTcp();
  if (!tcp_) {
    finish(false);
    return;
  }
  if (tcp_->state() == platform::TcpClient::State::Connected) {
    finish(true);
    return;
  }
  host_ = ipSetting();
  double port = util::leadingNumber(portText);
  if (port < 1 || port > 65535) {
    log(std::string(receiver() ? "Unable to connect to W800 via TCP " : "Unable to connect to RFXCOM Xmitter via TCP ") + portText +
        " (invalid port)");
    configError_ = true;
    finish(false);
    return;
  }
  port_ = static_cast<std::uint16_t>(port);
  opening_ = true;
  startTcpAttempt();
  connectTimer_.start(platform::Millis(kConnectIntervalMs), true);
}

bool LinkEndpoint::openSerial() {
  ensureSerial();
  if (!serial_) return false;
  if (serial_->isOpen()) return true;
  device_ = serialDevicePath(portText_);
  if (device_.empty()) {
    log(std::string(receiver() ? " OpenCommPort: " : " OpenTxCommPort: ") + "no serial port \"" + portText_ + "\"");
    configError_ = true;
    return false;
  }
  platform::SerialSettings settings;
  settings.baudRate = 4800;
  serialWasOpen_ = serial_->open(device_, settings) && serial_->isOpen();
  return serialWasOpen_;
}

void LinkEndpoint::startTcpAttempt() {
  tcp_->close();
  tcp_->connectTo(host_, port_);
}

void LinkEndpoint::onConnectTick() {
  ++tries_;
  if (tcp_ && tcp_->state() != platform::TcpClient::State::Connected && tries_ < kMaxTries) {
    startTcpAttempt();
    return;
  }
  connectTimer_.stop();
  endWait(tcp_ && tcp_->state() == platform::TcpClient::State::Connected);
}

void LinkEndpoint::onConnected() {
  connectedAtMs_ = ctx_.platform.clock().monotonicMs();
  if (opening_) {
    connectTimer_.stop();
    endWait(true);
    return;
  }
  if (slowRetry_.isActive()) {
    slowRetry_.stop();
    reconnecting_ = false;
    log(std::string(receiver() ? "W800 receiver" : "RFXCOM Xmitter") + " connected via TCP " + portText_);
    if (status_ && receiver()) status_("Port Open / " + std::to_string(tries_) + " tries");
    if (reopened_) reopened_();
  }
}

void LinkEndpoint::endWait(bool connected) {
  opening_ = false;
  if (!connected)
    log(std::string(receiver() ? "Unable to connect to W800 via TCP " : "Unable to connect to RFXCOM Xmitter via TCP ") + portText_);
  finish(connected);
}

void LinkEndpoint::finish(bool result) {
  if (status_ && receiver()) status_(result ? "Port Open / " + std::to_string(tries_) + " tries" : "Port Not Connected");
  if (result && isTcp_) connectedAtMs_ = ctx_.platform.clock().monotonicMs();
  // A setting that names no port cannot start working by retrying; it waits for the setup page.
  if (!result && retryOnFailure_ && !configError_ && !ctx_.shuttingDown) startSlowRetry();
  const bool reopened = result && reconnecting_;
  reconnecting_ = false;
  if (reopened && reopened_) reopened_();
  auto waiting = std::move(waiting_);
  waiting_.clear();
  for (auto& fn : waiting) fn(result);
}

void LinkEndpoint::startSlowRetry() {
  if (slowRetry_.isActive()) return;
  log(std::string(receiver() ? "W800 receiver" : "RFXCOM Xmitter") + " on port " + portText_ + " not open, retrying every " +
      std::to_string(kSlowRetryMs / 1000) + " s");
  slowRetry_.start(platform::Millis(kSlowRetryMs), true);
}

void LinkEndpoint::onSlowRetryTick() {
  if (ctx_.shuttingDown) {
    slowRetry_.stop();
    return;
  }
  if (isTcp_) {
    if (tcp_ && tcp_->state() != platform::TcpClient::State::Connected) startTcpAttempt();
    return;
  }
  if (openSerial()) {
    slowRetry_.stop();
    reconnecting_ = false;
    log(std::string(receiver() ? "W800 receiver" : "RFXCOM Xmitter") + " serial port " + device_ + " opened again");
    if (status_ && receiver()) status_("Port Open / 0 tries");
    if (reopened_) reopened_();
  }
}

void LinkEndpoint::onTcpError(const std::string& message) {
  if (ctx_.shuttingDown || slowRetry_.isActive()) return;  // the slow retry was logged once
  int state = tcp_ ? winsockState(tcp_->state()) : 0;
  int code = tcp_ ? tcp_->errorCode() : 0;
  log(std::string(receiver() ? "W800 Winsock1_Error at State " : "RFXCOM Winsock2_Error at State ") + std::to_string(state) + ", " +
      std::to_string(code) + " " + message);
  // While an open is under way its connect timer makes the next try; a nested open would
  // restart the count on every refused attempt and never give up.
  if (opening_) return;
  reopenLater(0);
}

void LinkEndpoint::onTcpClosed() {
  if (ctx_.shuttingDown || opening_ || slowRetry_.isActive()) return;
  log(std::string(receiver() ? "Receiver IP Connection Closed " : "Transmitter IP Connection Closed ") +
      std::to_string(tcp_ ? winsockState(tcp_->state()) : 0));
  // A peer that accepts and closes at once is not hammered: reconnect at once only after a
  // connection that lasted, otherwise after one connect interval.
  std::int64_t up = connectedAtMs_ < 0 ? kConnectIntervalMs : ctx_.platform.clock().monotonicMs() - connectedAtMs_;
  reopenLater(up >= kConnectIntervalMs ? 0 : kConnectIntervalMs);
}

void LinkEndpoint::reopenLater(int delayMs) {
  // Always from the loop: the socket that reported the loss is not reopened inside its own handler.
  reopenTimer_.start(platform::Millis(std::max(0, delayMs)), false);
}

void LinkEndpoint::onSerialError(const std::string& message) {
  if (ctx_.shuttingDown) return;
  if (serial_ && serial_->isOpen()) {
    log(std::string(receiver() ? "W800" : "RFXCOM Xmitter") + " serial port error: " + message);
    return;
  }
  // An open that fails reports through its result; only a port that was open can be lost.
  if (!serialWasOpen_ || slowRetry_.isActive()) return;
  serialWasOpen_ = false;
  log(std::string(receiver() ? "W800" : "RFXCOM Xmitter") + " serial port " + device_ + " lost: " + message);
  startSlowRetry();
}

void LinkEndpoint::close() {
  connectTimer_.stop();
  slowRetry_.stop();
  reopenTimer_.stop();
  opening_ = false;
  reconnecting_ = false;
  serialWasOpen_ = false;
  waiting_.clear();
  if (serial_) serial_->close();
  if (tcp_) tcp_->close();
}

// ---------------------------------------------------------------------------------------------

RfLinks::RfLinks(core::NodeContext& ctx)
    : ctx_(ctx), receiver_(ctx, LinkEndpoint::Role::Receiver), transmitter_(ctx, LinkEndpoint::Role::Transmitter) {}

bool RfLinks::initCommPort() {
  if (ctx_.settings.serialPort.empty()) return false;
  ++startupCallDepth_;
  initAttempt(1);
  --startupCallDepth_;
  return receiver_.isOpen();
}

void RfLinks::initAttempt(int attempt) {
  initInProgress_ = true;
  const std::string port = ctx_.settings.serialPort;
  receiver_.open(
      port,
      [this, attempt, port](bool ok) {
        if (ok) {
          initInProgress_ = false;
          w800Pending_ = false;
          ctx_.logEvent("W800 Comm Port " + port + " Opened");
          receiverStartupOpened();
          return;
        }
        ctx_.logEvent("Error Opening W800 Comm Port number  " + port);
        receiver_.close();
        if (attempt < 2) {
          initAttempt(attempt + 1);
          return;
        }
        initInProgress_ = false;
        if (w800Pending_) {
          w800Pending_ = false;
          w800Attempt();
        }
      },
      false);
}

void RfLinks::initW800() {
  ++startupCallDepth_;
  if (!ctx_.settings.serialPort.empty() && !receiverOpen_) {
    if (initInProgress_) w800Pending_ = true;
    else w800Attempt();
  }
  if (!ctx_.settings.txSerialPort.empty() && !transmitterOpen_) {
    const std::string port = ctx_.settings.txSerialPort;
    transmitter_.open(numericText(port), [this, port](bool ok) {
      if (!ok || transmitterOpen_) return;
      transmitterOpen_ = true;
      ctx_.logEvent("Port " + port + " opened for RFXCOM Xmitter");
    });
  }
  --startupCallDepth_;
}

void RfLinks::w800Attempt() {
  const std::string port = ctx_.settings.serialPort;
  receiver_.open(numericText(port), [this, port](bool ok) {
    if (!ok || receiverOpen_) return;
    ctx_.logEvent("Port " + port + " opened for W800");
    receiverStartupOpened();
  });
}

void RfLinks::receiverStartupOpened() {
  receiverOpen_ = true;
  if (startupCallDepth_ == 0 && startupOpen_) startupOpen_();
}

void RfLinks::reopenAll() {
  closeLinks();
  if (!ctx_.settings.serialPort.empty()) receiver_.open(numericText(ctx_.settings.serialPort));
  if (!ctx_.settings.txSerialPort.empty()) transmitter_.open(numericText(ctx_.settings.txSerialPort));
}

void RfLinks::reopenReceiver(std::function<void(bool)> done) {
  receiver_.close();  // also ends a start-up attempt still waiting for its connection
  initInProgress_ = false;
  w800Pending_ = false;
  const std::string port = ctx_.settings.serialPort;
  if (port.empty()) {
    if (done) done(false);
    return;
  }
  receiver_.open(numericText(port), [this, port, done = std::move(done)](bool ok) {
    if (ok) ctx_.logEvent("Port " + port + " opened for W800");
    if (done) done(ok);
  });
}

void RfLinks::reopenTransmitter() {
  transmitter_.close();
  const std::string port = ctx_.settings.txSerialPort;
  if (port.empty()) return;
  transmitter_.open(numericText(port), [this, port](bool ok) {
    if (ok) ctx_.logEvent("Port " + port + " opened for RFXCOM Xmitter");
  });
}

void RfLinks::closeLinks() {
  receiver_.close();
  transmitter_.close();
}

bool RfLinks::sendToReceiver(const std::string& bytes) { return receiver_.write(bytes); }

bool RfLinks::sendToTransmitter(const std::string& id, const std::string& bytes) {
  std::string t = util::trim(id);
  if (t != "*" && util::leadingNumber(t) != 1) return false;
  return transmitter_.write(bytes);
}

}  // namespace quillon::rflink
