#pragma once
// The request head parser: finds a complete request line and header block at the start of a
// connection's input and checks it against the server's limits. It keeps no state of its own, so
// the connection calls it again with more bytes until it answers.
#include <cstddef>
#include <string>
#include <string_view>

namespace quillon::http {

struct HeadLimits {
  std::size_t maxHead = 16 * 1024;   // request line and headers
  std::size_t maxUri = 8 * 1024;     // the request target
  std::size_t maxBody = 1024 * 1024; // Content-Length
};

// What the server needs of a head; the rest is left to Request's own reading of the same text.
struct RequestHead {
  std::string method, target, version;
  std::size_t skipped = 0;        // empty lines before the request line
  std::size_t headBytes = 0;      // from the buffer's start through the blank line
  std::size_t contentLength = 0;
  bool keepAlive = true;          // HTTP/1.1 without "close", or HTTP/1.0 with "keep-alive"
  std::string ifNoneMatch, acceptEncoding;
};

// 0: the head is not complete yet; 200: `head` is filled in; otherwise the status to refuse the
// request with (400 malformed, 413 body too large, 414 target too long, 431 head too large,
// 501 a transfer coding, 505 another HTTP version).
int parseHead(std::string_view buffer, const HeadLimits& limits, RequestHead& head);

// The reason phrase the server sends with its own statuses.
const char* reasonPhrase(int status);

}  // namespace quillon::http
