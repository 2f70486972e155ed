#pragma once
// The node's HTTP server: one listening socket on HTTPPort and a pool of 25 connection sockets,
// each with a queue of received packets and its timers. A packet starts the socket's 5 ms dispatch
// timer; its tick parses the queued requests, checks the client's access and answers by path.
// Every connection carries one answer and is closed once it has gone out.
//
// Waits never nest an event loop: a POST waiting for its body, a request head still coming in and
// a file sent in chunks are state on the socket, taken up again by the socket's later events.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/subsystem.h"
#include "http/request.h"
#include "http/web_root.h"
#include "platform/event_loop.h"
#include "platform/tcp_listener.h"
#include "util/ordered_dict.h"

namespace quillon::core {
struct NodeContext;
}

namespace quillon::http {

class Response;

// The status page: the request and its writer give the page's text.
using StatusPageFn = std::function<std::string(Request&, Response&)>;
// A JSON interface under "/api/": true when it answers the path, with the status and body.
struct ApiReply {
  int status = 200;
  std::string body;
};
using ApiRouteFn = std::function<bool(const std::string& path, ApiReply& reply)>;
// The page "/status" shows until the status page is wired in.
std::string placeholderStatusPage();

class HttpServer final : public core::Subsystem {
 public:
  static constexpr int kPoolSize = 25;                // connection sockets 1..25
  static constexpr int kDispatchDelayMs = 5;          // packet arrival to request processing
  static constexpr int kChunkWaitMs = 5000;           // longest wait for one chunk's completion
  static constexpr int kCloseAfterTransferMs = 50;    // last chunk to the connection's close
  static constexpr std::size_t kChunkBytes = 1000;    // binary files go out in chunks of this size
  static constexpr int kPostWaitMs = 10000;           // longest wait for a POST body
  static constexpr int kIdleTimeoutMs = 30000;        // no request head, or no progress of the answer
  static constexpr std::size_t kMaxHeadBytes = 16 * 1024;    // request line and headers
  static constexpr std::size_t kMaxBodyBytes = 256 * 1024;   // a POST body
  static constexpr std::size_t kMaxQueuedBytes = kMaxHeadBytes + kMaxBodyBytes;  // unprocessed per socket

  explicit HttpServer(core::NodeContext& ctx);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  const char* name() const override { return "TCPServer"; }
  // Reads HTTPPort and starts listening; an empty or zero port leaves the server off.
  void start() override;
  // Closes every socket and drops the pool.
  void stop() override;
  // A new HTTPPort takes effect at the next start (logged).
  void applySettings(const core::SettingsChange& change) override;
  void setStatusPage(StatusPageFn fn) { statusPage_ = std::move(fn); }
  // Paths beginning "/api/" go to this route (behind the same login rule as the pages).
  void setApiRoute(ApiRouteFn fn) { apiRoute_ = std::move(fn); }
  // WebLoginUser and WebLoginPassword from LoginUsername and the unscrambled LoginPassword.
  void reloadLogin();

  bool running() const { return !sockets_.empty(); }
  std::uint16_t port() const { return port_; }
  int socketsOpen() const { return socketsOpen_; }
  int nextSocket() const { return nextSocket_; }
  // The socket's state by the classic numbering: 0 closed, 7 connected, 8 closing, 9 error.
  int socketState(int i) const;
  std::size_t queueSize(int i) const;
  const std::string& socketTag(int i) const;
  bool isAuthorised(const std::string& address) const { return authorisedClients_.contains(address); }
  const std::string& webLoginUser() const { return webLoginUser_; }

  // Connection manager events (public so tests and the platform glue can raise them by index).
  void socketConnectionRequest();
  void socketDataArrival(int i);
  void socketSendComplete(int i);
  void socketError(int i);
  void socketClose(int i);
  void socketCloseInternal(int i) { socketClose(i); }

 private:
  friend class Response;
  enum class Wait { None, PostBody, Answer, Transfer };

  struct BinaryTransfer {
    std::ifstream file;
    std::uint64_t remaining = 0;
    std::string chunk;
    bool chunkReady = false;
    bool waiting = false;  // for the previous chunk's completion
    std::uint64_t id = 0;
  };

  struct Socket {
    explicit Socket(platform::EventLoop& loop)
        : serverTimer(loop), postTimer(loop), binarySendTimer(loop), idleTimer(loop) {}
    std::unique_ptr<platform::TcpConnection> conn;
    std::unique_ptr<platform::TcpConnection> retired;  // the previous connection, closed
    std::deque<std::string> requestQueue;  // "index~packet"
    std::size_t queuedBytes = 0;
    platform::Timer serverTimer, postTimer, binarySendTimer, idleTimer;
    bool sendDone = false;
    std::string tag;
    Wait wait = Wait::None;
    std::unique_ptr<Request> pending;  // a POST waiting for its body
    std::string pendingEntry;
    std::unique_ptr<BinaryTransfer> transfer;
    std::int64_t lastProgressMs = 0;  // accepted, request taken up, or a chunk sent
  };

  Socket* socket(int i) const { return i >= 1 && i <= kPoolSize && !sockets_.empty() ? sockets_[i].get() : nullptr; }
  void decrementOpen() { socketsOpen_ = socketsOpen_ > 0 ? socketsOpen_ - 1 : 0; }
  void attach(int i, std::unique_ptr<platform::TcpConnection> conn);
  void releaseConnection(Socket& k);
  void closeOverLimit(int i, const std::string& what);
  void progress(Socket& k);
  void idleTimerTick(int i);
  void binarySendTimerTick(int i);
  void debug(const std::string& text);
  void logError(const std::string& text, const std::string& description);

  // Request processing.
  void processRequestQueue(int i);
  bool processEntry(int i, std::string entry);
  bool continuePost(int i);
  void answer(int s, Request& request, const std::string& entry);
  bool accessCheck(int i, int s, Request& request, Response& response, const std::string& entry);
  std::string helpPage();

  // Writing answers.
  void sendAssembled(int i, const std::string& text, const char* operation);
  void sendBinaryFile(const std::string& path, int i);
  void continueTransfer(int i);
  void finishTransfer(int i);
  void postTransferStep(int i);
  std::string dateText() const;

  core::NodeContext& ctx_;
  std::unique_ptr<platform::TcpListener> listener_;
  std::vector<std::unique_ptr<Socket>> sockets_;  // index 0 unused: the listener
  std::uint16_t port_ = 0;
  std::string portSetting_;  // HTTPPort as read at the start
  int socketsOpen_ = 0;
  int nextSocket_ = kPoolSize;
  std::uint64_t requestIds_ = 0, transferIds_ = 0;
  WebRoot webRoot_;
  StatusPageFn statusPage_;
  ApiRouteFn apiRoute_;
  util::OrderedDict<std::string> authorisedClients_;
  std::string savedRequest_, savedRequestClient_;
  std::string webLoginUser_, webLoginPassword_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // posted continuations check it
};

}  // namespace quillon::http
