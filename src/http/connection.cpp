#include "http/connection.h"

#include <algorithm>

#include "core/node_context.h"
#include "http/gzip.h"
#include "http/http_server.h"

namespace quillon::http {

HttpConnection::HttpConnection(HttpServer& server, std::unique_ptr<platform::TcpConnection> socket,
                               platform::EventLoop& loop)
    : server_(server), socket_(std::move(socket)), timer_(loop) {
  peer_ = socket_->peerAddress();
  local_ = socket_->localAddress();
  timer_.setHandler([this] { timedOut(); });
}

HttpConnection::~HttpConnection() {
  if (!closed_) socket_->close();
}

void HttpConnection::start() {
  socket_->onReadyRead([this] { readable(); });
  socket_->onBytesWritten([this] { writeMore(); });
  socket_->onClosed([this] { close("closed by the client"); });
  socket_->onError([this](const std::string& e) { close("failed: " + e); });
  arm(Wait::FirstHead);
}

void HttpConnection::refuseAtOnce(const Answer& answer) {
  server_.ctx_.counters.httpAnswer(answer.status);
  closed_ = true;
  socket_->write(answer.head + "\r\n" + (answer.body ? *answer.body : std::string()));
  socket_->close();
}

void HttpConnection::close(const std::string& why) {
  if (closed_) return;
  closed_ = true;
  timer_.stop();
  socket_->close();
  in_.clear();
  out_.clear();
  pieces_.clear();
  if (file_.is_open()) file_.close();
  if (phase_ == Phase::Writing) server_.debug("HTTP " + peer_ + " " + method_ + " " + path_ + ": " + why + " during the answer");
  server_.connectionClosed(*this);
}

// While an answer is being written, at most kMaxUnread bytes of what follows are taken; the rest
// stays with the socket, which then stops reading from the client.
void HttpConnection::readable() {
  if (closed_) return;
  if (phase_ == Phase::Streaming) {  // nothing more is asked on an event stream
    socket_->readAll();
    return;
  }
  if (phase_ == Phase::Writing) {
    if (in_.size() < kMaxUnread) in_ += socket_->readAll();
    return;
  }
  in_ += socket_->readAll();
  if (phase_ == Phase::Body) arm(Wait::Body);  // the body makes progress, within its total time
  process();
}

void HttpConnection::pullUnread() {
  if (!closed_ && socket_->isOpen()) in_ += socket_->readAll();
}

void HttpConnection::process() {
  if (processing_) return;  // an answer finished inside this loop: the loop goes on by itself
  processing_ = true;
  while (!closed_ && phase_ != Phase::Writing) {
    if (phase_ == Phase::Head) {
      if (in_.empty()) break;
      const int result = parseHead(in_, server_.limits(), head_);
      if (result == 0) {
        if (wait_ != Wait::Head && wait_ != Wait::FirstHead) arm(Wait::Head);
        break;
      }
      if (result != 200) {
        refuse(result);
        break;
      }
      phase_ = Phase::Body;
      bodyStartedMs_ = server_.ctx_.platform.clock().monotonicMs();
    }
    if (in_.size() < head_.headBytes + head_.contentLength) {  // the body is still coming
      if (wait_ != Wait::Body) arm(Wait::Body);
      break;
    }
    answerRequest();
  }
  processing_ = false;
}

void HttpConnection::answerRequest() {
  const std::size_t end = head_.headBytes + head_.contentLength;
  const std::string raw = in_.substr(head_.skipped, end - head_.skipped);
  in_.erase(0, end);
  anyRequest_ = true;
  method_ = head_.method;
  path_ = head_.target;
  startedMs_ = server_.ctx_.platform.clock().monotonicMs();
  Response response(server_, !head_.keepAlive);
  response.setIfNoneMatch(head_.ifNoneMatch);
  if (head_.keepAlive && head_.version == "HTTP/1.0") response.setKeptForHttp10();
  server_.dispatch(*this, head_, raw, response);
  if (closed_) return;
  const bool closing = response.closing();
  send(std::move(response.answer()), closing);
}

// A request the server does not take: its status, and the connection ends, since what follows in
// the input cannot be trusted to start a request.
void HttpConnection::refuse(int status) {
  server_.logRefusal(status, peer_);
  method_ = head_.method.empty() ? "-" : head_.method;
  path_ = "-";
  startedMs_ = server_.ctx_.platform.clock().monotonicMs();
  in_.clear();
  Response response(server_, true);
  response.sendRefusal(status);
  send(std::move(response.answer()), true);
}

void HttpConnection::compress(Answer& answer) {
  if (answer.spliced) return compressSpliced(answer);
  if (answer.status != 200 || !answer.file.empty() || !answer.body || answer.body->size() < kGzipFrom) return;
  if (answer.head.find("\r\nContent-Type: text/") == std::string::npos &&
      answer.head.find("\r\nContent-Type: application/json") == std::string::npos)
    return;
  if (!acceptsGzip(head_.acceptEncoding)) return;
  const std::string length = "\r\nContent-Length: " + std::to_string(answer.body->size()) + "\r\n";
  const std::size_t at = answer.head.find(length);
  if (at == std::string::npos) return;
  // A shared body is compressed once for every client; any other for this answer.
  std::shared_ptr<const std::string> packed =
      answer.page ? answer.page->gzipped() : std::make_shared<const std::string>(gzipCompress(*answer.body));
  if (!packed || packed->empty()) return;
  answer.head.replace(at, length.size(), "\r\nContent-Length: " + std::to_string(packed->size()) + "\r\n");
  // The compressed bytes are another representation of the same file: its tag becomes weak.
  if (const std::size_t tag = answer.head.find("\r\nETag: \""); tag != std::string::npos)
    answer.head.insert(tag + 8, "W/");
  answer.head += "Content-Encoding: gzip\r\nVary: Accept-Encoding\r\n";
  answer.body = std::move(packed);
}

// A page with the session's token: its gzip form stitched from the page's pieces, compressed once.
void HttpConnection::compressSpliced(Answer& answer) {
  if (answer.status != 200 || answer.piecesSize < kGzipFrom || !acceptsGzip(head_.acceptEncoding)) return;
  const std::string length = "\r\nContent-Length: " + std::to_string(answer.piecesSize) + "\r\n";
  const std::size_t at = answer.head.find(length);
  if (at == std::string::npos) return;
  SplicedBody packed = answer.spliced->gzipped(answer.token);
  if (packed.pieces.empty()) return;
  answer.head.replace(at, length.size(), "\r\nContent-Length: " + std::to_string(packed.size) + "\r\n");
  answer.head += "Content-Encoding: gzip\r\nVary: Accept-Encoding\r\n";
  answer.pieces = std::move(packed.pieces);
  answer.piecesSize = packed.size;
}

void HttpConnection::send(Answer answer, bool closeAfter) {
  server_.ctx_.counters.httpAnswer(answer.status);
  compress(answer);
  phase_ = Phase::Writing;
  closeAfter_ = closeAfter;
  status_ = answer.status;
  bytes_ = answer.bodySize();
  out_ = std::move(answer.head);
  out_ += "\r\n";
  pieces_.clear();
  pieceIndex_ = pieceOffset_ = 0;
  fileLeft_ = 0;
  if (method_ != "HEAD") {
    if (!answer.file.empty()) {
      file_.open(answer.file, std::ios::binary);
      fileLeft_ = file_.is_open() ? answer.fileSize : 0;
      if (!file_.is_open()) closeAfter_ = true;  // the length is promised: ending is the only way out
    } else if (!answer.pieces.empty()) {
      pieces_ = std::move(answer.pieces);
    } else if (answer.body && answer.body->size() <= kInlineBody) {
      out_ += *answer.body;
    } else if (answer.body) {
      pieces_.push_back(std::move(answer.body));
    }
  }
  if (answer.stream && method_ != "HEAD") {
    phase_ = Phase::Streaming;
    arm(Wait::Write);
    if (!socket_->write(out_)) return close("the socket took nothing");  // the head and the first lines
    out_.clear();
    server_.debug("HTTP " + peer_ + " " + method_ + " " + path_ + ": event stream open");
    return;
  }
  arm(Wait::Write);
  writeMore();
}

void HttpConnection::pushEvent(const std::string& event) {
  if (!isStreaming()) return;
  if (static_cast<std::size_t>(std::max<std::int64_t>(socket_->pendingBytes(), 0)) > kMaxStreamBacklog)
    return close("too slow for its event stream");
  if (!socket_->write(event)) return close("the socket took no more");
  if (!closed_) arm(Wait::Write);
}

void HttpConnection::writeMore() {
  if (closed_ || phase_ != Phase::Writing) return;
  bool wrote = false;
  // Topped up once half has gone out, so the socket never runs dry while the file lasts.
  if (static_cast<std::size_t>(std::max<std::int64_t>(socket_->pendingBytes(), 0)) > kHighWater / 2) return;
  while (static_cast<std::size_t>(std::max<std::int64_t>(socket_->pendingBytes(), 0)) < kHighWater) {
    std::string piece;
    if (!out_.empty()) {
      piece = std::move(out_);
      out_.clear();
    } else if (pieceIndex_ < pieces_.size()) {
      // Up to kFilePiece bytes from the shared pieces, small ones joined into one write.
      while (pieceIndex_ < pieces_.size() && piece.size() < kFilePiece) {
        const std::string& p = *pieces_[pieceIndex_];
        const std::size_t n = std::min(kFilePiece - piece.size(), p.size() - pieceOffset_);
        piece.append(p, pieceOffset_, n);
        pieceOffset_ += n;
        if (pieceOffset_ == p.size()) {
          ++pieceIndex_;
          pieceOffset_ = 0;
        }
      }
    } else if (fileLeft_ > 0) {
      piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kFilePiece, fileLeft_)));
      file_.read(piece.data(), static_cast<std::streamsize>(piece.size()));
      piece.resize(static_cast<std::size_t>(file_.gcount()));
      if (piece.empty()) return close("the file got shorter");
      fileLeft_ -= piece.size();
    } else {
      finishAnswer();
      return;
    }
    if (!socket_->write(piece)) return close("the socket took no more");
    if (closed_) return;  // the write found the client gone
    wrote = true;
  }
  if (wrote) arm(Wait::Write);  // the client is reading: its time starts again
}

