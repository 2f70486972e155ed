#include "xap/xap_hub.h"

#include <vector>

#include "util/text.h"

namespace quillon::xap {

namespace {
constexpr int kExpiryCheckMs = 5000;

int smallNumber(const std::string& s) {
  if (s.empty() || s.size() > 9) return -1;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}
}  // namespace

HeartbeatInfo parseHeartbeat(const std::string& datagram) {
  HeartbeatInfo info;
  std::size_t end = datagram.find('\n');
  if (!util::iequals(util::trimWhitespace(datagram.substr(0, end)), "xap-hbeat")) return info;
  std::string cls;
  std::size_t pos = end == std::string::npos ? datagram.size() : end + 1;
  // Only the first block: the heartbeat's header.
  while (pos < datagram.size()) {
    std::size_t e = datagram.find('\n', pos);
    std::string line = util::trimWhitespace(datagram.substr(pos, e == std::string::npos ? std::string::npos : e - pos));
    pos = e == std::string::npos ? datagram.size() : e + 1;
    if (line == "}") break;
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = util::lower(util::trim(line.substr(0, eq)));
    std::string value = util::trim(line.substr(eq + 1));
    if (key == "class") cls = util::lower(value);
    else if (key == "source") info.source = value;
    else if (key == "port") info.port = smallNumber(value);
    else if (key == "interval") info.intervalSeconds = smallNumber(value);
  }
  if (cls.rfind("xap-hbeat", 0) != 0 || info.port <= 0 || info.port > 65535) return info;
  info.stopped = cls == "xap-hbeat.stopped";
  info.ok = true;
  return info;
}

XapHub::XapHub(platform::Platform& platform, LogFn log)
    : platform_(platform), log_(std::move(log)), expiryTimer_(platform.loop()) {
  expiryTimer_.setHandler([this] { expireClients(); });
}

XapHub::~XapHub() { stop(); }

bool XapHub::start(std::uint16_t port) {
  stop();
  socket_ = platform_.createUdpSocket();
  socket_->onDatagram([this](const platform::Datagram& d) { onDatagram(d.data, d.senderAddress); });
  if (!socket_->bindTo("0.0.0.0", port, false)) {
    if (log_) log_("xAP hub: cannot listen on UDP port " + std::to_string(port) + ": " + socket_->errorString());
    socket_.reset();
    return false;
  }
  localAddresses_.clear();
  for (const auto& nic : platform_.networkInterfaces()) localAddresses_.insert(nic.address);
  port_ = socket_->localPort();
  running_ = true;
  expiryTimer_.start(platform::Millis(kExpiryCheckMs), true);
  if (log_) log_("xAP hub listening on UDP port " + std::to_string(port_));
  return true;
}

void XapHub::stop() {
  expiryTimer_.stop();
  if (socket_) socket_->close();
  socket_.reset();
  clients_.clear();
  running_ = false;
}

bool XapHub::isLocal(const std::string& address) const {
  // Qt reports IPv4 senders on dual-stack sockets as ::ffff:a.b.c.d.
  std::string a = address.rfind("::ffff:", 0) == 0 ? address.substr(7) : address;
  return a.rfind("127.", 0) == 0 || localAddresses_.count(a) != 0;
}

void XapHub::onDatagram(const std::string& data, const std::string& senderAddress) {
  if (!running_ || data.empty()) return;
  std::int64_t now = platform_.clock().monotonicMs();
  if (util::istartsWith(data, "xap-hbeat") && isLocal(senderAddress)) {
    HeartbeatInfo hb = parseHeartbeat(data);
    if (hb.ok && hb.port != port_) {
      auto p = static_cast<std::uint16_t>(hb.port);
      if (hb.stopped) {
        clients_.erase(p);
      } else if (clients_.count(p) || clients_.size() < kMaxClients) {
        Client& c = clients_[p];
        if (c.port == 0 && log_) log_("xAP hub: client " + hb.source + " on port " + std::to_string(p));
        c.port = p;
        c.source = hb.source;
        c.lastSeenMs = now;
        int interval = hb.intervalSeconds > 0 ? hb.intervalSeconds : kDefaultIntervalSeconds;
        c.intervalMs = static_cast<std::int64_t>(interval) * 1000;
      }
    }
  }
  std::vector<std::uint16_t> lost;
  for (auto& [port, client] : clients_) {
    if (now - client.lastSeenMs > 2 * client.intervalMs) {
      lost.push_back(port);
      continue;
    }
    if (socket_->sendTo(data, "127.0.0.1", port)) ++forwarded_;
  }
  for (auto p : lost) clients_.erase(p);
}

void XapHub::expireClients() {
  std::int64_t now = platform_.clock().monotonicMs();
  for (auto it = clients_.begin(); it != clients_.end();) {
    if (now - it->second.lastSeenMs > 2 * it->second.intervalMs) {
      if (log_) log_("xAP hub: client on port " + std::to_string(it->first) + " timed out");
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace quillon::xap
