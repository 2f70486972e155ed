#pragma once
// The writer of every answer the server sends: generated pages, files of the web root, the
// not-found answers, the login demand and the redirect of "/". Each answer ends its connection.
#include <string>

namespace quillon::http {

class HttpServer;

struct ContentType {
  std::string type;
  bool isText = false;
  bool isScript = false;
};

// The content type of a file by its last extension (any letter case).
ContentType contentTypeOf(const std::string& path);

// "05-Dec-26": the date of the answers' Date line.
std::string mediumDate(int year, int month, int day);

class Response {
 public:
  explicit Response(HttpServer& server) : server_(server) {}

  void setIndex(int i) { index_ = i; }
  int index() const { return index_; }

  // The text "<HTML>Unauthorized Access<HTML>" as a page on Index; the address is not used.
  // A 200 answer carrying text as an HTML page.
  void sendTextString(const std::string& text, int i);
  // The 401 answer demanding Basic authentication.
  void authenticate(int i);
  // A text file of the web root, or the not-found answer.
  void sendTextFile(const std::string& path, int i);
  // The not-found answer of text files (status 404).
  void sendErrorResponse(int i);
  // A file of the web root in chunks, or a bare 404.
  void sendBinaryFile(const std::string& path, int i);
  // A JSON answer (200, or 404 with an error object) that is never cached.
  void sendJson(int status, const std::string& body, int i);
  // A 302 answer sending the browser to location.
  void sendMovedTo(const std::string& location, int i);

 private:
  HttpServer& server_;
  int index_ = 0;
};

}  // namespace quillon::http
