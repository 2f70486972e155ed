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

std::string duration(std::int64_t ms) {
  const std::int64_t s = (ms + 500) / 1000;
  if (s < 120) return std::to_string(s) + " s";
  return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
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
    : ctx_(ctx),
      role_(role),
      connectTimer_(ctx.platform.loop()),
      retryTimer_(ctx.platform.loop()),
      reopenTimer_(ctx.platform.loop()),
      silenceTimer_(ctx.platform.loop()) {
  connectTimer_.setHandler([this] { onConnectTick(); });
  retryTimer_.setHandler([this] { onRetryTick(); });
  reopenTimer_.setHandler([this] {
    if (!ctx_.shuttingDown) open(portText_);
  });
  silenceTimer_.setHandler([this] { checkSilence(); });
}

LinkEndpoint::~LinkEndpoint() {
  *alive_ = false;
  close();
}

void LinkEndpoint::log(const std::string& text) { ctx_.logEvent(text); }

void LinkEndpoint::announce(const std::string& text) {
  log(text);
  if (notice_) notice_(text);
}

std::string LinkEndpoint::who() const { return receiver() ? "W800" : "RFXCOM Xmitter"; }

const std::string& LinkEndpoint::ipSetting() const { return receiver() ? ctx_.settings.serialIp : ctx_.settings.txSerialIp; }
const std::string& LinkEndpoint::portSetting() const {
  return receiver() ? ctx_.settings.serialPort : ctx_.settings.txSerialPort;
}

void LinkEndpoint::ensureSerial() {
  if (serial_) return;
  serial_ = ctx_.platform.createSerialPort();
  if (!serial_) return;
  serial_->onData([this](const std::string& bytes) { received(bytes); });
  serial_->onLost([this](const std::string& reason) { onSerialLost(reason); });
}

void LinkEndpoint::ensureTcp() {
  if (tcp_) return;
  tcp_ = ctx_.platform.createTcpClient();
  if (!tcp_) return;
  tcp_->setKeepAlive(kKeepAliveIdleS, kKeepAliveIntervalS, kKeepAliveProbes);
  tcp_->onConnected([this] { onConnected(); });
  tcp_->onData([this](const std::string& bytes) { received(bytes); });
  tcp_->onClosed([this] { onTcpClosed(); });
  tcp_->onError([this](const std::string& e) { onTcpError(e); });
}

void LinkEndpoint::received(const std::string& bytes) {
  bytes_ += bytes.size();
  lastByteMs_ = ctx_.platform.clock().monotonicMs();
  if (silenceWarned_) {
    silenceWarned_ = false;
    log(std::string(receiver() ? "Receiver" : "Transmitter") + " data again after a silence");
  }
  if (receiver() && data_) data_(bytes, 2);  // the transmitter's answers are dropped
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
  retryTimer_.stop();
  reopenTimer_.stop();
  if (done) waiting_.push_back(std::move(done));

  if (ipSetting().find('.') == std::string::npos) {
    isTcp_ = false;
    if (tcp_) tcp_->close();
    const bool wasOpen = serial_ && serial_->isOpen();
    const bool ok = openSerial();
    if (ok && !wasOpen) markOpened();
    finish(ok);
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
    const bool path = portText.find('/') != std::string::npos;
    log(std::string(receiver() ? "Unable to connect to W800 via TCP " : "Unable to connect to RFXCOM Xmitter via TCP ") + portText +
        (path ? " (a device path, but the address " + host_ + " makes the link TCP: clear it to use the serial port)"
              : " (invalid port)"));
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
  if (serial_->open(device_, settings) && serial_->isOpen()) return true;
  openError_ = serial_->errorString();
  return false;
}

void LinkEndpoint::startTcpAttempt() {
  tcp_->close();
  tcp_->connectTo(host_, port_);
}

void LinkEndpoint::onConnectTick() {
  ++tries_;
  const bool connected = tcp_ && tcp_->state() == platform::TcpClient::State::Connected;
  if (connected) {  // connected without its event having reached us yet
    onConnected();
    return;
  }
  if (tcp_ && tries_ < kMaxTries) {
    startTcpAttempt();
    return;
  }
  connectTimer_.stop();
  opening_ = false;
  log(std::string(receiver() ? "Unable to connect to W800 via TCP " : "Unable to connect to RFXCOM Xmitter via TCP ") + portText_);
  finish(false);
}

void LinkEndpoint::onConnected() {
  connectedAtMs_ = ctx_.platform.clock().monotonicMs();
  if (opening_) {
    connectTimer_.stop();
    opening_ = false;
    markOpened();
    finish(true);
    return;
  }
  // Outside an open only the slow retry connects; anything else was already counted.
  if (!retryTimer_.isActive()) return;
  retryTimer_.stop();
  markOpened();
  if (status_ && receiver()) status_("Port Open / " + std::to_string(tries_) + " tries");
}

void LinkEndpoint::finish(bool result) {
  if (status_ && receiver()) status_(result ? "Port Open / " + std::to_string(tries_) + " tries" : "Port Not Connected");
  // A setting that names no port cannot start working by retrying; it waits for the settings.
  if (!result && retryOnFailure_ && !configError_ && !ctx_.shuttingDown) scheduleRetry();
  auto waiting = std::move(waiting_);
  waiting_.clear();
  for (auto& fn : waiting) fn(result);
}

void LinkEndpoint::scheduleRetry() {
  if (retryTimer_.isActive()) return;
  if (isTcp_) {
    if (!outageLogged_)
      log(who() + (receiver() ? " receiver" : "") + " on port " + portText_ + " not open, retrying every " +
          std::to_string(kSlowRetryMs / 1000) + " s");
    outageLogged_ = true;
    retryTimer_.start(platform::Millis(kSlowRetryMs), true);
    return;
  }
  constexpr std::size_t steps = std::size(kSerialRetryMs);
  if (!outageLogged_ && !lost_)
    log(who() + (receiver() ? " receiver" : "") + " on port " + portText_ + " not open" +
        (openError_.empty() ? "" : " (" + openError_ + ")") + ", retrying every " +
        std::to_string(kSerialRetryMs[steps - 1] / 1000) + " s");
  outageLogged_ = true;
  retryTimer_.start(platform::Millis(kSerialRetryMs[std::min(retryStep_, steps - 1)]), false);
  ++retryStep_;
}

void LinkEndpoint::onRetryTick() {
  if (ctx_.shuttingDown) {
    retryTimer_.stop();
    return;
  }
  if (isTcp_) {
    if (tcp_ && tcp_->state() != platform::TcpClient::State::Connected) startTcpAttempt();
    return;
  }
  // One open of the device path (a missing device costs one failed open() every 5 s; a by-id
  // link that now points at another ttyUSB is followed).
  if (!openSerial()) {
    scheduleRetry();
    return;
  }
  markOpened();
  if (status_ && receiver()) status_("Port Open / 0 tries");
}

void LinkEndpoint::markOpened() {
  const std::int64_t now = ctx_.platform.clock().monotonicMs();
  ++openCount_;
  const std::string where = isTcp_ ? "via TCP " + host_ + ":" + std::to_string(port_) : "serial port " + device_;
  if (lost_) {
    ++reconnects_;
    announce(who() + " " + where + " open again after " + duration(now - lostAtMs_));
  } else if (outageLogged_) {
    log(who() + " " + where + " open");
  }
  lost_ = false;
  outageLogged_ = false;
  retryStep_ = 0;
  openError_.clear();
  openedAtMs_ = now;
  silenceWarned_ = false;
  since_ = ctx_.now();
  haveSince_ = true;
  // Announced from the loop: whoever reacts (the mode command) writes to a port whose open has
  // completed, and only when it is still the same open.
  const std::uint64_t generation = openCount_;
  ctx_.platform.loop().post([this, alive = alive_, generation] {
    if (*alive && generation == openCount_ && isOpen() && opened_) opened_();
  });
}

void LinkEndpoint::markLost() {
  lost_ = true;
  lostAtMs_ = ctx_.platform.clock().monotonicMs();
  since_ = ctx_.now();
  haveSince_ = true;
  retryStep_ = 0;
  if (status_ && receiver()) status_("Port Not Connected");
}

// An error or close of a connection that was up; a refused or failed attempt while opening or
// retrying is the tries' business, and a loss already seen is not seen again.
bool LinkEndpoint::connectionLost() const {
  return !(ctx_.shuttingDown || opening_ || lost_ || retryTimer_.isActive() || reopenTimer_.isActive());
}

void LinkEndpoint::onTcpError(const std::string& message) {
  if (!connectionLost()) return;
  int state = tcp_ ? winsockState(tcp_->state()) : 0;
  int code = tcp_ ? tcp_->errorCode() : 0;
  announce(std::string(receiver() ? "W800 Winsock1_Error at State " : "RFXCOM Winsock2_Error at State ") + std::to_string(state) +
           ", " + std::to_string(code) + " " + message);
  markLost();
  reopenTimer_.start(platform::Millis(0), false);
}

void LinkEndpoint::onTcpClosed() {
  if (!connectionLost()) return;
  announce(std::string(receiver() ? "Receiver IP Connection Closed " : "Transmitter IP Connection Closed ") +
           std::to_string(tcp_ ? winsockState(tcp_->state()) : 0));
  markLost();
  // A peer that accepts and closes at once is not hammered: reconnect at once only after a
  // connection that lasted, otherwise after one connect interval.
  std::int64_t up = connectedAtMs_ < 0 ? kConnectIntervalMs : ctx_.platform.clock().monotonicMs() - connectedAtMs_;
  reopenTimer_.start(platform::Millis(up >= kConnectIntervalMs ? 0 : kConnectIntervalMs), false);
}

void LinkEndpoint::onSerialLost(const std::string& reason) {
  if (ctx_.shuttingDown) return;
  announce(who() + " serial port " + device_ + " lost: " + reason + "; reopening it when it is back");
  markLost();
  scheduleRetry();
}

void LinkEndpoint::setSilenceLimit(int minutes) {
  silenceMinutes_ = std::max(0, minutes);
  if (silenceMinutes_ > 0) {
    if (!silenceTimer_.isActive()) silenceTimer_.start(platform::Millis(kSilenceCheckMs), true);
  } else {
    silenceTimer_.stop();
    silenceWarned_ = false;
  }
}

void LinkEndpoint::checkSilence() {
  if (silenceWarned_ || silenceMinutes_ <= 0 || !isOpen()) return;
  const std::int64_t now = ctx_.platform.clock().monotonicMs();
  const std::int64_t from = std::max(lastByteMs_, openedAtMs_);
  if (now - from < static_cast<std::int64_t>(silenceMinutes_) * 60000) return;
  silenceWarned_ = true;
  log(std::string("Warning: no data from the ") + (receiver() ? "receiver" : "transmitter") + " for " +
      std::to_string(silenceMinutes_) + (silenceMinutes_ == 1 ? " minute" : " minutes") +
      (lastByteMs_ < 0 || lastByteMs_ < openedAtMs_ ? " since it was opened" : "") +
      " (the link is open: is the receiver powered and in range?)");
}

LinkStatus LinkEndpoint::status() const {
  LinkStatus s;
  s.role = receiver() ? "receiver" : "transmitter";
  s.configured = !portSetting().empty();
  s.open = isOpen();
  s.tcp = isTcp_;
  if (!portText_.empty()) s.where = isTcp_ ? host_ + ":" + std::to_string(port_) : serialDevicePath(portText_);
  if (s.where.empty()) s.where = portText_;
  s.haveSince = haveSince_;
  s.since = since_;
  s.bytes = bytes_;
  s.reconnects = reconnects_;
  return s;
}

void LinkEndpoint::close() {
  const bool wasOpen = isOpen();
  connectTimer_.stop();
  retryTimer_.stop();
  reopenTimer_.stop();
  opening_ = false;
  lost_ = false;
  outageLogged_ = false;
  retryStep_ = 0;
  waiting_.clear();
  if (serial_) serial_->close();
  if (tcp_) tcp_->close();
  if (wasOpen) {
    since_ = ctx_.now();
    haveSince_ = true;
  }
}

// ---------------------------------------------------------------------------------------------

RfLinks::RfLinks(core::NodeContext& ctx)
    : ctx_(ctx), receiver_(ctx, LinkEndpoint::Role::Receiver), transmitter_(ctx, LinkEndpoint::Role::Transmitter) {}

bool RfLinks::initCommPort() {
  if (ctx_.settings.serialPort.empty()) return false;
  initAttempt(1);
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
          receiverOpen_ = true;
          ctx_.logEvent("W800 Comm Port " + port + " Opened");
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
}

void RfLinks::w800Attempt() {
  const std::string port = ctx_.settings.serialPort;
  receiver_.open(numericText(port), [this, port](bool ok) {
    if (!ok || receiverOpen_) return;
    receiverOpen_ = true;
    ctx_.logEvent("Port " + port + " opened for W800");
  });
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
