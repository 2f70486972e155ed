#include "xap/xap_transport.h"

#include <cmath>
#include <exception>

#include "util/date_time.h"
#include "util/text.h"
#include "xap/xap_message.h"

namespace quillon::xap {

namespace {

constexpr int kLoadHeartbeatMs = 20000;
constexpr int kReceiveDelayMs = 50;

// Four numbers 0..255, or false.
bool parseQuad(const std::string& text, unsigned (&out)[4]) {
  auto parts = util::split(text, ".");
  if (parts.size() != 4) return false;
  for (int i = 0; i < 4; ++i) {
    const std::string& p = parts[static_cast<std::size_t>(i)];
    if (p.empty() || p.size() > 3) return false;
    unsigned v = 0;
    for (char c : p) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > 255) return false;
    out[i] = v;
  }
  return true;
}

bool isLoopback(const std::string& address) { return address.rfind("127.", 0) == 0; }

}  // namespace

std::string makeSendBody(const std::vector<std::pair<std::string, std::string>>& items) {
  std::string body;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) body.push_back('\0');
    body.append(items[i].first).push_back('\x01');
    body.append(items[i].second);
  }
  return body;
}

bool addressMatches(const std::string& address, const std::string& pattern) {
  unsigned a[4], p[4];
  if (!parseQuad(address, a) || !parseQuad(pattern, p)) return false;
  for (int i = 0; i < 4; ++i)
    if ((p[i] & a[i]) != p[i]) return false;
  return true;
}

XapTransport::XapTransport(core::NodeContext& ctx)
    : ctx_(ctx),
      winsock1_(ctx.platform.createUdpSocket()),
      winsock2_(ctx.platform.createUdpSocket()),
      hbeatTimer_(ctx.platform.loop()),
      receiveTimer_(ctx.platform.loop()) {
  auto onDatagram = [this](const platform::Datagram& d) { processReceived(d.data); };
  winsock1_->onDatagram(onDatagram);
  winsock2_->onDatagram(onDatagram);
  hbeatTimer_.setHandler([this] { onHeartbeatTick(); });
  receiveTimer_.setHandler([this] {
    receiveTimer_.stop();
    if (callback_) callback_();
  });
  rebuildHeartbeat();
  // The heartbeat timer runs from load; the first sendHeartbeat sets its real interval.
  hbeatTimer_.start(platform::Millis(kLoadHeartbeatMs), true);
}

XapTransport::~XapTransport() { close(); }

void XapTransport::setXapSource(const std::string& v) {
  source_ = v;
  rebuildHeartbeat();
}
void XapTransport::setXapTarget(const std::string& v) {
  target_ = v;
  rebuildHeartbeat();
}
void XapTransport::setXapUid(const std::string& v) {
  uid_ = v;
  rebuildHeartbeat();
}

void XapTransport::rebuildHeartbeat() {
  hbeatText_ = "xap-hbeat\n{\nv=13\nhop=1\nuid=" + uid_ + "\nclass=xap-hbeat.alive\nsource=" + source_ + "\ninterval=";
}

std::string XapTransport::getMessage() {
  if (receiveQueue_.empty()) return {};
  std::string m = std::move(receiveQueue_.front());
  receiveQueue_.pop_front();
  if (receiveQueue_.empty()) receiveOverflow_ = false;
  return m;
}

std::string XapTransport::getIp() {
  std::vector<std::string> addresses, loopbacks;
  for (const auto& nic : ctx_.platform.networkInterfaces()) {
    unsigned q[4];
    if (!parseQuad(nic.address, q)) continue;
    (nic.loopback || isLoopback(nic.address) ? loopbacks : addresses).push_back(nic.address);
  }
  // Loopback addresses come last: the host's own name never resolves to them first.
  addresses.insert(addresses.end(), loopbacks.begin(), loopbacks.end());
  if (addresses.empty()) return {};
  for (const auto& a : addresses)
    if (addressMatches(a, interfaceAddress_)) return a;
  return addresses.front();
}

int XapTransport::init() {
  localAddress_ = getIp();
  sendHost_ = util::lower(broadcastAddress_) == "default" ? "255.255.255.255" : broadcastAddress_;

  int port = kFirstListenPort;
  bool bound = false;
  for (int i = 0; i < kListenPortTries; ++i) {
    if (winsock1_->bindTo("127.0.0.1", static_cast<std::uint16_t>(port), false)) {
      bound = true;
      break;
    }
    ++port;
  }
  int result;
  if (!bound) {
    result = -1;
  } else {
    // On the local address the same port is free whenever 127.0.0.1 had it. Without a usable
    // address (none, or only loopback) the sending socket takes any port on all addresses.
    bool ok = (localAddress_.empty() || isLoopback(localAddress_))
                  ? winsock2_->bindTo("0.0.0.0", 0, false)
                  : winsock2_->bindTo(localAddress_, static_cast<std::uint16_t>(port), false);
    if (!ok) {
      ctx_.log.logEvent("Quillon", "xap Init: cannot bind " + localAddress_ + ":" + std::to_string(port) + " " +
                                       winsock2_->errorString());
      return kBindError;
    }
    result = port;
    listenPort_ = port;
  }
  hbeatTail_ = "0\nport=" + std::to_string(port) + "\n}\n";
  return result;
}

void XapTransport::sendHeartbeat(int interval) {
  if (interval > 60) interval = 60;
  else if (interval <= 0) interval = 0;
  else if (interval < 5) interval = 5;
  if (interval >= 1) hbeatTimer_.start(platform::Millis(interval * 1000), true);
  else hbeatTimer_.stop();
  send(heartbeatText(interval), "SendHeartbeat ");
}

