#pragma once
// One accepted client: reads what it sends, parses one request at a time (request line, headers,
// body by Content-Length), has the server answer it, and writes the answer as fast as the socket
// takes it. Pipelined requests wait in the input and are answered in order; a kept connection goes
// back to waiting for the next head. Its one timer watches whichever wait it is in.
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "http/request_parser.h"
#include "http/response.h"
#include "platform/event_loop.h"
#include "platform/tcp_listener.h"

namespace quillon::http {

class HttpServer;

class HttpConnection {
 public:
  static constexpr std::size_t kHighWater = 256 * 1024;   // bytes in the socket before waiting for it
  static constexpr std::size_t kFilePiece = 64 * 1024;    // a body or file goes to the socket in pieces of this size
  static constexpr std::size_t kInlineBody = 64 * 1024;   // bodies up to this go out with their head
  static constexpr std::size_t kMaxUnread = 64 * 1024;    // pipelined input held while answering
  static constexpr std::size_t kGzipFrom = 1024;          // text answers from this size go out compressed
  static constexpr std::size_t kMaxStreamBacklog = 256 * 1024;  // events waiting for a client that does not read

  HttpConnection(HttpServer& server, std::unique_ptr<platform::TcpConnection> socket, platform::EventLoop& loop);
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  // Takes the socket's events and starts waiting for the first request.
  void start();
  // A client refused before it is taken: the answer goes out and the socket is closed.
  void refuseAtOnce(const Answer& answer);
  // Closes at once; no handler runs afterwards.
  void close(const std::string& why);
  bool isClosed() const { return closed_; }
  bool isStreaming() const { return phase_ == Phase::Streaming && !closed_; }
  // One event to a streaming client; a client that lets kMaxStreamBacklog pile up is dropped.
  void pushEvent(const std::string& event);
  const std::string& peer() const { return peer_; }
  const std::string& localAddress() const { return local_; }

 private:
  enum class Phase { Head, Body, Writing, Streaming };
  enum class Wait { None, FirstHead, Head, Body, Idle, Write };

  void readable();
  // Parses and answers every complete request in the input, until one is being written.
  void process();
  void answerRequest();
  void refuse(int status);
  void send(Answer answer, bool closeAfter);
  // A text answer in memory, compressed for a client that takes gzip.
  void compress(Answer& answer);
  void compressSpliced(Answer& answer);
  // Hands the socket more of the answer, up to kHighWater waiting in it.
  void writeMore();
  void finishAnswer();
  void arm(Wait wait);
  void timedOut();
  void pullUnread();

  HttpServer& server_;
  std::unique_ptr<platform::TcpConnection> socket_;
  platform::Timer timer_;
  std::string peer_, local_;
  bool closed_ = false;
  bool processing_ = false;
  bool anyRequest_ = false;
  Phase phase_ = Phase::Head;
  Wait wait_ = Wait::None;
  std::int64_t deadlineMs_ = 0;   // when the current wait ends
  std::int64_t timerDueMs_ = 0;   // when the timer is set to fire
  std::int64_t bodyStartedMs_ = 0;
  std::string in_;
  RequestHead head_;

  // The answer being written.
  std::string out_;
  std::vector<Piece> pieces_;  // the body's shared pieces, in order
  std::size_t pieceIndex_ = 0, pieceOffset_ = 0;
  std::ifstream file_;
  std::uint64_t fileLeft_ = 0;
  bool closeAfter_ = false;
  // For the request's log line.
  std::string method_, path_;
  int status_ = 0;
  std::uint64_t bytes_ = 0;
  std::int64_t startedMs_ = 0;
};

}  // namespace quillon::http
