// The answers: exact header lines, and binary files paced in 1000-byte chunks with one chunk in
// flight at a time.
#include "http/response.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <sstream>
#include <system_error>

#include "core/node_context.h"
#include "http/http_server.h"
#include "util/date_time.h"
#include "util/fast_string.h"
#include "util/text.h"

namespace fs = std::filesystem;

namespace quillon::http {
namespace {

constexpr const char* kCrLf = "\r\n";

// The file's time of last change as local time, in the general date format.
std::string lastModified(const fs::path& file) {
  std::error_code ec;
  const auto written = fs::last_write_time(file, ec);
  if (ec) return "";
  const std::time_t t =
      std::chrono::system_clock::to_time_t(std::chrono::time_point_cast<std::chrono::system_clock::duration>(
          std::chrono::file_clock::to_sys(written)));
  std::tm local{};
  localtime_r(&t, &local);
  return util::formatGeneral(
      util::DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, 0});
}

}  // namespace

std::string mediumDate(int year, int month, int day) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char out[16];
  std::snprintf(out, sizeof out, "%02d-%s-%02d", day, kMonths[(month + 11) % 12], year % 100);
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


void Response::sendTextString(const std::string& text, int i) {
  util::FastString a;
  a.add("HTTP/1.1 200 OK").add(kCrLf);
  a.add("Server: ovk").add(kCrLf);
  a.add("Date: ").add(server_.dateText()).add(kCrLf);
  a.add("Expires: Tue, 04 Dec 1993 21:29:02 GMT").add(kCrLf);
  a.add("Accept-Ranges: bytes").add(kCrLf);
  a.add("Content-Type: text/html").add(kCrLf);
  a.add("Content-Length: ").add(std::to_string(text.size())).add(kCrLf);
  a.add("Cache-Control: no-cache").add(kCrLf);
  a.add("Location: http://127.0.0.1:8080/other").add(kCrLf);
  a.add(kCrLf).add(text);
  server_.sendAssembled(i, a.value(), "TCPServer_SendTextString ");
}

void Response::authenticate(int i) {
  util::FastString a;
  a.add("HTTP/1.1 401 Authenticate").add(kCrLf);
  a.add("WWW-Authenticate: Basic realm=\"Rainvale\"").add(kCrLf);
  a.add("Server: ovk").add(kCrLf);
  a.add("Date: ").add(server_.dateText()).add(kCrLf);
  a.add("Content-Type: text/html").add(kCrLf);
  a.add("Content-Length: 12").add(kCrLf);
  a.add(kCrLf).add("Please Login");
  server_.sendAssembled(i, a.value(), "TCPServer_Authenticate ");
}

void Response::sendTextFile(const std::string& path, int i) {
  std::optional<fs::path> file = server_.webRoot_.find(path);
  std::ifstream in;
  if (file) in.open(*file, std::ios::binary);
  if (!in.is_open()) {
    sendErrorResponse(i);
    return;
  }
  std::ostringstream body;
  body << in.rdbuf();
  const std::string text = body.str();
  util::FastString a;
  a.add("HTTP/1.0 200 OK").add(kCrLf);
  a.add("Server: ovk").add(kCrLf);
  a.add("Date: ").add(server_.dateText()).add(kCrLf);
  a.add("Accept-Ranges: bytes").add(kCrLf);
  a.add("Content-Type: ").add(contentTypeOf(path).type).add(kCrLf);
  a.add("Last-Modified: ").add(lastModified(*file)).add(kCrLf);
  a.add("Content-Length: ").add(std::to_string(text.size())).add(kCrLf);
  a.add(kCrLf).add(text);
  server_.sendAssembled(i, a.value(), "TCPServer_SendTextFile ");
}

void Response::sendErrorResponse(int i) {
  static constexpr std::string_view kBody = "<html><h1>404 File Not Found</h1></html>";
  util::FastString a;
  a.add("HTTP/1.1 404 Object Not Found").add(kCrLf);
  a.add("Server: ovk").add(kCrLf);
  a.add("Date: ").add(server_.dateText()).add(kCrLf);
  a.add("Connection: Close").add(kCrLf);
  a.add("Content-Type: text/html").add(kCrLf);
  a.add("Content-Length: ").add(std::to_string(kBody.size())).add(kCrLf);
  a.add(kCrLf).add(kBody);
  server_.sendAssembled(i, a.value(), "TCPServer_SendError_Response ");
}

void Response::sendMovedTo(const std::string& location, int i) {
  const std::string body = "<html><a href=\"" + location + "\">" + location + "</a></html>";
  util::FastString a;
  a.add("HTTP/1.1 302 Found").add(kCrLf);
  a.add("Server: ovk").add(kCrLf);
  a.add("Date: ").add(server_.dateText()).add(kCrLf);
  a.add("Location: ").add(location).add(kCrLf);
  a.add("Connection: Close").add(kCrLf);
  a.add("Content-Type: text/html").add(kCrLf);
  a.add("Content-Length: ").add(std::to_string(body.size())).add(kCrLf);
  a.add(kCrLf).add(body);
  server_.sendAssembled(i, a.value(), "TCPServer_SendMovedTo ");
}

void Response::sendJson(int status, const std::string& body, int i) {
  util::FastString a;
  a.add(status == 200 ? "HTTP/1.1 200 OK" : status == 404 ? "HTTP/1.1 404 Not Found" : "HTTP/1.1 " + std::to_string(status) + " Error").add(kCrLf);
  a.add("Server: ovk").add(kCrLf);
  a.add("Date: ").add(server_.dateText()).add(kCrLf);
  a.add("Connection: Close").add(kCrLf);
  a.add("Cache-Control: no-cache").add(kCrLf);
  a.add("Content-Type: application/json; charset=utf-8").add(kCrLf);
  a.add("Content-Length: ").add(std::to_string(body.size())).add(kCrLf);
  a.add(kCrLf).add(body);
  server_.sendAssembled(i, a.value(), "TCPServer_SendJson ");
}