void XapTransport::onHeartbeatTick() {
  tickCount_ = (tickCount_ + 1) % 10;
  if (tickCount_ == 0)
    sendHeartbeat(static_cast<int>(std::lround(static_cast<double>(hbeatTimer_.interval().count()) / 1000.0)));
}

bool XapTransport::send(const std::string& text, const char* label) {
  bool ok = false;
  try {
    ok = winsock2_->sendTo(text, sendHost_, kXapPort);
  } catch (const std::exception& e) {
    ctx_.log.logEvent("Quillon", std::string(label) + e.what());
    return false;
  }
  if (!ok) ctx_.log.logEvent("Quillon", std::string(label) + "to " + sendHost_ + ": " + winsock2_->errorString());
  else ctx_.counters.xapSent.add();
  return ok;
}

std::string XapTransport::sendXapNow(const std::string& target, const std::string& cls, const std::string& section,
                                     const std::string& data, const std::string& subAddress, const std::string& uid,
                                     const std::string& targetSubAddress) {
  XapMessage m;
  m.setMsgClass(cls);
  m.setMsgSource(subAddress.empty() ? source_ : source_ + ":" + subAddress);
  if (target.empty()) m.setMsgTarget("");
  else if (!targetSubAddress.empty()) m.setMsgTarget(target + ":" + targetSubAddress);
  else m.setMsgTarget(target);
  m.setMsgUid(uid.empty() ? uid_ : uid);
  m.addHeader();
  m.addSection(section);
  std::size_t start = 0;
  while (start <= data.size()) {
    std::size_t end = data.find('\0', start);
    if (end == std::string::npos) end = data.size();
    std::string_view line(data.data() + start, end - start);
    std::size_t sep = line.find('\x01');
    if (sep != std::string_view::npos)
      m.addItem(section, std::string(line.substr(0, sep)), std::string(line.substr(sep + 1)));
    start = end + 1;
  }
  send(m.toXap(), "SendXap ");
  return {};
}

std::string XapTransport::effectiveUid(const std::string& uid) const {
  if (uid.empty()) return ctx_.nodeUid;
  if (uid.size() == 2) {
    std::string base = ctx_.nodeUid.size() >= 2 ? ctx_.nodeUid.substr(0, ctx_.nodeUid.size() - 2) : std::string();
    return base + uid;
  }
  return uid;
}

void XapTransport::sendXap(const std::string& target, const std::string& cls, const std::string& section,
                           const std::string& data, const std::string& subAddress, const std::string& uid,
                           const std::string& targetSubAddress) {
  std::string u = effectiveUid(uid);
  if (ctx_.xapReady) {
    // Take the held messages out first: a failure logged while sending them queues nothing here.
    std::deque<QueuedMessage> held;
    held.swap(pending_);
    pendingOverflow_ = false;
    for (const auto& q : held) sendXapNow(q.target, q.cls, q.section, q.data, q.subAddress, q.uid, q.targetSubAddress);
    sendXapNow(target, cls, section, data, subAddress, u, targetSubAddress);
    return;
  }
  if (pending_.size() >= kMaxPending) {
    pending_.pop_front();
    if (!pendingOverflow_) {
      pendingOverflow_ = true;
      ctx_.log.writeLogLine("Quillon", "SendXap: xAP not ready, more than " + std::to_string(kMaxPending) +
                                           " messages held; dropping the oldest");
    }
  }
  pending_.push_back({target, u, cls, section, data, subAddress, targetSubAddress});
}

void XapTransport::sendXapItems(const std::string& cls, const std::string& section,
                                const std::vector<std::pair<std::string, std::string>>& items) {
  sendXap("", cls, section, makeSendBody(items));
}

void XapTransport::sendLogEvent(const std::string& time, const std::string& type, const std::string& data) {
  sendXapItems("Homeseer.Event", "Event.Log", {{"Time", time}, {"Type", type}, {"Data", data}});
}

void XapTransport::sendRawXap(const std::string& text) { send(text, "SendRawXap "); }

void XapTransport::close() {
  receiveQueue_.clear();
  receiveTimer_.stop();
  hbeatTimer_.stop();
  if (winsock1_) winsock1_->close();
  if (winsock2_) winsock2_->close();
}

void XapTransport::processReceived(const std::string& datagram) {
  ctx_.counters.xapReceived.add();
  try {
    if (datagram.size() > kMaxDatagram) {
      ctx_.log.logEvent("Quillon", "ProcessReceivedMessage: datagram of " + std::to_string(datagram.size()) +
                                       " bytes dropped");
      return;
    }
    // An empty entry would read as "queue empty" and end the drain early.
    if (datagram.empty()) return;
    if (filterHeartbeats_ && !util::istartsWith(datagram, "xap-head")) return;
    if (receiveQueue_.size() >= kMaxReceiveQueue) {
      receiveQueue_.pop_front();
      if (!receiveOverflow_) {
        receiveOverflow_ = true;
        ctx_.log.logEvent("Quillon", "ProcessReceivedMessage: receive queue full, dropping the oldest");
      }
    }
    receiveQueue_.push_back(datagram);
    // The drain runs 50 ms after the first waiting datagram; later arrivals do not push it back,
    // so a steady stream cannot starve it.
    if (!receiveTimer_.isActive()) receiveTimer_.start(platform::Millis(kReceiveDelayMs), false);
  } catch (const std::exception& e) {
    ctx_.log.logEvent("Quillon", std::string("ProcessReceivedMessage ") + e.what());
  }
}

}  // namespace quillon::xap
