// The request processor: takes a socket's queued packets in order, joins a request head that came
// in pieces, gathers a POST body, checks the client's access and answers by path.
#include <exception>
#include <fstream>
#include <sstream>

#include "core/node_context.h"
#include "http/http_server.h"
#include "http/response.h"
#include "util/text.h"

namespace quillon::http {
namespace {

bool startsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

bool isBinaryExtension(const std::string& ext) {
  return ext == ".jpg" || ext == ".gif" || ext == ".png" || ext == ".wmz" || ext == ".pdf";
}

}  // namespace

void HttpServer::processRequestQueue(int i) {
  Socket* k = socket(i);
  if (!k || k->wait == Wait::Answer || k->wait == Wait::Transfer) return;
  if (k->wait == Wait::PostBody && !continuePost(i)) return;
  while (socket(i) == k && k->wait == Wait::None && !k->requestQueue.empty()) {
    std::string entry = std::move(k->requestQueue.front());
    k->requestQueue.pop_front();
    k->queuedBytes -= std::min(k->queuedBytes, entry.size());
    try {
      if (!processEntry(i, std::move(entry))) break;
    } catch (const std::exception& e) {
      ctx_.log.logError("Quillon", "ProcessRequestQueue ", e.what());
      if (socket(i) == k && k->wait == Wait::None) socketClose(i);  // no half-made answer hangs
    }
  }
}

// False when the entry is an unfinished head put back to wait for the rest.
bool HttpServer::processEntry(int i, std::string entry) {
  Socket& k = *sockets_[i];
  const std::size_t tilde = entry.find('~');
  if (tilde == std::string::npos || util::leadingNumber(entry.substr(0, tilde)) != i) return true;  // not of this socket
  const std::string prefix = entry.substr(0, tilde + 1);

  // A head that came in pieces is joined with the packets that follow it.
  if (entry.find("\r\n\r\n", tilde) == std::string::npos) {
    while (!k.requestQueue.empty() && startsWith(k.requestQueue.front(), prefix) &&
           entry.find("\r\n\r\n", tilde) == std::string::npos && entry.size() <= kMaxHeadBytes + prefix.size()) {
      const std::string& next = k.requestQueue.front();
      k.queuedBytes -= std::min(k.queuedBytes, next.size());
      entry.append(next, prefix.size(), std::string::npos);
      k.requestQueue.pop_front();
    }
    if (entry.find("\r\n\r\n", tilde) == std::string::npos) {
      if (entry.size() > kMaxHeadBytes + prefix.size()) {
        closeOverLimit(i, "request head over " + std::to_string(kMaxHeadBytes) + " bytes");
        return true;
      }
      k.queuedBytes += entry.size();
      k.requestQueue.push_front(std::move(entry));  // the rest of the head is still to come
      return false;
    }
  }
  if (entry.find("\r\n\r\n", tilde) - prefix.size() > kMaxHeadBytes) {
    closeOverLimit(i, "request head over " + std::to_string(kMaxHeadBytes) + " bytes");
    return true;
  }

  progress(k);
  auto request = std::make_unique<Request>([this](const std::string& text) { ctx_.logEvent(text); });
  request->setRemoteIp(k.conn ? k.conn->peerAddress() : "");
  request->parsePage(entry.substr(prefix.size()));
  if (util::leadingNumber(request->serverVariables("Content-Length")) > static_cast<double>(kMaxBodyBytes)) {
    closeOverLimit(i, "body over " + std::to_string(kMaxBodyBytes) + " bytes announced");
    return true;
  }
  if (request->method().compare(0, 3, "POS") == 0) {
    k.postTimer.start(platform::Millis(kPostWaitMs), false);
    k.pending = std::move(request);
    k.pendingEntry = std::move(entry);
    k.wait = Wait::PostBody;
    continuePost(i);
    return true;
  }
  answer(i, *request, entry);
  return true;
}

// Feeds the queued packets of the socket to the waiting POST. True once it has been answered;
// false while the body is still coming (the post timer's tick or the next packet resumes it).
bool HttpServer::continuePost(int i) {
  Socket& k = *sockets_[i];
  Request& request = *k.pending;
  const std::string prefix = std::to_string(i) + "~";
  while (k.postTimer.isActive() && !request.postDataComplete()) {
    if (k.requestQueue.empty()) return false;
    while (!k.requestQueue.empty()) {
      const std::string& next = k.requestQueue.front();
      if (!startsWith(next, prefix)) {
        k.postTimer.stop();
        break;
      }
      k.queuedBytes -= std::min(k.queuedBytes, next.size());
      request.addPostData(next.substr(prefix.size()));
      k.requestQueue.pop_front();
    }
    if (request.receivedBodyLength() > kMaxBodyBytes) {
      closeOverLimit(i, "body over " + std::to_string(kMaxBodyBytes) + " bytes");
      return false;
    }
  }
  k.postTimer.stop();
  std::unique_ptr<Request> done = std::move(k.pending);
  std::string entry = std::move(k.pendingEntry);
  k.wait = Wait::None;
  answer(i, *done, entry);
  return true;
}

void HttpServer::answer(int s, Request& request, const std::string& entry) {
  request.flushRequest();
  Response response(*this);
  response.setIndex(s);
  const std::string path = util::replaceAll(util::lower(request.page()), "/", "\\");
  std::string ext = path.size() > 4 ? path.substr(path.size() - 4) : path;
  if (path.size() >= 3 && path.compare(path.size() - 3, 3, ".js") == 0) ext = ".js";
  if (!accessCheck(s, s, request, response, entry)) return;
  ApiReply api;
  if (apiRoute_ && startsWith(path, "\\api\\") && apiRoute_(request.page(), api)) {
    response.sendJson(api.status, api.body, s);
  } else if (isBinaryExtension(ext)) {
    response.sendBinaryFile(path, s);
  } else if (ext == ".css") {
    response.sendTextFile(path, s);
  } else if (startsWith(path, "\\stat")) {
    response.sendTextString(statusPage_ ? statusPage_(request, response) : placeholderStatusPage(), s);
  } else if (startsWith(path, "\\help")) {
    response.sendTextString(helpPage(), s);
  } else if (path == "\\") {
    response.sendMovedTo("/status", s);
  } else {
    response.sendErrorResponse(s);
  }
}

// True when the request may be answered. Otherwise it has been answered with the login demand, or
// a saved request of the same client is queued to be answered in its place.
bool HttpServer::accessCheck(int i, int s, Request& request, Response& response, const std::string& entry) {
  const std::string& client = request.remoteIp();
  if (authorisedClients_.contains(client)) return true;
  reloadLogin();
  if (webLoginUser_.empty()) return true;
  Socket& k = *sockets_[s];
  const std::string local = k.conn ? k.conn->localAddress() : "";
  if (std::size_t dot = local.rfind('.'); dot != std::string::npos) {
    if (local.substr(0, dot + 1) == client.substr(0, dot + 1)) return true;  // the server's own /24
  }
  const std::string authorization = request.serverVariables("Authorization");
  if (!authorization.empty()) {
    const std::size_t sp = authorization.find(' ');
    const std::string credentials = sp == std::string::npos ? authorization : authorization.substr(sp + 1);
    if (base64Decode(credentials) != webLoginUser_ + ":" + webLoginPassword_) {
      response.authenticate(s);
      return false;
    }
    authorisedClients_.insert(client, client);
    // The request that drew the login demand is answered now, but only for the client that made it;
    // with nothing saved for this client the request itself is answered.
    if (savedRequest_.empty() || savedRequestClient_ != client) return true;
    const std::size_t tilde = savedRequest_.find('~');
    std::string replay = std::to_string(i) + savedRequest_.substr(tilde == std::string::npos ? 0 : tilde);
    savedRequest_.clear();
    k.queuedBytes += replay.size();
    k.requestQueue.push_back(std::move(replay));
    return false;
  }
  savedRequest_ = entry;
  savedRequestClient_ = client;
  response.authenticate(s);
  return false;
}

std::string HttpServer::helpPage() {
  const std::string shown = ctx_.paths.htmlDir() + "/Help/Quillon/Quillon.htm";
  std::optional<std::filesystem::path> file = webRoot_.find("\\help\\quillon\\quillon.htm");
  std::ifstream in;
  if (file) in.open(*file, std::ios::binary);
  if (!in.is_open()) return "Sorry, Help from " + shown + " is not available";
  std::ostringstream text;
  text << in.rdbuf();
  const std::string doc = text.str();
  static constexpr std::string_view kParts = "Quillon_files";
  std::string out;
  std::size_t from = 0;
  for (std::size_t p = util::ifind(doc, kParts); p != std::string::npos; p = util::ifind(doc, kParts, from)) {
    out.append(doc, from, p - from);
    out += "help/Quillon/Quillon_files";
    from = p + kParts.size();
  }
  out.append(doc, from, std::string::npos);
  return out;
}

}  // namespace quillon::http
