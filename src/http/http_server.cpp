// The listener: accepts every waiting client into its own connection, refuses those beyond
// MaxConnections with 503, and keeps the count of open connections.
#include "http/http_server.h"

#include <algorithm>
#include <exception>

#include "core/node_context.h"
#include "core/settings.h"
#include "core/settings_table.h"
#include "http/connection.h"
#include "http/response.h"
#include "util/password_scramble.h"
#include "util/text.h"

namespace quillon::http {

std::string placeholderStatusPage() {
  return "<html><head><title>Quillon</title></head><body><h1>Quillon</h1>"
         "<p>The node is running. Its device status page is not part of this build yet.</p></body></html>";
}

HttpServer::HttpServer(core::NodeContext& ctx) : ctx_(ctx), heartbeat_(ctx.platform.loop()) {
  heartbeat_.setHandler([this] { broadcastEvent(": keep-alive\n\n"); });
}

void HttpServer::broadcastEvent(const std::string& event) {
  // A client dropped for being slow leaves the list while it is walked: walk a copy.
  std::vector<HttpConnection*> streams;
  for (const auto& c : connections_)
    if (c->isStreaming()) streams.push_back(c.get());
  for (HttpConnection* c : streams) c->pushEvent(event);
}

int HttpServer::eventClients() const {
  int n = 0;
  for (const auto& c : connections_) n += c->isStreaming() ? 1 : 0;
  return n;
}

HttpServer::~HttpServer() { stop(); }

void HttpServer::debug(const std::string& text) {
  if (ctx_.log.debugLog()) ctx_.logDebug(text);
}

// Both keys are read unquoted: every double quote is removed.
void HttpServer::reloadLogin() {
  auto read = [this](const char* key) {
    return util::removeChar(ctx_.ini.getIniSetting(core::kSettingsSection, key, "", core::kSettingsFile), '"');
  };
  const std::string before = webLoginUser_ + ":" + webLoginPassword_;
  webLoginUser_ = read("LoginUsername");
  webLoginPassword_ = util::unscramblePassword(read("LoginPassword"));
  // A new login ends every session that logged in with the old one.
  if (webLoginUser_ + ":" + webLoginPassword_ != before) sessions_.keepLogin(webLoginUser_ + ":" + webLoginPassword_);
  trustLocalNetwork_ = util::toBool(core::storedSetting(ctx_.ini, core::kSettingsSection, "TrustLocalNetwork"));
  const double minutes = util::leadingNumber(core::storedSetting(ctx_.ini, core::kSettingsSection, "WebSessionMinutes"));
  sessions_.setIdleMs(static_cast<std::int64_t>(minutes >= 1 ? minutes : 60) * 60 * 1000);
  loginIniVersion_ = ctx_.ini.version();
  loginReadMs_ = ctx_.platform.clock().monotonicMs();
  loginRead_ = true;
}

void HttpServer::refreshLogin() {
  if (!loginRead_ || ctx_.ini.version() != loginIniVersion_ ||
      ctx_.platform.clock().monotonicMs() - loginReadMs_ >= kLoginRereadMs)
    reloadLogin();
}

void HttpServer::start() {
  const std::string portText =
      util::removeChar(core::storedSetting(ctx_.ini, core::kSettingsSection, "HTTPPort"), '"');
  portSetting_ = portText;
  try {
    webRoot_.setRoot(ctx_.paths.htmlDir());
    files_.clear();
    const double value = util::leadingNumber(portText);
    if (portText.empty() || value == port_) return;  // off, or listening on that port already
    if (value < 1 || value > 65535 || value != static_cast<int>(value)) {
      ctx_.logEvent("HTTP server off: HTTPPort " + portText + " is not a port number");
      return;
    }
    // The two limits as the settings table declares them; a value out of range is the default.
    auto whole = [this](const char* key, double fallback) {
      const core::SettingDef* d = core::findSetting(core::kSettingsSection, key);
      const double v = util::leadingNumber(util::removeChar(core::storedSetting(ctx_.ini, core::kSettingsSection, key), '"'));
      return d && v >= d->min && v <= d->max && v == static_cast<double>(static_cast<long long>(v)) ? v : fallback;
    };
    maxConnections_ = static_cast<int>(whole("MaxConnections", kDefaultMaxConnections));
    limits_.maxBody = static_cast<std::size_t>(whole("MaxRequestBody", static_cast<double>(kDefaultMaxBody)));
    if (!listener_) listener_ = ctx_.platform.createTcpListener();
    if (!listener_) return;  // a platform without TCP
    port_ = static_cast<std::uint16_t>(value);
    listener_->onConnectionRequest([this] { acceptWaiting(); });
    if (!listener_->isListening() && !listener_->listen(port_))
      ctx_.logEvent("HTTP server cannot listen on port " + portText + ": " + listener_->errorString());
    heartbeat_.start(platform::Millis(kHeartbeatMs), true);
    reloadLogin();
  } catch (const std::exception& e) {
    ctx_.logEvent("HTTP server on port " + portText + " not started: " + e.what());
  }
}

void HttpServer::applySettings(const core::SettingsChange& change) {
  if (change.now.httpPort != portSetting_)
    ctx_.logEvent("HTTPPort changed from " + portSetting_ + " to " + change.now.httpPort +
                  ": takes effect at the next start");
}

void HttpServer::stop() {
  heartbeat_.stop();
  std::vector<std::unique_ptr<HttpConnection>> open = std::move(connections_);
  connections_.clear();
  for (auto& c : open) c->close("the server stops");
  closed_.clear();
  if (listener_) listener_->close();
  open_ = 0;
  port_ = 0;
}

void HttpServer::acceptWaiting() {
  if (!listener_) return;
  closed_.clear();  // no handler of these runs any more
  while (std::unique_ptr<platform::TcpConnection> socket = listener_->accept()) {
    auto c = std::make_unique<HttpConnection>(*this, std::move(socket), ctx_.platform.loop());
    if (open_ >= maxConnections_) {
      // The newcomer alone is refused: told when to come back, and closed once that has gone out.
      logRefusal(503, c->peer());
      Response r(*this, true);
      r.sendRefusal(503, "Retry-After: " + std::to_string(kRetryAfterSeconds) + "\r\n");
      c->refuseAtOnce(std::move(r.answer()));
      closed_.push_back(std::move(c));
      continue;
    }
    ++open_;
    HttpConnection& ref = *c;
    connections_.push_back(std::move(c));
    ref.start();
  }
}

void HttpServer::connectionClosed(HttpConnection& c) {
  auto it = std::find_if(connections_.begin(), connections_.end(), [&](const auto& p) { return p.get() == &c; });
  if (it == connections_.end()) return;
  closed_.push_back(std::move(*it));
  connections_.erase(it);
  open_ = std::max(0, open_ - 1);
}

void HttpServer::logRefusal(int status, const std::string& peer) {
  const std::int64_t now = ctx_.platform.clock().monotonicMs();
  auto it = std::find_if(bursts_.begin(), bursts_.end(), [&](const Burst& b) { return b.status == status; });
  if (it == bursts_.end()) {
    it = bursts_.insert(it, Burst{status, now, 0});
  } else if (now - it->lastLogMs < kBurstLogMs) {
    ++it->since;
    return;
  }
  Burst& b = *it;
  std::string line = "HTTP request from " + peer + " refused: " + std::to_string(status) + " " + reasonPhrase(status);
  if (b.since > 0) line += " (and " + std::to_string(b.since) + " more since the last line)";
  ctx_.logEvent(line);
  b.lastLogMs = now;
  b.since = 0;
}

}  // namespace quillon::http
