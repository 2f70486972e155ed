// The connection manager: the listening socket, the pool, socket choice, per-socket queues and
// timers, and the closing of each connection once its answer has gone out.
#include <algorithm>
#include <exception>

#include "core/node_context.h"
#include "core/settings.h"
#include "core/settings_table.h"
#include "http/http_server.h"
#include "util/password_scramble.h"
#include "util/text.h"

namespace quillon::http {

std::string placeholderStatusPage() {
  return "<html><head><title>Quillon</title></head><body><h1>Quillon</h1>"
         "<p>The node is running. Its device status page is not part of this build yet.</p></body></html>";
}

HttpServer::HttpServer(core::NodeContext& ctx) : ctx_(ctx) {}

HttpServer::~HttpServer() { stop(); }

void HttpServer::debug(const std::string& text) {
  if (ctx_.log.debugLog()) ctx_.logDebug(text);
}

void HttpServer::logError(const std::string& text, const std::string& description) {
  if (ctx_.log.debugLog()) ctx_.log.logEvent(core::Logger::kDebugType, text, " " + description);
}

// Both keys are read unquoted: every double quote is removed.
void HttpServer::reloadLogin() {
  auto read = [this](const char* key) {
    return util::removeChar(ctx_.ini.getIniSetting(core::kSettingsSection, key, "", core::kSettingsFile), '"');
  };
  webLoginUser_ = read("LoginUsername");
  webLoginPassword_ = util::unscramblePassword(read("LoginPassword"));
}

void HttpServer::start() {
  const std::string portText =
      util::removeChar(core::storedSetting(ctx_.ini, core::kSettingsSection, "HTTPPort"), '"');
  portSetting_ = portText;
  try {
    webRoot_.setRoot(ctx_.paths.htmlDir());
    const double value = util::leadingNumber(portText);
    if (portText.empty() || value == port_) return;  // off, or listening on that port already
    if (value < 1 || value > 65535 || value != static_cast<int>(value)) {
      ctx_.logEvent("HTTP server off: HTTPPort " + portText + " is not a port number");
      return;
    }
    if (!listener_) listener_ = ctx_.platform.createTcpListener();
    if (!listener_) return;  // a platform without TCP
    port_ = static_cast<std::uint16_t>(value);
    listener_->onConnectionRequest([this] { socketConnectionRequest(); });
    if (sockets_.empty()) {
      sockets_.resize(kPoolSize + 1);
      for (int i = 1; i <= kPoolSize; ++i) {
        auto k = std::make_unique<Socket>(ctx_.platform.loop());
        k->serverTimer.setHandler([this, i] { processRequestQueue(i); });
        k->postTimer.setHandler([this, i] { processRequestQueue(i); });  // the wait is over
        k->binarySendTimer.setHandler([this, i] { binarySendTimerTick(i); });
        k->idleTimer.setHandler([this, i] { idleTimerTick(i); });
        sockets_[i] = std::move(k);
      }
    }
    if (!listener_->isListening() && !listener_->listen(port_))
      ctx_.logEvent("HTTP server cannot listen on port " + portText + ": " + listener_->errorString());
    socketsOpen_ = 0;
    nextSocket_ = kPoolSize;
    reloadLogin();
  } catch (const std::exception& e) {
    logError("Server Form_Load on Port " + portText, e.what());
  }
}

void HttpServer::applySettings(const core::SettingsChange& change) {
  if (change.now.httpPort != portSetting_)
    ctx_.logEvent("HTTPPort changed from " + portSetting_ + " to " + change.now.httpPort +
                  ": takes effect at the next start");
}

void HttpServer::stop() {
  ++transferIds_;
  for (int i = 1; i < static_cast<int>(sockets_.size()); ++i) {
    Socket& k = *sockets_[i];
    if (k.conn) k.conn->close();
  }
  if (listener_) listener_->close();
  sockets_.clear();
  socketsOpen_ = 0;
}

int HttpServer::socketState(int i) const {
  Socket* k = socket(i);
  if (!k || !k->conn) return 0;
  switch (k->conn->state()) {
    case platform::TcpConnection::State::Connected: return 7;
    case platform::TcpConnection::State::Error: return 9;
    default: return 8;  // the far end has closed; the socket is not closed yet
  }
}

std::size_t HttpServer::queueSize(int i) const {
  Socket* k = socket(i);
  return k ? k->requestQueue.size() : 0;
}

const std::string& HttpServer::socketTag(int i) const {
  static const std::string none;
  Socket* k = socket(i);
  return k ? k->tag : none;
}

void HttpServer::socketConnectionRequest() {
  if (sockets_.empty() || !listener_) return;
  const std::uint64_t requestId = ++requestIds_;
  try {
    if (--nextSocket_ < 1) nextSocket_ = kPoolSize;
    for (int wraps = 0;;) {
      const int state = socketState(nextSocket_);
      if (state == 0) break;
      if (state == 9) {
        releaseConnection(*sockets_[nextSocket_]);
        decrementOpen();
        break;
      }
      if (--nextSocket_ < 1) {
        nextSocket_ = kPoolSize;
        if (++wraps > 1) {
          for (int j = 1; j <= kPoolSize; ++j) socketClose(j);
          debug("ConnectionRequests exceeds concurrent allocation for socket " + std::to_string(nextSocket_) +
                " RequestID=" + std::to_string(requestId) + ", Sockets Defined=" + std::to_string(kPoolSize) +
                ", Sockets Open=" + std::to_string(socketsOpen_));
        }
      }
    }
    std::unique_ptr<platform::TcpConnection> conn = listener_->accept();
    if (!conn) return;  // the client went away before it was taken
    ++socketsOpen_;
    attach(nextSocket_, std::move(conn));
  } catch (const std::exception& e) {
    logError("socket_ConnectionRequest ", e.what());
  }
}

// A new connection on socket i: whatever the previous one left behind is dropped.
void HttpServer::attach(int i, std::unique_ptr<platform::TcpConnection> conn) {
  Socket& k = *sockets_[i];
  k.retired.reset();
  k.requestQueue.clear();
  k.queuedBytes = 0;
  k.serverTimer.stop();
  k.postTimer.stop();
  k.binarySendTimer.stop();
  k.pending.reset();
  k.transfer.reset();
  k.wait = Wait::None;
  k.sendDone = false;
  k.tag.clear();
  platform::TcpConnection* raw = conn.get();
  // Events of a connection that has since been replaced are ignored.
  auto current = [this, i, raw] { return sockets_.size() > static_cast<std::size_t>(i) && sockets_[i]->conn.get() == raw; };
  raw->onReadyRead([this, i, current] { if (current()) socketDataArrival(i); });
  raw->onWritten([this, i, current] { if (current()) socketSendComplete(i); });
  raw->onClosed([this, i, current] { if (current()) socketClose(i); });
  raw->onError([this, i, current](const std::string&) { if (current()) socketError(i); });
  k.conn = std::move(conn);
  progress(k);
  k.idleTimer.start(platform::Millis(kIdleTimeoutMs), false);
}

void HttpServer::progress(Socket& k) { k.lastProgressMs = ctx_.platform.clock().monotonicMs(); }

// A connection is closed once it has gone kIdleTimeoutMs without progress: no complete request
// head since it was accepted, or an answer that the client does not take.
void HttpServer::idleTimerTick(int i) {
  Socket* k = socket(i);
  if (!k || !k->conn) return;
  const std::int64_t idle = ctx_.platform.clock().monotonicMs() - k->lastProgressMs;
  if (idle < kIdleTimeoutMs) {
    k->idleTimer.start(platform::Millis(kIdleTimeoutMs - idle), false);
    return;
  }
  debug("HTTP connection on socket " + std::to_string(i) + " made no progress for " +
        std::to_string(kIdleTimeoutMs / 1000) + " s: closed");
  socketClose(i);
}

// Closes the connection; the object lives on until the socket is used again, so that no handler
// of it is destroyed while it runs.
void HttpServer::releaseConnection(Socket& k) {
  if (!k.conn) return;
  k.conn->close();
  k.retired = std::move(k.conn);
}

void HttpServer::socketDataArrival(int i) {
  Socket* k = socket(i);
  if (!k || !k->conn) return;
  try {
    std::string data = k->conn->readAll();
    if (data.empty()) return;
    std::string entry = std::to_string(i) + "~" + std::move(data);
    k->queuedBytes += entry.size();
    k->requestQueue.push_back(std::move(entry));
    if (k->queuedBytes > kMaxQueuedBytes) {
      closeOverLimit(i, "more than " + std::to_string(kMaxQueuedBytes) + " bytes waiting");
      return;
    }
    if (!k->serverTimer.isActive()) k->serverTimer.start(platform::Millis(kDispatchDelayMs), false);
  } catch (const std::exception& e) {
    logError("socket_DataArrival ", e.what());
  }
}

void HttpServer::closeOverLimit(int i, const std::string& what) {
  Socket* k = socket(i);
  const std::string peer = k && k->conn ? k->conn->peerAddress() : "";
  ctx_.logEvent("HTTP request from " + peer + " on socket " + std::to_string(i) + ": " + what + ", connection closed");
  socketClose(i);
  if (k) {  // nothing of this client is processed any more
    k->requestQueue.clear();
    k->queuedBytes = 0;
  }
}

void HttpServer::socketSendComplete(int i) {
  Socket* k = socket(i);
  if (!k) return;
  try {
    k->binarySendTimer.stop();
    k->sendDone = true;
    if (k->tag != "1") {
      socketCloseInternal(i);
    } else if (k->transfer && k->transfer->waiting) {
      continueTransfer(i);
    }
  } catch (const std::exception& e) {
    logError("Socket_SendComplete", e.what());
  }
}

void HttpServer::binarySendTimerTick(int i) {
  Socket* k = socket(i);
  if (!k) return;
  try {
    if (k->tag != "1") {
      socketSendComplete(i);
      return;
    }
    k->binarySendTimer.stop();
    k->sendDone = true;  // the chunk's completion is overdue: go on with the next
    if (k->transfer && k->transfer->waiting) continueTransfer(i);
  } catch (const std::exception& e) {
    logError("TCPBinarySendTimer_Timer", e.what());
  }
}

void HttpServer::socketError(int i) { socketSendComplete(i); }

void HttpServer::socketClose(int i) {
  Socket* k = socket(i);
  if (!k) return;
  try {
    if (socketState(i) > 0) {
      decrementOpen();
      releaseConnection(*k);
    }
    const std::string prefix = std::to_string(i) + "~";
    for (auto it = k->requestQueue.begin(); it != k->requestQueue.end(); ++it) {
      if (it->compare(0, prefix.size(), prefix) == 0) {
        k->queuedBytes -= std::min(k->queuedBytes, it->size());
        k->requestQueue.erase(it);
        break;
      }
    }
    // What was running for the closed connection ends with it.
    k->postTimer.stop();
    k->binarySendTimer.stop();
    k->idleTimer.stop();
    k->pending.reset();
    k->transfer.reset();
    k->wait = Wait::None;
    if (listener_ && !listener_->isListening()) listener_->listen(port_);
  } catch (const std::exception& e) {
    logError("socket_Close ", e.what());
  }
}

}  // namespace quillon::http
