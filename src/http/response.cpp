// The answers: exact header lines, as pages and scripts have always seen them; a Connection line
// only when the connection ends after the answer.
#include "http/response.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <fstream>
#include <sstream>
#include <system_error>

#include "core/node_context.h"
#include "http/file_cache.h"
#include "http/http_server.h"
#include "http/request_parser.h"
#include "util/date_time.h"
#include "util/fast_string.h"
#include "util/text.h"

namespace fs = std::filesystem;

namespace quillon::http {
namespace {

constexpr const char* kCrLf = "\r\n";

// If-None-Match names the tag: "*", or one of its list (a weak tag compares by its text).
bool tagListHas(std::string_view list, const std::string& tag) {
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
    if (item.substr(0, 2) == "W/") item.remove_prefix(2);
    if (item == "*" || item == tag) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

}  // namespace

std::string mediumDate(int year, int month, int day) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char out[16];
  std::snprintf(out, sizeof out, "%02d-%s-%02d", day, kMonths[(month + 11) % 12], year % 100);
  return out;
}

std::string httpDate(std::int64_t unixSeconds) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char out[40];
  std::snprintf(out, sizeof out, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday % 7], utc.tm_mday,
                kMonths[utc.tm_mon % 12], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return out;
}

ContentType contentTypeOf(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t sep = path.find_last_of("/\\");
  const std::string ext = dot == std::string::npos || (sep != std::string::npos && sep > dot)
                              ? std::string()
                              : util::lower(std::string_view(path).substr(dot + 1));
  if (ext == "txt") return {"text/plain", true, false};
  if (ext == "htm" || ext == "html") return {"text/html", true, false};
  if (ext == "php") return {"text/html", true, true};
  if (ext == "css") return {"text/css", true, false};
  if (ext == "js") return {"text/javascript", true, false};
  if (ext == "jpg" || ext == "jpeg") return {"image/jpeg", false, false};
  if (ext == "gif") return {"image/gif", false, false};
  if (ext == "bmp") return {"image/bmp", false, false};
  if (ext == "png") return {"image/png", false, false};
  if (ext == "ico") return {"image/x-icon", false, false};
  if (ext == "pdf") return {"application/pdf", false, false};
  if (ext == "wmz") return {"application/x-ms-wmz", false, false};
  return {"application/octet-stream", false, false};
}


void Response::set(int status, std::string head, std::string body) {
  answer_.status = status;
  answer_.head = std::move(head);
  answer_.body = std::make_shared<const std::string>(std::move(body));
}

bool Response::notModified(const std::string& tag) {
  if (tag.empty() || ifNoneMatch_.empty() || !tagListHas(ifNoneMatch_, tag)) return false;
  util::FastString a;
  a.add("HTTP/1.1 304 Not Modified").add(kCrLf);
  a.add("Server: ovk").add(kCrLf);
  a.add("Date: ").add(server_.dateText()).add(kCrLf);
  a.add("ETag: ").add(tag).add(kCrLf);
  a.add(connectionLine());
  set(304, a.take(), "");
  return true;
}

void Response::setShared(int status, std::string head, const PageBodyPtr& page) {
  answer_.status = status;
  answer_.head = std::move(head);
  answer_.body = page->text();
  answer_.page = page;
}

void Response::sendTextString(const std::string& text) { set(200, pageHead(text.size(), ""), text); }

void Response::sendPage(const PageBodyPtr& page) {
  if (!page) return sendTextString("");
  if (notModified(page->tag())) return;
  setShared(200, pageHead(page->text()->size(), page->tag()), page);
}

void Response::sendTokenPage(const std::shared_ptr<const TokenPage>& page, const std::string& token) {
  const std::string tag = page->tag(token);
  if (notModified(tag)) return;
  SplicedBody body = page->plain(token);
  answer_.status = 200;
  answer_.head = pageHead(body.size, tag);
  answer_.body.reset();
  answer_.page.reset();
  answer_.pieces = std::move(body.pieces);
  answer_.piecesSize = body.size;
  answer_.spliced = page;
  answer_.token = token;
}

