#pragma once
// The node's HTTP server: one listening socket on HTTPPort and one connection object per accepted
// socket (http/connection.h), each reading, parsing, answering and writing on its own. A client
// beyond MaxConnections is refused with 503; the others are not touched.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/subsystem.h"
#include "http/file_cache.h"
#include "http/page_body.h"
#include "http/request.h"
#include "http/request_parser.h"
#include "http/sessions.h"
#include "http/token_page.h"
#include "http/web_root.h"
#include "platform/event_loop.h"
#include "platform/tcp_listener.h"
#include "util/ordered_dict.h"

namespace quillon::core {
struct NodeContext;
}

namespace quillon::http {

class Response;
class HttpConnection;

// The status page: the request and its writer give the page, shared while it is unchanged.
using StatusPageFn = std::function<PageBodyPtr(Request&, Response&)>;
// A JSON interface under "/api/": true when it answers the path, with the status and body.
struct ApiReply {
  int status = 200;
  std::string body;
};
using ApiRouteFn = std::function<bool(const std::string& path, ApiReply& reply)>;
// Another read-only page or interface, given the path as the dispatcher matches it (lower case,
// "\"-separated) and the request: true when it answers, with the status, content type and body.
struct RouteReply {
  int status = 200;
  std::string contentType;
  std::string body;
};
using RouteFn = std::function<bool(const std::string& path, const Request& request, RouteReply& reply)>;
// The page "/status" shows until the status page is wired in.
std::string placeholderStatusPage();

class HttpServer final : public core::Subsystem {
 public:
  static constexpr int kHeadTimeoutMs = 10000;   // a request head (or a body's next bytes) must come within this
  static constexpr int kIdleTimeoutMs = 60000;   // a kept connection without a request, or a client not reading
  static constexpr int kBodyTimeoutMs = 60000;   // a body however steadily it trickles in
  static constexpr int kRetryAfterSeconds = 5;   // what a refused client is told to wait
  static constexpr int kBurstLogMs = 60000;      // a refusal of one kind is logged once per this time
  static constexpr std::size_t kDefaultMaxBody = 1024 * 1024;
  static constexpr int kDefaultMaxConnections = 64;

  explicit HttpServer(core::NodeContext& ctx);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  const char* name() const override { return "TCPServer"; }
  // Reads HTTPPort, MaxConnections and MaxRequestBody and starts listening; an empty or zero port
  // leaves the server off.
  void start() override;
  // Closes every connection and the listener.
  void stop() override;
  // A new HTTPPort takes effect at the next start (logged).
  void applySettings(const core::SettingsChange& change) override;
  void setStatusPage(StatusPageFn fn) { statusPage_ = std::move(fn); }
  // Paths beginning "/api/" go to this route (behind the same login rule as the pages).
  void setApiRoute(ApiRouteFn fn) { apiRoute_ = std::move(fn); }
  // Routes asked in order before the API route and the files (behind the same login rule; on
  // "/metrics" a scraper's Basic login is taken for the request alone, without a session).
  void addRoute(RouteFn fn) { routes_.push_back(std::move(fn)); }
  // Sends one Server-Sent Event ("event: …\ndata: …\n\n") to every client of "/events".
  void broadcastEvent(const std::string& event);
  int eventClients() const;
  static constexpr int kHeartbeatMs = 25000;  // a comment to event clients, so idle streams stay open
  // WebLoginUser and WebLoginPassword from LoginUsername and the unscrambled LoginPassword.
  void reloadLogin();
  static constexpr int kLoginRereadMs = 1000;  // a login edited in the file by hand is seen this soon

  bool running() const { return listener_ && listener_->isListening(); }
  std::uint16_t port() const { return port_; }
  // Connections accepted and not closed yet.
  int socketsOpen() const { return open_; }
  int maxConnections() const { return maxConnections_; }
  const HeadLimits& limits() const { return limits_; }
  const std::string& webLoginUser() const { return webLoginUser_; }

 private:
  friend class Response;
  friend class HttpConnection;

  void acceptWaiting();
  // A connection has closed: it is counted out now and destroyed at the next accept or stop, so
  // that none of its handlers is destroyed while it runs.
  void connectionClosed(HttpConnection& c);
  // The answer to one complete request of a connection.
  void dispatch(HttpConnection& c, const RequestHead& head, const std::string& raw, Response& response);
  // One request's path as the dispatcher matches it, and the client's session: found by its
  // cookie, or made for it while it is answered.
  struct Visit {
    std::string path;
    WebSession* session = nullptr;
    bool isNew = false;
  };
  WebSession& sessionFor(Visit& visit);
  bool accessCheck(HttpConnection& c, Request& request, Visit& visit, Response& response);
  // A POST must come from a page of this server: its Origin (or Referer) names this host and it
  // carries its session's token.
  bool postAllowed(const Request& request, const Visit& visit, Response& response);
  void answer(Request& request, Response& response, Visit& visit);
  std::string helpPage();
  std::string dateText() const;
  std::string httpDateText() const;
  // The login read again when the settings changed, or kLoginRereadMs after it was last read.
  void refreshLogin();
  // One line per kind of refusal and burst: the first, then none for kBurstLogMs.
  void logRefusal(int status, const std::string& peer);
  void debug(const std::string& text);

  core::NodeContext& ctx_;
  std::unique_ptr<platform::TcpListener> listener_;
  platform::Timer heartbeat_;
  std::vector<std::unique_ptr<HttpConnection>> connections_, closed_;
  std::uint16_t port_ = 0;
  std::string portSetting_;  // HTTPPort as read at the start
  int open_ = 0;
  int maxConnections_ = kDefaultMaxConnections;
  HeadLimits limits_;
  struct Burst {
    int status = 0;
    std::int64_t lastLogMs = 0;
    int since = 0;  // refusals not logged since the last line
  };
  std::vector<Burst> bursts_;
  WebRoot webRoot_;
  FileCache files_{webRoot_};
  StatusPageFn statusPage_;
  ApiRouteFn apiRoute_;
  std::vector<RouteFn> routes_;
  SessionStore sessions_;
  std::shared_ptr<const TokenPage> tokenPage_;  // the status page split at its token marks
  LoginThrottle throttle_;
  bool trustLocalNetwork_ = true;
  std::string webLoginUser_, webLoginPassword_;
  std::uint64_t loginIniVersion_ = 0;
  std::int64_t loginReadMs_ = 0;
  bool loginRead_ = false;
  // The Date line's text, made once a second.
  mutable std::int64_t dateSecond_ = -1;
  mutable std::string dateText_;
};

}  // namespace quillon::http
