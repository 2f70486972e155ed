#pragma once
// The writer of every answer the server sends: generated pages, files of the web root, the
// not-found answers, the login demand, the redirect of "/" and the server's own refusals. It
// builds the answer; the connection sends it and decides whether the connection stays open.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "http/page_body.h"
#include "http/token_page.h"

namespace quillon::http {

class HttpServer;

struct ContentType {
  std::string type;
  bool isText = false;
  bool isScript = false;
};

// The content type of a file by its last extension (any letter case).
ContentType contentTypeOf(const std::string& path);

// "05-Dec-26": the date of the pages' Date line.
std::string mediumDate(int year, int month, int day);
// "Tue, 08 Dec 2026 15:14:21 GMT" (RFC 9110's date format) for a time in seconds since 1970: the
// JSON API's Date line.
std::string httpDate(std::int64_t unixSeconds);

// One answer: its head (status line and header lines, each ending CRLF, without the blank line)
// and a body held in memory (shared, so a cached page is not copied per client) or a file read
// as the client takes it.
struct Answer {
  int status = 0;  // 0: nothing has been answered yet
  std::string head;
  std::shared_ptr<const std::string> body;
  PageBodyPtr page;  // the shared body with its gzip form, when the body is one
  // A body in pieces (a page with a session's token between shared parts); its gzip form comes
  // from the page the pieces came from.
  std::vector<Piece> pieces;
  std::size_t piecesSize = 0;
  std::shared_ptr<const TokenPage> spliced;
  std::string token;
  bool stream = false;  // an event stream: the connection stays open for the events that follow
  std::filesystem::path file;
  std::uint64_t fileSize = 0;
  std::uint64_t bodySize() const {
    return !file.empty() ? fileSize : !pieces.empty() ? piecesSize : body ? body->size() : 0;
  }
};

class Response {
 public:
  // closing: the connection ends after this answer, which then says so.
  Response(HttpServer& server, bool closing) : server_(server), closing_(closing) {}

  // A 200 answer carrying text as an HTML page.
  void sendTextString(const std::string& text);
  // A generated page held by its writer: a 200 answer with its tag, or 304 when the client has it.
  void sendPage(const PageBodyPtr& page);
  // The same for a page whose forms carry the session's token.
  void sendTokenPage(const std::shared_ptr<const TokenPage>& page, const std::string& token);
  // The 401 answer demanding Basic authentication.
  void authenticate();
  // The same for the JSON API: a JSON body and an HTTP date.
  void authenticateJson();
  // A text file of the web root, or the not-found answer.
  void sendTextFile(const std::string& path);
  // The not-found answer of text files (status 404).
  void sendErrorResponse();
  // A file of the web root read as the client takes it, or a bare 404.
  void sendBinaryFile(const std::string& path);
  // A JSON answer (200, or 404 with an error object) that is never cached.
  void sendJson(int status, const std::string& body);
  // A generated answer of any content type (not cached by the client).
  void sendContent(int status, const std::string& contentType, const std::string& body);
  // The head of an event stream (text/event-stream); the connection then carries the events.
  void sendEventStream();
  // A 302 answer sending the browser to location.
  void sendMovedTo(const std::string& location);
  // The server's own answer to a request it does not take (400, 405, 408, 413, ...); extra is
  // further header lines, each ending CRLF.
  void sendRefusal(int status, const std::string& extra = "", const std::string& message = "");
  // One more header line (ending CRLF) on the answer made.
  void addHeader(const std::string& line) { answer_.head += line; }

  // The request's If-None-Match: a file whose tag it names is answered 304 without its body.
  void setIfNoneMatch(std::string tags) { ifNoneMatch_ = std::move(tags); }
  // An HTTP/1.0 client asked to keep the connection: the answers say they do.
  void setKeptForHttp10() { keptForHttp10_ = true; }
  bool closing() const { return closing_; }
  Answer& answer() { return answer_; }

 private:
  std::string connectionLine() const {
    return closing_ ? "Connection: close\r\n" : keptForHttp10_ ? "Connection: keep-alive\r\n" : "";
  }
  void set(int status, std::string head, std::string body);
  void setShared(int status, std::string head, const PageBodyPtr& page);
  std::string pageHead(std::size_t length, const std::string& tag) const;
  // True when the file is unchanged for the client: the 304 answer has been made.
  bool notModified(const std::string& tag);

  HttpServer& server_;
  bool closing_;
  bool keptForHttp10_ = false;
  std::string ifNoneMatch_;
  Answer answer_;
};

}  // namespace quillon::http