std::string Response::pageHead(std::size_t length, const std::string& tag) const {
  util::FastString a;
  a.add("HTTP/1.1 200 OK").add(kCrLf);
  a.add("Server: ovk").add(kCrLf);
  a.add("Date: ").add(server_.dateText()).add(kCrLf);
  a.add("Expires: Tue, 04 Dec 1993 21:29:02 GMT").add(kCrLf);
  a.add("Accept-Ranges: bytes").add(kCrLf);
  a.add("Content-Type: text/html").add(kCrLf);
  a.add("Content-Length: ").add(std::to_string(length)).add(kCrLf);
  a.add("Cache-Control: no-cache").add(kCrLf);
  if (!tag.empty()) a.add("ETag: ").add(tag).add(kCrLf);
  a.add(connectionLine());
  return a.take();
}

void Response::authenticate() {
  util::FastString a;
  a.add("HTTP/1.1 401 Authenticate").add(kCrLf);
  a.add("WWW-Authenticate: Basic realm=\"Rainvale\"").add(kCrLf);
  a.add("Server: ovk").add(kCrLf);
  a.add("Date: ").add(server_.dateText()).add(kCrLf);
  a.add("Content-Type: text/html").add(kCrLf);
  a.add("Content-Length: 12").add(kCrLf);
  a.add(connectionLine());
  set(401, a.take(), "Please Login");
}

// The status line stays HTTP/1.0, as style sheets have always been answered; a client that keeps
// the connection is told so, as HTTP/1.0 answers need.
void Response::sendTextFile(const std::string& path) {
  const std::shared_ptr<const CachedFile> file = server_.files_.lookup(path, server_.ctx_.platform.clock().monotonicMs());
  PageBodyPtr body = file ? file->body : nullptr;
  if (file && !body) {  // too large to keep: read for this answer
    std::ifstream in(file->path, std::ios::binary);
    if (in.is_open()) {
      std::ostringstream text;
      text << in.rdbuf();
      body = std::make_shared<PageBody>(text.str(), file->tag);
    }
  }
  if (!body) {
    sendErrorResponse();
    return;
  }
  if (notModified(file->tag)) return;
  util::FastString a;
  a.add("HTTP/1.0 200 OK").add(kCrLf);
  a.add("Server: ovk").add(kCrLf);
  a.add("Date: ").add(server_.dateText()).add(kCrLf);
  a.add("Accept-Ranges: bytes").add(kCrLf);
  a.add("Content-Type: ").add(contentTypeOf(path).type).add(kCrLf);
  a.add("Last-Modified: ").add(file->lastModified).add(kCrLf);
  a.add("Content-Length: ").add(std::to_string(body->text()->size())).add(kCrLf);
  a.add("ETag: ").add(file->tag).add(kCrLf);
  a.add(closing_ ? "Connection: close\r\n" : "Connection: keep-alive\r\n");
  setShared(200, a.take(), body);
}

void Response::sendErrorResponse() {
  static constexpr std::string_view kBody = "<html><h1>404 File Not Found</h1></html>";
  util::FastString a;
  a.add("HTTP/1.1 404 Object Not Found").add(kCrLf);
  a.add("Server: ovk").add(kCrLf);
  a.add("Date: ").add(server_.dateText()).add(kCrLf);
  a.add(connectionLine());
  a.add("Content-Type: text/html").add(kCrLf);
  a.add("Content-Length: ").add(std::to_string(kBody.size())).add(kCrLf);
  set(404, a.take(), std::string(kBody));
}

void Response::sendEventStream() {
  util::FastString a;
  a.add("HTTP/1.1 200 OK").add(kCrLf);
  a.add("Server: ovk").add(kCrLf);
  a.add("Date: ").add(server_.dateText()).add(kCrLf);
  a.add("Content-Type: text/event-stream").add(kCrLf);
  a.add("Cache-Control: no-cache").add(kCrLf);
  a.add("Connection: close").add(kCrLf);
  set(200, a.take(), "retry: 3000\n\n");
  answer_.stream = true;
  closing_ = true;
}

void Response::sendMovedTo(const std::string& location) {
  std::string body = "<html><a href=\"" + location + "\">" + location + "</a></html>";
  util::FastString a;
  a.add("HTTP/1.1 302 Found").add(kCrLf);
  a.add("Server: ovk").add(kCrLf);
  a.add("Date: ").add(server_.dateText()).add(kCrLf);
  a.add("Location: ").add(location).add(kCrLf);
  a.add(connectionLine());
  a.add("Content-Type: text/html").add(kCrLf);
  a.add("Content-Length: ").add(std::to_string(body.size())).add(kCrLf);
  set(302, a.take(), std::move(body));
}