void HttpConnection::finishAnswer() {
  if (server_.ctx_.log.debugLog())
    server_.debug("HTTP " + peer_ + " " + method_ + " " + path_ + " " + std::to_string(status_) + " " +
                std::to_string(bytes_) + " bytes " +
                std::to_string(server_.ctx_.platform.clock().monotonicMs() - startedMs_) + " ms");
  pieces_.clear();
  if (file_.is_open()) file_.close();
  if (closeAfter_) return close("answered");
  phase_ = Phase::Head;
  pullUnread();
  arm(in_.empty() ? Wait::Idle : Wait::Head);
  process();
}

// Sets the deadline of the wait. The timer is restarted only when the deadline comes before the
// time it is set for; when it fires early it is set again for the rest. A kept connection
// answering request after request so never touches the timer.
void HttpConnection::arm(Wait wait) {
  wait_ = wait;
  const std::int64_t now = server_.ctx_.platform.clock().monotonicMs();
  const int ms = wait == Wait::Idle || wait == Wait::Write ? HttpServer::kIdleTimeoutMs : HttpServer::kHeadTimeoutMs;
  deadlineMs_ = now + ms;
  if (wait == Wait::Body) deadlineMs_ = std::min(deadlineMs_, bodyStartedMs_ + HttpServer::kBodyTimeoutMs);
  if (timer_.isActive() && timerDueMs_ <= deadlineMs_) return;
  timerDueMs_ = deadlineMs_;
  timer_.start(platform::Millis(std::max<std::int64_t>(deadlineMs_ - now, 0)), false);
}

void HttpConnection::timedOut() {
  if (closed_) return;
  const std::int64_t now = server_.ctx_.platform.clock().monotonicMs();
  if (now < deadlineMs_) {
    timerDueMs_ = deadlineMs_;
    timer_.start(platform::Millis(deadlineMs_ - now), false);
    return;
  }
  switch (wait_) {
    case Wait::Head:
    case Wait::Body: refuse(408); return;
    case Wait::FirstHead:
      if (!in_.empty()) return refuse(408);
      return close("sent no request");
    case Wait::Idle: return close("idle");
    default: return close("the client took nothing");
  }
}

}  // namespace quillon::http