void Response::sendBinaryFile(const std::string& path, int i) { server_.sendBinaryFile(path, i); }

std::string HttpServer::dateText() const {
  const util::DateTime now = ctx_.now();
  return mediumDate(now.year, now.month, now.day);
}

// Hands a whole answer to a connected socket, which is closed once it has gone out; a socket that
// is no longer connected is closed at once.
void HttpServer::sendAssembled(int i, const std::string& text, const char* operation) {
  Socket* k = socket(i);
  if (!k) return;
  try {
    k->tag = "0";
    if (socketState(i) == 7 && k->conn->write(text)) {
      k->wait = Wait::Answer;
      progress(*k);
      return;
    }
    debug(operation);
    socketClose(i);
  } catch (const std::exception& e) {
    logError(operation, e.what());
  }
}

void HttpServer::sendBinaryFile(const std::string& path, int i) {
  Socket* k = socket(i);
  if (!k) return;
  try {
    const std::string type = contentTypeOf(path).type;
    std::optional<fs::path> file = webRoot_.find(path);
    auto transfer = std::make_unique<BinaryTransfer>();
    std::error_code ec;
    if (file) {
      transfer->file.open(*file, std::ios::binary);
      transfer->remaining = fs::file_size(*file, ec);
    }
    if (!file || !transfer->file || ec) {
      const std::string notFound = "HTTP/1.1 404 Not Found\r\nServer: ovk\r\nDate:" + dateText() + "\r\n\r\n";
      if (k->conn) k->conn->write(notFound);
      finishTransfer(i);
      return;
    }
    k->tag = "1";  // before the header: no completion may close the connection during the transfer
    util::FastString h;
    h.add("HTTP/1.1 200 OK").add(kCrLf);
    h.add("Server: ovk").add(kCrLf);
    h.add("Date:").add(dateText()).add(kCrLf);
    h.add("Last-Modified: ").add(lastModified(*file)).add(kCrLf);
    h.add("Accept-Ranges: bytes").add(kCrLf);
    h.add("Content-Length: ").add(std::to_string(transfer->remaining)).add(kCrLf);
    h.add("Connection: Close").add(kCrLf);
    h.add("Content-Type: ").add(type).add(kCrLf);
    h.add(kCrLf);
    if (k->conn) k->conn->write(h.value());
    k->sendDone = true;  // the header's completion is not waited for
    transfer->id = ++transferIds_;
    transfer->chunk.reserve(kChunkBytes);
    k->transfer = std::move(transfer);
    k->wait = Wait::Transfer;
    progress(*k);
    postTransferStep(i);
  } catch (const std::exception& e) {
    logError("TCPServer_SendBinaryFile ", e.what());
    finishTransfer(i);
  }
}

// The transfer goes on from the event loop, after the events that are pending now.
void HttpServer::postTransferStep(int i) {
  Socket* k = socket(i);
  if (!k || !k->transfer) return;
  ctx_.platform.loop().post([this, i, id = k->transfer->id, alive = std::weak_ptr<int>(alive_)] {
    if (alive.expired()) return;
    Socket* s = socket(i);
    if (s && s->transfer && s->transfer->id == id) continueTransfer(i);
  });
}

// One turn of the transfer loop: at the end of the file, or once the socket is not connected, the
// transfer ends; otherwise the next chunk is sent when the previous one has completed (or its
// wait has run out).
void HttpServer::continueTransfer(int i) {
  Socket* k = socket(i);
  if (!k || !k->transfer) return;
  BinaryTransfer& t = *k->transfer;
  t.waiting = false;
  try {
    if (!t.chunkReady) {
      if (t.remaining == 0 || socketState(i) != 7) return finishTransfer(i);
      t.chunk.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, t.remaining)));
      t.file.read(t.chunk.data(), static_cast<std::streamsize>(t.chunk.size()));
      t.chunk.resize(static_cast<std::size_t>(t.file.gcount()));
      if (t.chunk.empty()) return finishTransfer(i);  // the file got shorter
      t.chunkReady = true;
      k->binarySendTimer.start(platform::Millis(kChunkWaitMs), false);
    }
    if (!k->sendDone) {
      const int state = socketState(i);
      if (state == 7 || state == 0) {
        t.waiting = true;  // resumed by the completion or by the binary-send timer
        return;
      }
    }
    k->sendDone = false;
    if (socketState(i) != 7) return finishTransfer(i);
    k->conn->write(t.chunk);
    t.remaining -= t.chunk.size();
    t.chunkReady = false;
    progress(*k);
    postTransferStep(i);
  } catch (const std::exception& e) {
    logError("TCPServer_SendBinaryFile ", e.what());
    finishTransfer(i);
  }
}

// The file is closed and the tag says the answer is complete; 50 ms later the binary-send timer
// closes the connection unless the last completion has done so already.
void HttpServer::finishTransfer(int i) {
  Socket* k = socket(i);
  if (!k) return;
  k->transfer.reset();
  k->tag = "0";
  k->wait = Wait::Answer;
  k->binarySendTimer.stop();
  k->binarySendTimer.start(platform::Millis(kCloseAfterTransferMs), false);
}

}  // namespace quillon::http