void Response::authenticateJson() {
  sendJson(401, R"({"error":"login required"})");
  answer_.head += "WWW-Authenticate: Basic realm=\"Rainvale\"\r\n";
}

void Response::sendJson(int status, const std::string& body) {
  sendContent(status, "application/json; charset=utf-8", body);
}

void Response::sendContent(int status, const std::string& contentType, const std::string& body) {
  util::FastString a;
  a.add("HTTP/1.1 ").add(std::to_string(status)).add(" ").add(status == 200 ? "OK" : reasonPhrase(status)).add(kCrLf);
  a.add("Server: ovk").add(kCrLf);
  a.add("Date: ").add(server_.httpDateText()).add(kCrLf);
  a.add(connectionLine());
  a.add("Cache-Control: no-cache").add(kCrLf);
  a.add("Content-Type: ").add(contentType).add(kCrLf);
  a.add("Content-Length: ").add(std::to_string(body.size())).add(kCrLf);
  set(status, a.take(), body);
}

void Response::sendBinaryFile(const std::string& path) {
  const std::shared_ptr<const CachedFile> file = server_.files_.lookup(path, server_.ctx_.platform.clock().monotonicMs());
  if (!file) {
    set(404, "HTTP/1.1 404 Not Found\r\nServer: ovk\r\nDate:" + server_.dateText() + "\r\nContent-Length: 0\r\n" +
                 connectionLine(),
        "");
    return;
  }
  if (notModified(file->tag)) return;
  util::FastString h;
  h.add("HTTP/1.1 200 OK").add(kCrLf);
  h.add("Server: ovk").add(kCrLf);
  h.add("Date:").add(server_.dateText()).add(kCrLf);
  h.add("Last-Modified: ").add(file->lastModified).add(kCrLf);
  h.add("Accept-Ranges: bytes").add(kCrLf);
  h.add("Content-Length: ").add(std::to_string(file->size)).add(kCrLf);
  h.add(connectionLine());
  h.add("Content-Type: ").add(contentTypeOf(path).type).add(kCrLf);
  h.add("ETag: ").add(file->tag).add(kCrLf);
  if (file->body) return setShared(200, h.take(), file->body);
  answer_.status = 200;
  answer_.head = h.take();
  answer_.body.reset();
  answer_.page.reset();
  answer_.file = file->path;
  answer_.fileSize = file->size;
}

void Response::sendRefusal(int status, const std::string& extra, const std::string& message) {
  std::string body = "<html><h1>" + std::to_string(status) + " " + reasonPhrase(status) + "</h1>" +
                     (message.empty() ? "" : "<p>" + message + "</p>") + "</html>";
  util::FastString a;
  a.add("HTTP/1.1 ").add(std::to_string(status)).add(" ").add(reasonPhrase(status)).add(kCrLf);
  a.add("Server: ovk").add(kCrLf);
  a.add("Date: ").add(server_.dateText()).add(kCrLf);
  a.add(extra);
  a.add(connectionLine());
  a.add("Content-Type: text/html").add(kCrLf);
  a.add("Content-Length: ").add(std::to_string(body.size())).add(kCrLf);
  set(status, a.take(), std::move(body));
}

std::string HttpServer::httpDateText() const {
  const util::DateTime now = ctx_.now();  // the node's local time: back to seconds since 1970
  std::tm local{};
  local.tm_year = now.year - 1900;
  local.tm_mon = now.month - 1;
  local.tm_mday = now.day;
  local.tm_hour = now.hour;
  local.tm_min = now.minute;
  local.tm_sec = now.second;
  local.tm_isdst = -1;
  return httpDate(static_cast<std::int64_t>(std::mktime(&local)));
}

std::string HttpServer::dateText() const {
  const std::int64_t second = ctx_.platform.clock().monotonicMs() / 1000;
  if (second != dateSecond_) {
    const util::DateTime now = ctx_.now();
    dateText_ = mediumDate(now.year, now.month, now.day);
    dateSecond_ = second;
  }
  return dateText_;
}

}  // namespace quillon::http
